#pragma once

#include <memory>
#include <string>

namespace mae {

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
    void SetCommandTimeout(int seconds) noexcept;
    int CommandTimeout() const noexcept;

    // Opens the connection read-only, with no user name, password or options of our own.
    void Open();
    bool IsOpen() const noexcept;
    void Close() noexcept;

    // The driver's DBMS name (SQL_DBMS_NAME), e.g. "SQLite" or "PostgreSQL"; empty when closed.
    std::string DbmsName() const;

    struct Impl;
    Impl& impl() const;  // for Recordset only

  private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mae
