#include "db/Recordset.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "common/RuntimeError.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/DriverText.h"
#include "db/Odbc.h"
#include "db/SqlApi.h"
#include "db/Statement.h"

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
void SetNumeric(Value& out, const std::u16string& text) {
    bool integral = !text.empty() && text.size() <= 18;
    for (size_t i = 0; integral && i < text.size(); ++i) {
        char16_t c = text[i];
        integral = (c >= u'0' && c <= u'9') || (i == 0 && c == u'-' && text.size() > 1);
    }
    if (integral) {
        int64_t v = 0;
        bool negative = text[0] == u'-';
        for (size_t i = negative ? 1 : 0; i < text.size(); ++i) v = v * 10 + (text[i] - u'0');
        out.SetInteger(negative ? -v : v);
        return;
    }
    if (auto d = ParseNumber(text)) {
        out.SetReal(*d);
        return;
    }
    out.SetText() = text;
}

std::shared_ptr<const ColumnSet> DescribeColumns(SQLHSTMT stmt) {
    auto columns = std::make_shared<ColumnSet>();
    SQLSMALLINT count = 0;
    odbc::Check(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(count, 0)); ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        odbc::Check(
            SQLDescribeColW(stmt, i, name, 256, &nameLength, &type, &size, &digits, &nullable),
            SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
        size_t n = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)), 255);
        columns->Add(std::u16string(reinterpret_cast<const char16_t*>(name), n),
                     IsNumericType(type));
    }
    return columns;
}

}  // namespace

struct Recordset::Impl {
    SQLHSTMT stmt = nullptr;  // the handle read from: owned, or the prepared statement's
    odbc::Handle owned;       // the statement of a text source
    std::shared_ptr<odbc::Prepared> prepared;  // the prepared statement read from
    odbc::Session* connection = nullptr;       // whose command timeout holds the fetches
    bool open = false;
    bool isStatic = false;
    std::shared_ptr<const ColumnSet> columns = std::make_shared<ColumnSet>();
    // Row storage is kept from open to open: values keep their text's capacity.
    std::vector<Row> rows;  // static: rows[0..rowCount)
    size_t rowCount = 0;
    size_t current = 0;  // static: index of the current row
    Row row;             // forward-only: the current row
    bool eof = true;
    std::vector<SQLWCHAR> buffer = std::vector<SQLWCHAR>(4096);
    std::u16string scratch;
    std::u16string decoded;
    bool driverUtf8 = false;  // text read as the driver's UTF-8 bytes
    // Bytes of one value: a first piece that suits most values (the driver fills every byte
    // of the room it is given), then the rest of a longer one.
    char piece[256] = {};
    std::string bytes;

    // Open, and still the reader of its prepared statement (a later execution of the statement,
    // or its Close, closes the recordset that read it before).
    bool IsOpen() const noexcept { return open && (!prepared || prepared->reader == this); }

    // Lets go of the statement handle: an owned one is freed, a prepared one's cursor closed
    // while it is still ours.
    void ReleaseStatement() noexcept {
        if (prepared) {
            if (prepared->reader == this) {
                SQLFreeStmt(stmt, SQL_CLOSE);
                prepared->reader = nullptr;
            }
            prepared.reset();
        } else if (owned) {
            SQLCloseCursor(stmt);
            owned.reset();
        }
        stmt = nullptr;
    }

