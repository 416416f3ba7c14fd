#pragma once

#include <memory>
#include <string>

namespace mae {

namespace odbc {
struct Session;
}

// A database connection through ODBC. The connection string is handed to the driver manager
// unchanged. Every failure throws DbError (a RuntimeError).
class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void SetConnectionString(std::u16string text);
    const std::u16string& ConnectionString() const noexcept;
    // Query timeout in seconds for every statement of this connection; 0 leaves the driver's.
    // It holds whatever the driver does: where the driver does not apply it, a watchdog thread
    // cancels a statement that runs longer. A statement that runs into it fails with error
    // -2147217871 "Query timeout expired".
    void SetCommandTimeout(int seconds) noexcept;
    int CommandTimeout() const noexcept;
    // SQLite, from the next Open: results are read from the engine row by row instead of being
    // copied whole by the driver first. A forward-only recordset left open then keeps the file's
    // read lock, so only a connection whose recordsets never stay open between calls asks it.
    void SetRowByRow(bool on) noexcept;
    // From the next Open: text is read as the driver's UTF-16 (SQL_C_WCHAR) even where its
    // UTF-8 bytes could be taken as they are, as the Windows edition and a PostgreSQL registry
    // read every text. The text is the same either way; the tests run both reads.
    void SetTextAsUtf16(bool on) noexcept;

    // Opens the connection read-only, with no user name, password or options of our own.
    void Open();
    bool IsOpen() const noexcept;
    void Close() noexcept;

    // The driver's DBMS name (SQL_DBMS_NAME), e.g. "SQLite" or "PostgreSQL"; empty when closed.
    std::string DbmsName() const;

  private:
    // They run their statements on the connection's handles.
    friend class ReadSnapshot;
    friend class Recordset;
    friend class Statement;

    std::unique_ptr<odbc::Session> m_session;
};

}  // namespace mae
