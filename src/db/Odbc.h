#pragma once
// Shared by the db sources only: ODBC handles that free themselves, a connection's state, the
// checked-call funnel and the one way a statement is run under the command timeout.
// ODBC handles are plain pointers (SQLHANDLE); <sql.h> stays in the .cpp files.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Row.h"

namespace mae {

class Watchdog;

namespace odbc {

inline constexpr short HandleEnv = 1;   // SQL_HANDLE_ENV
inline constexpr short HandleDbc = 2;   // SQL_HANDLE_DBC
inline constexpr short HandleStmt = 3;  // SQL_HANDLE_STMT

// One ODBC handle, freed (SQLFreeHandle) when it goes: move-only, never freed twice.
class Handle {
  public:
    Handle() noexcept = default;
    Handle(short type, void* handle) noexcept : m_type(type), m_handle(handle) {}
    Handle(Handle&& other) noexcept
        : m_type(other.m_type), m_handle(std::exchange(other.m_handle, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            m_type = other.m_type;
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    void* get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }
    // Frees the handle now. Never throws.
    void reset() noexcept;

  private:
    short m_type = 0;
    void* m_handle = nullptr;
};

// A new handle of type under parent (SQLAllocHandle; parent null for an environment). Throws
// DbError with the parent's diagnostics.
Handle Allocate(short type, void* parent);

// The database engine behind a connection, known from the driver's DBMS name when it opens.
enum class Engine { Other, SQLite, PostgreSQL };

// A connection's handles, settings and what was learnt about its driver when it opened.
// Members are freed in reverse order: the watchdog before the statement it cancels, statements
// before the connection, the connection before the environment.
struct Session {
    Session();
    ~Session();  // Close()
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // Disconnects and frees every handle; back to the state before opening. Never throws.
    void Close() noexcept;

    Handle env;
    Handle dbc;
    bool open = false;
    std::u16string connectionString;
    int commandTimeout = 0;
    bool rowByRow = false;
    bool textAsUtf16 = false;  // never read as UTF-8 bytes, whatever the driver
    Engine engine = Engine::Other;
    // Text is read as the driver's UTF-8 bytes and turned into units here (DriverText.h).
    bool driverUtf8 = false;
    // The driver applies SQL_ATTR_QUERY_TIMEOUT itself (it reads the value back); when it does
    // not, a watchdog holds the statements to the command timeout.
    bool driverTimesOut = false;
    // The SQLite ODBC driver: SQLCancel on any of its statements interrupts the connection.
    bool sqliteDriver = false;
    Handle cancelHandle;  // SQLite: the idle statement the watchdog cancels
    std::unique_ptr<Watchdog> watchdog;
    int watchdogTimeout = 0;  // the command timeout the watchdog was made for
    // SQLite: the wait for a writer's lock (PRAGMA busy_timeout, milliseconds). lockWaitMs is
    // the connection string's own Timeout; lockWaitSet what the connection has now.
    bool lockWaitRestore = false;  // the string's Timeout was replaced while connecting
    long lockWaitMs = 0;
    long lockWaitSet = -1;
};

// A prepared statement, held by its Statement and, while a cursor is open on it, by the
// recordset reading it. Only the statement's side says whose cursor that is (reader): a
// recordset that no longer finds itself there was closed by a later execution or by the
// statement's Close, and never touches the handle again.
struct Prepared {
    Handle stmt;
    Session* session = nullptr;
    int32_t parameter = 0;    // bound to the `?`; set before each execution
    bool driverUtf8 = false;  // as its connection's
    std::shared_ptr<const ColumnSet> columns;
    const void* reader = nullptr;  // the recordset whose cursor is open on stmt
};

// Throws DbError for any return code but success (with or without info). Reads only the first
// diagnostic record: with unixODBC, asking for more has crashed the SQLite and PostgreSQL drivers.
void Check(short rc, short handleType, void* handle, const char* call);
// The first diagnostic record's SQLSTATE ("" when none).
std::string FirstSqlState(short handleType, void* handle);
// Error 3704: the connection, statement or recordset is not open.
[[noreturn]] void ThrowClosed();
// The names of the drivers the driver manager knows (SQLDrivers), on an environment handle set
// to ODBC 3; none when it cannot list them.
std::vector<std::u16string> InstalledDrivers(void* env);
// The library an ODBC connection string makes the driver manager load: the file its Driver
// entry (or its data source's driver) points at, as the driver list says; the Driver value
// itself when that is a file's path, or when the list does not say. "" when the string names
// no driver the list knows of.
std::u16string DriverLibrary(void* env, std::u16string_view odbcString);

// One call that runs a statement of the connection (execution up to the first row, or every
// row of a static cursor; one later fetch), held to the connection's command timeout: by the
// driver when it applies the timeout, else by the connection's watchdog.
class WatchedCall {
  public:
    WatchedCall(Session& connection, void* statement);
    ~WatchedCall() { End(); }
    WatchedCall(const WatchedCall&) = delete;
    WatchedCall& operator=(const WatchedCall&) = delete;
    // Inside a catch block: a database error of a call that ran into the command timeout (the
    // watchdog's cancel, the driver's timeout state HYT00 or HYT01, PostgreSQL's statement
    // timeout, SQLite's "database is locked" once the lock wait the connection set has passed)
    // becomes the timeout error; anything else is thrown again as it is.
    [[noreturn]] void Rethrow();
    // The call has returned (before its statement handle is freed). Never throws.
    void End() noexcept;

  private:
    Session& m_connection;
    std::chrono::steady_clock::time_point m_start;
    bool m_armed = false;
    bool m_cancelled = false;
};

// Runs call() on statement as one WatchedCall. When it fails, undo() runs once the call is over
// (it may free the statement), then the error travels on, a timeout as the timeout error.
template <class Call, class Undo>
void RunWatched(Session& connection, void* statement, Call call, Undo undo) {
    WatchedCall watched(connection, statement);
    try {
        call();
    } catch (...) {
        watched.End();
        undo();
        watched.Rethrow();
    }
}

// How Execute holds a statement: the program's statements to the command timeout; the
// connection's own settings (sent while it opens, or by WatchedCall itself) not at all.
enum class Timed { CommandTimeout, No };

// A new statement handle of the open connection, given the command timeout when timed.
Handle NewStatement(Session& connection, Timed timed);

// The one way a statement of the connection is run: stmt becomes a new statement handle (the
// one it held is freed first), given the connection's command timeout, and call() runs on it
// as one WatchedCall; on failure undo() runs, then the error travels on (see RunWatched).
// Untimed, call() runs unwatched and its error travels as it is.
template <class Call, class Undo>
void Execute(Session& connection, Handle& stmt, Call call, Undo undo,
             Timed timed = Timed::CommandTimeout) {
    stmt = NewStatement(connection, timed);
    if (timed == Timed::No) {
        call();
        return;
    }
    RunWatched(connection, stmt.get(), call, undo);
}

// Runs a statement of the connection's own (a setting) to its end, untimed. Throws DbError.
void ExecSetting(Session& connection, std::u16string text);
// SQLite: holds the wait for a writer's lock to the command timeout (see Odbc.cpp).
void ApplyLockWait(Session& connection);

}  // namespace odbc
}  // namespace mae