    // Reads the next row of the statement into out; false at the end.
    bool FetchInto(Row& out) {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) return false;
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
        if (out.columns != columns) out.columns = columns;
        const size_t n = columns->Count();
        out.values.resize(n);
        for (size_t c = 0; c < n; ++c)
            ReadColumn(static_cast<SQLUSMALLINT>(c + 1), columns->isNumeric(c), out.values[c]);
        return true;
    }

    // Puts value into text. Growing in place would round the storage up (to twice a short
    // string's); a text that needs new storage gets exactly its own size, as a copy would, so
    // the case rows held for a whole run take no more memory than their texts.
    static void KeepText(std::u16string_view value, std::u16string& text) {
        if (text.capacity() < value.size()) {
            text = std::u16string(value);
        } else {
            text.assign(value);
        }
    }

    // The whole value of one column into out, as UTF-16 text in pieces of any length.
    void ReadColumn(SQLUSMALLINT column, bool isNumeric, Value& out) {
        std::u16string& text = isNumeric ? scratch : out.SetText();
        text.clear();
        if (driverUtf8) {
            std::string_view value;
            if (!ReadDriverBytes(column, value)) {
                out.SetNull();
                return;
            }
            if (isNumeric) {
                AppendSqliteDriverText(value, scratch);
                SetNumeric(out, scratch);
            } else if (text.capacity() >= value.size()) {
                AppendSqliteDriverText(value, text);  // never more units than bytes: no growth
            } else {
                decoded.clear();
                AppendSqliteDriverText(value, decoded);
                KeepText(decoded, text);
            }
            return;
        }
        for (;;) {
            SQLLEN indicator = 0;
            SQLRETURN rc =
                SQLGetData(stmt, column, SQL_C_WCHAR, buffer.data(),
                           static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
            if (rc == SQL_NO_DATA) break;
            odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
            if (indicator == SQL_NULL_DATA) {
                out.SetNull();
                return;
            }
            size_t room = buffer.size() - 1;  // the driver ends each piece with a NUL
            size_t got = room;
            if (indicator != SQL_NO_TOTAL && indicator >= 0) {
                got = std::min(room, static_cast<size_t>(indicator) / sizeof(SQLWCHAR));
            }
            const auto* piece = reinterpret_cast<const char16_t*>(buffer.data());
            if (text.empty()) {
                KeepText(std::u16string_view(piece, got), text);
            } else {
                text.append(piece, got);
            }
            if (rc == SQL_SUCCESS) break;
            // Success with info: more to come only when the text was cut (01004).
            if (odbc::FirstSqlState(SQL_HANDLE_STMT, stmt) != "01004") break;
            if (buffer.size() < (1u << 20)) buffer.resize(buffer.size() * 4);
        }
        if (isNumeric) SetNumeric(out, scratch);
    }

    // The whole value of one column as the driver's bytes, in `piece` or in `bytes`; false
    // when Null.
    bool ReadDriverBytes(SQLUSMALLINT column, std::string_view& value) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece, sizeof piece, &indicator);
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA) return false;
        constexpr size_t room = sizeof piece - 1;  // each piece ends with a NUL
        if (rc == SQL_SUCCESS || (indicator >= 0 && static_cast<size_t>(indicator) <= room)) {
            // Never past the piece, whatever length a driver claims.
            const size_t got = indicator >= 0 ? std::min(room, static_cast<size_t>(indicator)) : 0;
            value = std::string_view(piece, got);
            return true;
        }
        bytes.assign(piece, room);
        // The rest in one more piece when the driver told its length, else in growing ones.
        size_t ask = indicator > 0 ? static_cast<size_t>(indicator) - room + 1 : 4096;
        for (;;) {
            const size_t have = bytes.size();
            bytes.resize(have + ask);
            rc = SQLGetData(stmt, column, SQL_C_CHAR, bytes.data() + have, static_cast<SQLLEN>(ask),
                            &indicator);
            if (rc == SQL_NO_DATA) {
                bytes.resize(have);
                break;
            }
            odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
            const size_t got =
                indicator >= 0 ? std::min(ask - 1, static_cast<size_t>(indicator)) : ask - 1;
            bytes.resize(have + got);
            if (rc == SQL_SUCCESS) break;
            if (odbc::FirstSqlState(SQL_HANDLE_STMT, stmt) != "01004") break;
            if (ask < (size_t{1} << 24)) ask *= 4;
        }
        value = bytes;
        return true;
    }

    // After execution: fetches every row (static) or the first one (forward-only). A static
    // recordset then lets go of the statement (ReleaseStatement, once the call is over).
    void Position(CursorType cursor) {
        isStatic = cursor == CursorType::Static;
        open = true;
        const bool hasColumns = columns->Count() > 0;
        if (isStatic) {
            rowCount = 0;
            while (hasColumns) {
                if (rowCount == rows.size()) rows.emplace_back();
                if (!FetchInto(rows[rowCount])) break;
                ++rowCount;
            }
            current = 0;
            eof = rowCount == 0;
        } else {
            eof = !hasColumns || !FetchInto(row);
        }
    }

    const Row& CurrentRow() const {
        if (!IsOpen()) odbc::ThrowClosed();
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
    odbc::Session& c = *connection.m_session;
    std::u16string text(source);
    try {
        odbc::Execute(
            c, d.owned,
            [&] {
                d.stmt = d.owned.get();
                d.connection = &c;
                d.driverUtf8 = c.driverUtf8;
                SQLRETURN rc = SQLExecDirectW(d.stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                              static_cast<SQLINTEGER>(text.size()));
                if (rc != SQL_NO_DATA) odbc::Check(rc, SQL_HANDLE_STMT, d.stmt, "SQLExecDirect");
                d.columns = DescribeColumns(d.stmt);
                d.Position(cursor);
            },
            [&] { Close(); });
        if (d.isStatic) d.ReleaseStatement();
    } catch (...) {
        Close();
        throw;
    }
}

