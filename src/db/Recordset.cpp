#include "db/Recordset.h"

#include <cstdlib>
#include <unordered_map>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/DbError.h"
#include "db/Odbc.h"
#include "db/SqlApi.h"

namespace mae {

namespace {

bool IsNumericType(SQLSMALLINT type) {
    switch (type) {
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_BIT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            return true;
        default:
            return false;
    }
}

// A numeric column's text as a number; a value that does not read as one stays text (a
// dynamically typed engine can hold 'abc' in an INTEGER column).
Value NumericValue(std::u16string text) {
    bool integral = !text.empty() && text.size() <= 18;
    for (size_t i = 0; integral && i < text.size(); ++i) {
        char16_t c = text[i];
        integral = (c >= u'0' && c <= u'9') || (i == 0 && c == u'-' && text.size() > 1);
    }
    if (integral) {
        std::string ascii(text.begin(), text.end());
        return Value(static_cast<int64_t>(std::strtoll(ascii.c_str(), nullptr, 10)));
    }
    if (auto d = ParseNumber(text)) return Value(*d);
    return Value(std::move(text));
}

[[noreturn]] void ThrowClosed() {
    throw RuntimeError(err::ObjectClosed, "Operation is not allowed when the object is closed.");
}

}  // namespace

struct Recordset::Impl {
    SQLHSTMT stmt = nullptr;
    bool open = false;
    bool isStatic = false;
    std::vector<std::u16string> names;
    std::vector<bool> numeric;
    std::unordered_map<std::u16string, int> byName;  // lower-case name -> first position
    std::vector<std::vector<Value>> rows;            // static: every row
    size_t current = 0;                              // static: index of the current row
    std::vector<Value> row;                          // forward-only: the current row
    bool eof = true;
    std::vector<SQLWCHAR> buffer = std::vector<SQLWCHAR>(4096);
    std::u16string scratch;

    void FreeStatement() noexcept {
        void* h = stmt;
        odbc::Free(SQL_HANDLE_STMT, h);
        stmt = nullptr;
    }

    // Reads the next row of the statement into out; false at the end.
    bool FetchInto(std::vector<Value>& out) {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) return false;
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
        out.resize(names.size());
        for (size_t c = 0; c < names.size(); ++c)
            out[c] = ReadColumn(static_cast<SQLUSMALLINT>(c + 1), numeric[c]);
        return true;
    }

    // The whole value of one column, fetched as UTF-16 text in pieces of any length.
    Value ReadColumn(SQLUSMALLINT column, bool isNumeric) {
        scratch.clear();
        bool isNull = false;
        for (;;) {
            SQLLEN indicator = 0;
            SQLRETURN rc =
                SQLGetData(stmt, column, SQL_C_WCHAR, buffer.data(),
                           static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
            if (rc == SQL_NO_DATA) break;
            odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
            if (indicator == SQL_NULL_DATA) {
                isNull = true;
                break;
            }
            size_t room = buffer.size() - 1;  // the driver ends each piece with a NUL
            size_t got = room;
            if (indicator != SQL_NO_TOTAL && indicator >= 0) {
                got = std::min(room, static_cast<size_t>(indicator) / sizeof(SQLWCHAR));
            }
            scratch.append(reinterpret_cast<const char16_t*>(buffer.data()), got);
            if (rc == SQL_SUCCESS) break;
            // Success with info: more to come only when the text was cut (01004).
            if (odbc::FirstSqlState(SQL_HANDLE_STMT, stmt) != "01004") break;
            if (buffer.size() < (1u << 20)) buffer.resize(buffer.size() * 4);
        }
        if (isNull) return Value();
        if (isNumeric) return NumericValue(scratch);
        return Value(scratch);
    }

    const std::vector<Value>& CurrentRow() const {
        if (!open) ThrowClosed();
        if (eof) {
            throw RuntimeError(err::NoCurrentRecord,
                               "Either BOF or EOF is True, or the current record has been "
                               "deleted. Requested operation requires a current record.");
        }
        return isStatic ? rows[current] : row;
    }
};

Recordset::Recordset() : m_impl(std::make_unique<Impl>()) {}

Recordset::~Recordset() { Close(); }

void Recordset::Open(std::u16string_view source, Connection& connection, CursorType cursor) {
    Close();
    Impl& d = *m_impl;
    Connection::Impl& c = connection.impl();
    if (!c.open) ThrowClosed();
    SQLHANDLE stmt = nullptr;
    odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &stmt), SQL_HANDLE_DBC, c.dbc,
                "SQLAllocHandle");
    d.stmt = stmt;
    try {
        if (c.commandTimeout > 0) {
            // A driver that cannot time statements out keeps running them; not an error.
            SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(c.commandTimeout)), 0);
        }
        std::u16string text(source);
        SQLRETURN rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                      static_cast<SQLINTEGER>(text.size()));
        if (rc != SQL_NO_DATA) odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLExecDirect");
        SQLSMALLINT count = 0;
        odbc::Check(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
        d.names.clear();
        d.numeric.clear();
        d.byName.clear();
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            odbc::Check(
                SQLDescribeColW(stmt, i, name, 256, &nameLength, &type, &size, &digits, &nullable),
                SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
            size_t n =
                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)), 255);
            std::u16string colName(reinterpret_cast<const char16_t*>(name), n);
            d.byName.emplace(AsciiLower(colName), static_cast<int>(d.names.size()));
            d.names.push_back(std::move(colName));
            d.numeric.push_back(IsNumericType(type));
        }
        d.isStatic = cursor == CursorType::Static;
        d.open = true;
        if (d.isStatic) {
            d.rows.clear();
            if (count > 0) {
                std::vector<Value> r;
                while (d.FetchInto(r)) d.rows.push_back(std::move(r));
            }
            d.FreeStatement();
            d.current = 0;
            d.eof = d.rows.empty();
        } else {
            d.eof = count == 0 || !d.FetchInto(d.row);
        }
    } catch (...) {
        Close();
        throw;
    }
}

