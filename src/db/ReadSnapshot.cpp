#include "db/ReadSnapshot.h"

#include "db/Connection.h"
#include "db/Odbc.h"
#include "db/SqlApi.h"

namespace mae {

ReadSnapshot::ReadSnapshot(Connection& connection) : m_connection(connection) {
    odbc::Session& c = *connection.m_session;
    if (!c.open) odbc::ThrowClosed();
    // PostgreSQL is left in auto-commit: inside a transaction its driver wraps every statement
    // in a savepoint, which costs client time and, when the server goes away mid-run, reports
    // "internal SAVEPOINT failed" instead of the server's own message.
    if (c.engine != odbc::Engine::SQLite) return;
    // With auto-commit off the driver opens a transaction before the next statement and keeps
    // it until SQLEndTran.
    odbc::Check(SQLSetConnectAttr(c.dbc.get(), SQL_ATTR_AUTOCOMMIT,
                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                SQL_HANDLE_DBC, c.dbc.get(), "SQLSetConnectAttr");
    m_active = true;
}

ReadSnapshot::~ReadSnapshot() { End(); }

void ReadSnapshot::End() noexcept {
    if (!m_active) return;
    m_active = false;
    odbc::Session& c = *m_connection.m_session;
    if (!c.open) return;
    SQLEndTran(SQL_HANDLE_DBC, c.dbc.get(), SQL_ROLLBACK);
    SQLSetConnectAttr(c.dbc.get(), SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

}  // namespace mae