void Recordset::Open(Statement& statement, int32_t parameter, CursorType cursor) {
    Close();
    Impl& d = *m_impl;
    if (!statement.IsPrepared()) odbc::ThrowClosed();
    odbc::Prepared& s = *statement.m_prepared;
    // The recordset that read it before is closed: it no longer finds itself the reader.
    if (s.reader) SQLFreeStmt(s.stmt.get(), SQL_CLOSE);
    s.parameter = parameter;
    s.reader = &d;
    d.prepared = statement.m_prepared;
    d.stmt = s.stmt.get();
    d.connection = s.session;
    d.driverUtf8 = s.driverUtf8;
    try {
        odbc::RunWatched(
            *s.session, d.stmt,
            [&] {
                SQLRETURN rc = SQLExecute(d.stmt);
                if (rc != SQL_NO_DATA) odbc::Check(rc, SQL_HANDLE_STMT, d.stmt, "SQLExecute");
                // Every execution of a prepared statement has the same columns.
                if (!s.columns) s.columns = DescribeColumns(d.stmt);
                d.columns = s.columns;
                d.Position(cursor);
            },
            [&] { Close(); });
        if (d.isStatic) d.ReleaseStatement();
    } catch (...) {
        Close();
        throw;
    }
}

int Recordset::State() const noexcept { return m_impl->IsOpen() ? 1 : 0; }

void Recordset::Close() noexcept {
    Impl& d = *m_impl;
    d.ReleaseStatement();
    d.open = false;
    d.eof = true;
    d.rowCount = 0;
    d.current = 0;
}

bool Recordset::Eof() const {
    if (!m_impl->IsOpen()) odbc::ThrowClosed();
    return m_impl->eof;
}

void Recordset::MoveFirst() {
    Impl& d = *m_impl;
    if (!d.IsOpen()) odbc::ThrowClosed();
    if (!d.isStatic) {
        throw RuntimeError(err::InvalidCall,
                           "A forward-only recordset cannot move back to its first row.");
    }
    d.current = 0;
    d.eof = d.rowCount == 0;
}

void Recordset::MoveNext() {
    Impl& d = *m_impl;
    d.CurrentRow();  // throws at the end or when closed
    if (d.isStatic) {
        ++d.current;
        d.eof = d.current >= d.rowCount;
    } else {
        odbc::RunWatched(
            *d.connection, d.stmt, [&] { d.eof = !d.FetchInto(d.row); }, [] {});
    }
}

long Recordset::RecordCount() const {
    if (!m_impl->IsOpen()) odbc::ThrowClosed();
    return m_impl->isStatic ? static_cast<long>(m_impl->rowCount) : -1;
}

int Recordset::FieldCount() const {
    if (!m_impl->IsOpen()) odbc::ThrowClosed();
    return static_cast<int>(m_impl->columns->Count());
}

const std::u16string& Recordset::FieldName(int position) const {
    if (!m_impl->IsOpen()) odbc::ThrowClosed();
    const ColumnSet& columns = *m_impl->columns;
    if (position < 0 || position >= static_cast<int>(columns.Count())) ThrowItemNotFound();
    return columns.name(static_cast<size_t>(position));
}

int Recordset::FieldIndex(std::u16string_view name) const {
    if (!m_impl->IsOpen()) odbc::ThrowClosed();
    return m_impl->columns->Position(name);
}

const Value& Recordset::Field(int position) const {
    const auto& values = m_impl->CurrentRow().values;
    if (position < 0 || position >= static_cast<int>(values.size())) ThrowItemNotFound();
    return values[static_cast<size_t>(position)];
}

const Value& Recordset::Field(std::u16string_view name) const {
    int index = FieldIndex(name);
    return m_impl->CurrentRow().values[static_cast<size_t>(index)];
}

const Row& Recordset::CurrentRow() const { return m_impl->CurrentRow(); }

size_t Recordset::TakeRows(std::vector<Row>& rows) {
    Impl& d = *m_impl;
    if (!d.IsOpen()) odbc::ThrowClosed();
    if (!d.isStatic) {
        throw RuntimeError(err::InvalidCall, "A forward-only recordset cannot hand its rows over.");
    }
    const size_t count = d.rowCount;
    rows.swap(d.rows);
    Close();
    return count;
}

}  // namespace mae
