#pragma once
// Shared by the db sources only: the connection's handles and the checked-call funnel.
// ODBC handles are plain pointers (SQLHANDLE); <sql.h> stays in the .cpp files.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Row.h"
#include "db/Statement.h"

namespace mae {

class Watchdog;

struct Connection::Impl {
    Impl();
    ~Impl();
    void* env = nullptr;
    void* dbc = nullptr;
    bool open = false;
    std::u16string connectionString;
    int commandTimeout = 0;
    bool rowByRow = false;
    // Text is read as the driver's UTF-8 bytes and turned into units here (DriverText.h).
    bool driverUtf8 = false;
    // The driver applies SQL_ATTR_QUERY_TIMEOUT itself (it reads the value back); when it does
    // not, a watchdog holds the statements to the command timeout.
    bool driverTimesOut = false;
    // The SQLite ODBC driver: SQLCancel on any of its statements interrupts the connection.
    bool sqliteDriver = false;
    std::unique_ptr<Watchdog> watchdog;
    int watchdogTimeout = 0;       // the command timeout the watchdog was made for
    void* cancelHandle = nullptr;  // SQLite: the idle statement the watchdog cancels
    // SQLite: the wait for a writer's lock (PRAGMA busy_timeout, milliseconds). lockWaitMs is
    // the connection string's own Timeout; lockWaitSet what the connection has now.
    bool sqliteEngine = false;
    bool lockWaitRestore = false;  // the string's Timeout was replaced while connecting
    long lockWaitMs = 0;
    long lockWaitSet = -1;
};

struct Statement::Impl {
    void* stmt = nullptr;
    Connection::Impl* connection = nullptr;
    int32_t parameter = 0;    // bound to the `?`; set before each execution
    bool driverUtf8 = false;  // as its connection's
    std::shared_ptr<const ColumnSet> columns;
    Recordset* reader = nullptr;  // the recordset whose cursor is open on the statement
};

namespace odbc {

inline constexpr short HandleEnv = 1;   // SQL_HANDLE_ENV
inline constexpr short HandleDbc = 2;   // SQL_HANDLE_DBC
inline constexpr short HandleStmt = 3;  // SQL_HANDLE_STMT

// Throws DbError for any return code but success (with or without info). Reads only the first
// diagnostic record: with unixODBC, asking for more has crashed the SQLite and PostgreSQL drivers.
void Check(short rc, short handleType, void* handle, const char* call);
// The first diagnostic record's SQLSTATE ("" when none).
std::string FirstSqlState(short handleType, void* handle);
// Error 3704: the connection, statement or recordset is not open.
[[noreturn]] void ThrowClosed();
// Frees a handle; never throws.
void Free(short handleType, void*& handle) noexcept;

// One call that runs a statement of the connection (execution up to the first row, or every
// row of a static cursor; one later fetch), held to the connection's command timeout: by the
// driver when it applies the timeout, else by the connection's watchdog.
class WatchedCall {
  public:
    WatchedCall(Connection::Impl& connection, void* statement);
    ~WatchedCall() { End(); }
    WatchedCall(const WatchedCall&) = delete;
    WatchedCall& operator=(const WatchedCall&) = delete;
    // Inside a catch block: a database error of a call that ran into the command timeout (the
    // driver's timeout state HYT00, the watchdog's cancel, or any failure after the whole
    // timeout) becomes the timeout error; anything else is thrown again as it is.
    [[noreturn]] void Rethrow();
    // The call has returned (before its statement handle is freed). Never throws.
    void End() noexcept;

  private:
    Connection::Impl& m_connection;
    std::chrono::steady_clock::time_point m_start;
    bool m_armed = false;
    bool m_cancelled = false;
};

}  // namespace odbc
}  // namespace mae
