#include "server/PgLoad.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace mae::pgload {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsPlainName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

std::string CheckedName(std::string_view name, const char* what) {
    if (!IsPlainName(name)) {
        throw std::runtime_error(std::string(what) + " '" + std::string(name) +
                                 "' is not a plain name; mae-pgload copies only plain names");
    }
    return std::string(name);
}

// ---- SQLite side ----

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStmt = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

SqliteDb OpenSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    SqliteDb owned(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot open SQLite database " + path + ": " +
                                 (db ? sqlite3_errmsg(db) : "out of memory"));
    }
    return owned;
}

SqliteStmt Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
        throw std::runtime_error("SQLite: " + std::string(sqlite3_errmsg(db)) + " in: " + sql);
    }
    return SqliteStmt(s);
}

std::string ColumnText(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(s, column)))
                : std::string();
}

struct Column {
    std::string name;
    std::string type;     // PostgreSQL type
    int keyPosition = 0;  // place in the primary key, from 1; 0 when not part of it
};

struct Index {
    std::string name;
    bool unique = false;
    std::vector<std::string> columns;
};

std::string PostgresType(std::string_view declared) {
    const std::string t = Lower(declared);
    if (t.find("int") != std::string::npos) return "INTEGER";
    if (t.find("real") != std::string::npos || t.find("floa") != std::string::npos ||
        t.find("doub") != std::string::npos) {
        return "DOUBLE PRECISION";
    }
    return "TEXT";
}

std::vector<std::string> Tables(sqlite3* db) {
    std::vector<std::string> names;
    SqliteStmt s = Prepare(db,
                           "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                           "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid");
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
        names.push_back(CheckedName(ColumnText(s.get(), 0), "table"));
    }
    return names;
}

std::vector<Column> Columns(sqlite3* db, const std::string& table) {
    std::vector<Column> columns;
    SqliteStmt s = Prepare(db, "PRAGMA table_info(" + table + ")");
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
        columns.push_back({CheckedName(ColumnText(s.get(), 1), "column"),
                           PostgresType(ColumnText(s.get(), 2)), sqlite3_column_int(s.get(), 5)});
    }
    return columns;
}

// The table's indexes made by CREATE INDEX (not the automatic ones of constraints).
std::vector<Index> Indexes(sqlite3* db, const std::string& table) {
    std::vector<Index> indexes;
    SqliteStmt list = Prepare(db, "PRAGMA index_list(" + table + ")");
    while (sqlite3_step(list.get()) == SQLITE_ROW) {
        if (ColumnText(list.get(), 3) != "c") continue;  // origin: CREATE INDEX
        Index index{CheckedName(ColumnText(list.get(), 1), "index"),
                    sqlite3_column_int(list.get(), 2) != 0,
                    {}};
        SqliteStmt info = Prepare(db, "PRAGMA index_info(" + index.name + ")");
        while (sqlite3_step(info.get()) == SQLITE_ROW) {
            if (sqlite3_column_type(info.get(), 2) == SQLITE_NULL) {
                throw std::runtime_error("index " + index.name + " is on an expression");
            }
            index.columns.push_back(CheckedName(ColumnText(info.get(), 2), "column"));
        }
        indexes.push_back(std::move(index));
    }
    return indexes;
}

// ---- PostgreSQL side ----

struct PgCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultClearer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgConn = std::unique_ptr<PGconn, PgCloser>;
using PgResult = std::unique_ptr<PGresult, ResultClearer>;

std::string PgMessage(PGconn* c) {
    std::string m = PQerrorMessage(c);
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return m;
}

void Exec(PGconn* c, const std::string& sql) {
    PgResult r(PQexec(c, sql.c_str()));
    ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        throw std::runtime_error("PostgreSQL: " + PgMessage(c) + " in: " + sql.substr(0, 200));
    }
}

// One value in COPY's text format.
void AppendCopyValue(std::string& out, sqlite3_stmt* s, int column) {
    switch (sqlite3_column_type(s, column)) {
        case SQLITE_NULL:
            out += "\\N";
            return;
        case SQLITE_INTEGER:
            out += std::to_string(sqlite3_column_int64(s, column));
            return;
        case SQLITE_FLOAT: {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", sqlite3_column_double(s, column));
            out += buffer;
            return;
        }
        default:
            break;
    }
    const std::string text = ColumnText(s, column);
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                throw std::runtime_error(
                    "a text value holds a NUL character, which PostgreSQL "
                    "text cannot");
            default:
                out += c;
        }
    }
}

void PutCopyData(PGconn* c, std::string& buffer) {
    if (buffer.empty()) return;
    if (PQputCopyData(c, buffer.data(), static_cast<int>(buffer.size())) != 1) {
        throw std::runtime_error("PostgreSQL COPY: " + PgMessage(c));
    }
    buffer.clear();
}