int Recordset::State() const noexcept { return m_impl->open ? 1 : 0; }

void Recordset::Close() noexcept {
    Impl& d = *m_impl;
    if (d.stmt) {
        SQLCloseCursor(d.stmt);
        d.FreeStatement();
    }
    d.open = false;
    d.eof = true;
    d.rows.clear();
    d.rows.shrink_to_fit();
    d.row.clear();
    d.current = 0;
}

bool Recordset::Eof() const {
    if (!m_impl->open) ThrowClosed();
    return m_impl->eof;
}

void Recordset::MoveFirst() {
    Impl& d = *m_impl;
    if (!d.open) ThrowClosed();
    if (!d.isStatic) {
        throw RuntimeError(err::InvalidCall,
                           "A forward-only recordset cannot move back to its first row.");
    }
    d.current = 0;
    d.eof = d.rows.empty();
}

void Recordset::MoveNext() {
    Impl& d = *m_impl;
    d.CurrentRow();  // throws at the end or when closed
    if (d.isStatic) {
        ++d.current;
        d.eof = d.current >= d.rows.size();
    } else {
        d.eof = !d.FetchInto(d.row);
    }
}

long Recordset::RecordCount() const {
    if (!m_impl->open) ThrowClosed();
    return m_impl->isStatic ? static_cast<long>(m_impl->rows.size()) : -1;
}

int Recordset::FieldCount() const {
    if (!m_impl->open) ThrowClosed();
    return static_cast<int>(m_impl->names.size());
}

const std::u16string& Recordset::FieldName(int position) const {
    if (!m_impl->open) ThrowClosed();
    if (position < 0 || position >= static_cast<int>(m_impl->names.size())) {
        throw RuntimeError(err::ItemNotFound,
                           "Item cannot be found in the collection "
                           "corresponding to the requested name or ordinal.");
    }
    return m_impl->names[static_cast<size_t>(position)];
}

int Recordset::FieldIndex(std::u16string_view name) const {
    if (!m_impl->open) ThrowClosed();
    // Called for every item of every record: lower-case into a reused buffer, not a new string.
    thread_local std::u16string key;
    AsciiLowerInto(name, key);
    auto it = m_impl->byName.find(key);
    if (it == m_impl->byName.end()) {
        throw RuntimeError(err::ItemNotFound,
                           "Item cannot be found in the collection corresponding to the "
                           "requested name or ordinal: no column '" +
                               ToUtf8(name) + "' in the query's result.");
    }
    return it->second;
}

const Value& Recordset::Field(int position) const {
    const auto& row = m_impl->CurrentRow();
    if (position < 0 || position >= static_cast<int>(row.size())) {
        throw RuntimeError(err::ItemNotFound,
                           "Item cannot be found in the collection "
                           "corresponding to the requested name or ordinal.");
    }
    return row[static_cast<size_t>(position)];
}

const Value& Recordset::Field(std::u16string_view name) const {
    int index = FieldIndex(name);
    return m_impl->CurrentRow()[static_cast<size_t>(index)];
}

}  // namespace mae
