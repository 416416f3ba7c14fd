#include "db/Statement.h"

#include <string>

#include "common/RuntimeError.h"
#include "db/Odbc.h"
#include "db/Recordset.h"
#include "db/SqlApi.h"

namespace mae {

void odbc::ThrowClosed() {
    throw RuntimeError(err::ObjectClosed, "Operation is not allowed when the object is closed.");
}

Statement::Statement() : m_impl(std::make_unique<Impl>()) {}

Statement::~Statement() { Close(); }

Statement::Impl& Statement::impl() const { return *m_impl; }

bool Statement::IsPrepared() const noexcept { return m_impl->stmt != nullptr; }

void Statement::Prepare(std::u16string_view text, Connection& connection) {
    Close();
    Connection::Impl& c = connection.impl();
    if (!c.open) odbc::ThrowClosed();
    SQLHANDLE stmt = nullptr;
    odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &stmt), SQL_HANDLE_DBC, c.dbc,
                "SQLAllocHandle");
    m_impl->stmt = stmt;
    m_impl->connection = &c;
    m_impl->driverUtf8 = c.driverUtf8;
    try {
        if (c.commandTimeout > 0) {
            // A driver that does not time statements out keeps running them: the connection's
            // watchdog holds each execution to the timeout (WatchedCall).
            SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(c.commandTimeout)), 0);
        }
        std::u16string owned(text);
        {
            odbc::WatchedCall watched(c, stmt);
            try {
                odbc::Check(SQLPrepareW(stmt, reinterpret_cast<SQLWCHAR*>(owned.data()),
                                        static_cast<SQLINTEGER>(owned.size())),
                            SQL_HANDLE_STMT, stmt, "SQLPrepare");
            } catch (...) {
                watched.End();
                watched.Rethrow();
            }
        }
        // The driver reads the parameter's current value at each execution.
        odbc::Check(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                     &m_impl->parameter, 0, nullptr),
                    SQL_HANDLE_STMT, stmt, "SQLBindParameter");
    } catch (...) {
        Close();
        throw;
    }
}

void Statement::Close() noexcept {
    Impl& d = *m_impl;
    if (d.reader) d.reader->Close();  // its cursor lives on our handle
    odbc::Free(SQL_HANDLE_STMT, d.stmt);
    d.columns.reset();
}

}  // namespace mae