long long CopyRows(sqlite3* db, PGconn* pg, const std::string& table,
                   const std::vector<Column>& columns) {
    std::string list;
    for (const Column& c : columns) list += (list.empty() ? "" : ", ") + c.name;
    {
        PgResult r(PQexec(pg, ("COPY " + table + " (" + list + ") FROM STDIN").c_str()));
        if (PQresultStatus(r.get()) != PGRES_COPY_IN) {
            throw std::runtime_error("PostgreSQL: " + PgMessage(pg) + " starting COPY " + table);
        }
    }
    SqliteStmt s = Prepare(db, "SELECT " + list + " FROM " + table + " ORDER BY rowid");
    long long rows = 0;
    std::string buffer;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
            if (i) buffer += '\t';
            AppendCopyValue(buffer, s.get(), i);
        }
        buffer += '\n';
        ++rows;
        if (buffer.size() >= (1u << 20)) PutCopyData(pg, buffer);
    }
    if (rc != SQLITE_DONE) {
        PQputCopyEnd(pg, "reading the SQLite table failed");
        throw std::runtime_error("SQLite: " + std::string(sqlite3_errmsg(db)) + " reading " +
                                 table);
    }
    PutCopyData(pg, buffer);
    if (PQputCopyEnd(pg, nullptr) != 1) throw std::runtime_error("PostgreSQL: " + PgMessage(pg));
    for (PgResult r(PQgetResult(pg)); r; r.reset(PQgetResult(pg))) {
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            throw std::runtime_error("PostgreSQL COPY " + table + ": " + PgMessage(pg));
        }
    }
    return rows;
}

}  // namespace

LoadSummary LoadSqliteIntoPostgres(const std::string& sqlitePath, const std::string& conninfo) {
    SqliteDb db = OpenSqlite(sqlitePath);
    PgConn pg(PQconnectdb((conninfo + " client_encoding=UTF8").c_str()));
    if (!pg || PQstatus(pg.get()) != CONNECTION_OK) {
        throw std::runtime_error("cannot connect to PostgreSQL: " + PgMessage(pg.get()));
    }
    LoadSummary summary;
    Exec(pg.get(), "BEGIN");
    const std::vector<std::string> tables = Tables(db.get());
    for (const std::string& table : tables) {
        const std::vector<Column> columns = Columns(db.get(), table);
        std::string create = "CREATE TABLE " + table + " (";
        for (size_t i = 0; i < columns.size(); ++i) {
            create += (i ? ", " : "") + columns[i].name + " " + columns[i].type;
        }
        // The primary key, in its own column order; without it (and the join indexes below)
        // the server scans whole tables for every per-case statement.
        std::vector<const Column*> key;
        for (const Column& column : columns) {
            if (column.keyPosition > 0) key.push_back(&column);
        }
        std::sort(key.begin(), key.end(),
                  [](const Column* a, const Column* b) { return a->keyPosition < b->keyPosition; });
        for (size_t i = 0; i < key.size(); ++i) {
            create += (i ? ", " : ", PRIMARY KEY (") + key[i]->name;
        }
        create += key.empty() ? ")" : "))";
        Exec(pg.get(), "DROP TABLE IF EXISTS " + table + " CASCADE");
        Exec(pg.get(), create);
        summary.rows += CopyRows(db.get(), pg.get(), table, columns);
        for (const Index& index : Indexes(db.get(), table)) {
            std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                              index.name + " ON " + table + " (";
            for (size_t i = 0; i < index.columns.size(); ++i) {
                sql += (i ? ", " : "") + index.columns[i];
            }
            Exec(pg.get(), sql + ")");
            ++summary.indexes;
        }
        ++summary.tables;
    }
    Exec(pg.get(), "COMMIT");
    for (const std::string& table : tables) Exec(pg.get(), "ANALYZE " + table);
    return summary;
}

std::string LibpqConnInfo(const std::string& odbc) {
    auto quoted = [](const std::string& v) {
        std::string out = "'";
        for (char c : v) {
            if (c == '\\' || c == '\'') out += '\\';
            out += c;
        }
        return out + "'";
    };
    std::string info;
    size_t start = 0;
    while (start <= odbc.size()) {
        size_t end = odbc.find(';', start);
        if (end == std::string::npos) end = odbc.size();
        std::string part = odbc.substr(start, end - start);
        start = end + 1;
        size_t eq = part.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Lower(part.substr(0, eq));
        std::string value = part.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '{' && value.back() == '}') {
            value = value.substr(1, value.size() - 2);
        }
        const char* name = key == "server" || key == "servername" ? "host"
                           : key == "port"                        ? "port"
                           : key == "database"                    ? "dbname"
                           : key == "uid" || key == "username"    ? "user"
                           : key == "pwd" || key == "password"    ? "password"
                                                                  : nullptr;
        if (name) info += std::string(info.empty() ? "" : " ") + name + "=" + quoted(value);
    }
    return info;
}

}  // namespace mae::pgload
