#include "db/ReadSnapshot.h"

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "db/Odbc.h"

namespace mae {

ReadSnapshot::ReadSnapshot(Connection& connection) : m_connection(connection) {
    Connection::Impl& c = connection.impl();
    if (!c.open) odbc::ThrowClosed();
    const std::string dbms = connection.DbmsName();
    const bool postgres = dbms == "PostgreSQL";
    if (dbms != "SQLite" && !postgres) return;
    // With auto-commit off the driver opens a transaction before the next statement and keeps
    // it until SQLEndTran.
    odbc::Check(SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT,
                                  reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                SQL_HANDLE_DBC, c.dbc, "SQLSetConnectAttr");
    m_active = true;
    if (postgres) {
        // Must be the transaction's first statement; the session is read-only already.
        std::u16string text = u"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY";
        SQLHANDLE stmt = nullptr;
        try {
            odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &stmt), SQL_HANDLE_DBC, c.dbc,
                        "SQLAllocHandle");
            odbc::Check(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                       static_cast<SQLINTEGER>(text.size())),
                        SQL_HANDLE_STMT, stmt, "SQLExecDirect");
        } catch (...) {
            void* h = stmt;
            odbc::Free(SQL_HANDLE_STMT, h);
            End();
            throw;
        }
        void* h = stmt;
        odbc::Free(SQL_HANDLE_STMT, h);
    }
}

ReadSnapshot::~ReadSnapshot() { End(); }

void ReadSnapshot::End() noexcept {
    if (!m_active) return;
    m_active = false;
    Connection::Impl& c = m_connection.impl();
    if (!c.open) return;
    SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK);
    SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
}

}  // namespace mae
