#include "db/Statement.h"

#include <string>

#include "db/Connection.h"
#include "db/Odbc.h"
#include "db/SqlApi.h"

namespace mae {

Statement::Statement() = default;

Statement::~Statement() { Close(); }

bool Statement::IsPrepared() const noexcept { return m_prepared && m_prepared->stmt; }

void Statement::Prepare(std::u16string_view text, Connection& connection) {
    Close();
    odbc::Session& c = *connection.m_session;
    auto prepared = std::make_shared<odbc::Prepared>();
    prepared->session = &c;
    prepared->driverUtf8 = c.driverUtf8;
    odbc::Handle& stmt = prepared->stmt;
    std::u16string owned(text);
    odbc::Execute(
        c, stmt,
        [&] {
            odbc::Check(SQLPrepareW(stmt.get(), reinterpret_cast<SQLWCHAR*>(owned.data()),
                                    static_cast<SQLINTEGER>(owned.size())),
                        SQL_HANDLE_STMT, stmt.get(), "SQLPrepare");
        },
        [] {});
    // The driver reads the parameter's current value at each execution.
    odbc::Check(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                 &prepared->parameter, 0, nullptr),
                SQL_HANDLE_STMT, stmt.get(), "SQLBindParameter");
    m_prepared = std::move(prepared);
}

void Statement::Close() noexcept {
    if (!m_prepared) return;
    // A recordset still reading from it finds itself closed; its cursor goes with the handle.
    m_prepared->reader = nullptr;
    m_prepared->stmt.reset();
    m_prepared->columns.reset();
    m_prepared.reset();
}

}  // namespace mae
