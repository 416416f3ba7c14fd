#include "generator/SqliteFile.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace mae::gen {

SqliteFile::SqliteFile(const std::string& path) : m_path(path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) throw std::runtime_error("cannot replace " + path + ": " + ec.message());
    int rc =
        sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("cannot create " + path + ": " + message);
    }
}

SqliteFile::~SqliteFile() {
    if (m_db) sqlite3_close(m_db);
}

void SqliteFile::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(m_path + ": " + message + " in: " + sql);
    }
}

void SqliteFile::Close() {
    if (!m_db) return;
    if (sqlite3_close(m_db) != SQLITE_OK) Fail("close");
    m_db = nullptr;
}

void SqliteFile::Fail(std::string_view what) const {
    throw std::runtime_error(m_path + ": " + std::string(what) + ": " +
                             (m_db ? sqlite3_errmsg(m_db) : "not open"));
}

SqliteStatement::SqliteStatement(SqliteFile& file, const std::string& sql) : m_file(file) {
    if (sqlite3_prepare_v2(file.handle(), sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
        file.Fail("prepare " + sql);
    }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_stmt); }

void SqliteStatement::BindNull(int index) {
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK) m_file.Fail("bind");
}

void SqliteStatement::BindInt(int index, int64_t value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) m_file.Fail("bind");
}

void SqliteStatement::BindText(int index, std::string_view value) {
    // A null data pointer would bind Null; an empty text must stay an empty text.
    const char* data = value.data() ? value.data() : "";
    if (sqlite3_bind_text64(m_stmt, index, data, value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
        SQLITE_OK) {
        m_file.Fail("bind");
    }
}

void SqliteStatement::Run() {
    if (sqlite3_step(m_stmt) != SQLITE_DONE) m_file.Fail("step");
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

}  // namespace mae::gen
