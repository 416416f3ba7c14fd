#include "db/Odbc.h"

#include <algorithm>
#include <climits>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/SqlApi.h"
#include "db/Watchdog.h"

namespace mae::odbc {

void Handle::reset() noexcept {
    if (m_handle) SQLFreeHandle(m_type, m_handle);
    m_handle = nullptr;
}

Handle Allocate(short type, void* parent) {
    SQLHANDLE handle = nullptr;
    const SQLRETURN rc = SQLAllocHandle(type, parent ? parent : SQL_NULL_HANDLE, &handle);
    if (type == HandleEnv) {
        if (!SQL_SUCCEEDED(rc)) {
            throw DbError("HY001", 0, "The ODBC driver manager could not be started.",
                          "SQLAllocHandle");
        }
    } else {
        Check(rc, type == HandleDbc ? HandleEnv : HandleDbc, parent, "SQLAllocHandle");
    }
    return Handle(type, handle);
}

Session::Session() = default;

Session::~Session() { Close(); }

void Session::Close() noexcept {
    watchdog.reset();
    watchdogTimeout = 0;
    cancelHandle.reset();
    if (dbc && open) SQLDisconnect(dbc.get());
    dbc.reset();
    env.reset();
    open = false;
    engine = Engine::Other;
    driverUtf8 = false;
    driverTimesOut = false;
    sqliteDriver = false;
}

void Check(short rc, short handleType, void* handle, const char* call) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return;
    if (rc == SQL_INVALID_HANDLE || handle == nullptr) {
        throw DbError("HY000", 0, "The database handle is not valid.", call);
    }
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN drc = SQLGetDiagRecW(handleType, handle, 1, state, &native, message.data(),
                                   static_cast<SQLSMALLINT>(message.size()), &length);
    if (drc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.resize(static_cast<size_t>(length) + 1);
        drc = SQLGetDiagRecW(handleType, handle, 1, state, &native, message.data(),
                             static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (drc != SQL_SUCCESS && drc != SQL_SUCCESS_WITH_INFO) {
        throw DbError("", 0, rc == SQL_NO_DATA ? "No data." : "", call);
    }
    size_t n = std::min(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    std::u16string text(reinterpret_cast<const char16_t*>(message.data()), n);
    std::u16string st(reinterpret_cast<const char16_t*>(state), 5);
    throw DbError(ToUtf8(st), native, ToUtf8(text), call);
}

std::string FirstSqlState(short handleType, void* handle) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[512];
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native, message, 512, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return {};
    return ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(state), 5));
}

void ThrowClosed() {
    throw RuntimeError(err::ObjectClosed, "Operation is not allowed when the object is closed.");
}

std::vector<std::u16string> InstalledDrivers(void* env) {
    std::vector<std::u16string> names;
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        SQLRETURN rc = SQLDriversW(env, direction, name, 512, &nameLength, attributes, 2048,
                                   &attributesLength);
        if (!SQL_SUCCEEDED(rc)) break;
        const size_t n =
            std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)), 511);
        names.emplace_back(reinterpret_cast<const char16_t*>(name), n);
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

namespace {

// The value of key in a driver's attribute list ("key=value" pieces, each ended by a NUL, the
// list by an empty one), within its first length units.
std::u16string AttributeValue(std::u16string_view list, std::u16string_view key) {
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find(u'\0', at);
        if (end == std::u16string_view::npos) end = list.size();
        const std::u16string_view piece = list.substr(at, end - at);
        if (piece.empty()) break;
        const size_t equals = piece.find(u'=');
        if (equals != std::u16string_view::npos &&
            EqualsIgnoreCase(Trim(piece.substr(0, equals), IsBlankOrLineEnd), key)) {
            return std::u16string(piece.substr(equals + 1));
        }
        at = end + 1;
    }
    return {};
}

// The driver of a data source, by its name (the driver's name in the list of drivers).
std::u16string DataSourceDriver(void* env, std::u16string_view dsn) {
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR driver[512];
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0, driverLength = 0;
        if (!SQL_SUCCEEDED(SQLDataSourcesW(env, direction, name, SQL_MAX_DSN_LENGTH + 1,
                                           &nameLength, driver, 512, &driverLength))) {
            return {};
        }
        direction = SQL_FETCH_NEXT;
        const std::u16string_view shown(
            reinterpret_cast<const char16_t*>(name),
            std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                             SQL_MAX_DSN_LENGTH));
        if (EqualsIgnoreCase(shown, dsn)) {
            return std::u16string(
                reinterpret_cast<const char16_t*>(driver),
                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(driverLength, 0)), 511));
        }
    }
}

}  // namespace

std::u16string DriverLibrary(void* env, std::u16string_view odbcString) {
    const std::vector<ConnectionStringPair> pairs = DriverOptionPairs(odbcString);
    std::u16string name;
    if (const ConnectionStringPair* driver = FindPair(pairs, u"driver")) {
        name = Trim(driver->value, IsBlankOrLineEnd);
    } else if (const ConnectionStringPair* dsn = FindPair(pairs, u"dsn")) {
        name = DataSourceDriver(env, Trim(dsn->value, IsBlankOrLineEnd));
    }
    if (name.empty() || name.find_first_of(u"/\\") != std::u16string::npos) return name;
    SQLWCHAR description[512];
    SQLWCHAR attributes[4096];
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        if (!SQL_SUCCEEDED(SQLDriversW(env, direction, description, 512, &nameLength, attributes,
                                       4096, &attributesLength))) {
            return name;
        }
        direction = SQL_FETCH_NEXT;
        const std::u16string_view listed(
            reinterpret_cast<const char16_t*>(description),
            std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)), 511));
        if (!EqualsIgnoreCase(listed, name)) continue;
        const std::u16string library = AttributeValue(
            std::u16string_view(
                reinterpret_cast<const char16_t*>(attributes),
                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(attributesLength, 0)),
                                 4095)),
            u"Driver");
        return library.empty() ? name : library;
    }
}

Handle NewStatement(Session& c, Timed timed) {
    if (!c.open) ThrowClosed();
    Handle stmt = Allocate(HandleStmt, c.dbc.get());
    if (timed == Timed::CommandTimeout && c.commandTimeout > 0) {
        // A driver that does not time statements out keeps running them: the connection's
        // watchdog holds each call to the timeout (WatchedCall).
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(c.commandTimeout)), 0);
    }
    return stmt;
}

void ExecSetting(Session& c, std::u16string text) {
    Handle stmt;
    Execute(
        c, stmt,
        [&] {
            Check(SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()),
                                 static_cast<SQLINTEGER>(text.size())),
                  HandleStmt, stmt.get(), "SQLExecDirect");
        },
        [] {}, Timed::No);
}

// SQLite waits for a writer's lock inside a statement, where no cancel reaches it: the wait is
// made no longer than the command timeout (or the connection string's own Timeout when that is
// shorter). Without a command timeout, a Timeout that was replaced while connecting is put back
// (the driver's default is 100 s); a DSN's own setting is left alone.
void ApplyLockWait(Session& d) {
    long long wanted = 0;
    if (d.commandTimeout > 0) {
        wanted = std::min<long long>(static_cast<long long>(d.commandTimeout) * 1000, INT_MAX);
        if (d.lockWaitMs > 0) wanted = std::min<long long>(wanted, d.lockWaitMs);
    } else if (d.lockWaitRestore) {
        wanted = d.lockWaitMs > 0 ? d.lockWaitMs : 100000;
    } else {
        return;
    }
    if (wanted == d.lockWaitSet) return;
    ExecSetting(d, u"PRAGMA busy_timeout=" + DecimalText(wanted));
    d.lockWaitSet = static_cast<long>(wanted);
}

WatchedCall::WatchedCall(Session& c, void* statement)
    : m_connection(c), m_start(std::chrono::steady_clock::now()) {
    if (c.commandTimeout <= 0 || !c.open) return;
    if (c.engine == Engine::SQLite) ApplyLockWait(c);
    if (c.driverTimesOut) return;
    if (!c.watchdog || c.watchdogTimeout != c.commandTimeout) {
        c.watchdog.reset();
        // SQLCancel on a statement of the SQLite driver interrupts whatever runs on the
        // connection, and then closes the cursor of the statement it was given, from the
        // watchdog's thread while the running call may still read that cursor's rows. An idle
        // statement of the same connection is cancelled instead: the interrupt is the same, and
        // the cursor it closes is its own, empty one.
        if (c.sqliteDriver && !c.cancelHandle) c.cancelHandle = Allocate(HandleStmt, c.dbc.get());
        c.watchdog = std::make_unique<Watchdog>(
            std::chrono::milliseconds(static_cast<long long>(c.commandTimeout) * 1000),
            c.cancelHandle.get());
        c.watchdogTimeout = c.commandTimeout;
    }
    c.watchdog->Arm(statement);
    m_armed = true;
}

void WatchedCall::End() noexcept {
    if (!m_armed) return;
    m_armed = false;
    if (m_connection.watchdog && m_connection.watchdog->Disarm()) m_cancelled = true;
}

namespace {

// "N seconds" or "N milliseconds", for a limit in milliseconds.
std::string Limit(long long ms) {
    if (ms % 1000 != 0) return std::to_string(ms) + " milliseconds";
    const long long seconds = ms / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

// Only a call that ran into a limit is a timeout: the watchdog's cancel, the driver's own timeout
// (HYT00, HYT01; PostgreSQL's server-side statement timeout, 57014), or SQLite giving up its wait
// for a writer's lock, which the connection set (ApplyLockWait) to the command timeout or the
// string's own shorter Timeout. Any other error keeps its number and the driver's words, however
// long the call ran: a connection that drops after minutes is not a timeout.
void WatchedCall::Rethrow() {
    End();
    const Session& c = m_connection;
    const long long ran = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - m_start)
                              .count();
    try {
        throw;
    } catch (const DbError& e) {
        if (c.commandTimeout <= 0) throw;
        const std::string& state = e.sqlState();
        const std::string& text = e.description();
        long long limit = static_cast<long long>(c.commandTimeout) * 1000;
        bool timedOut = m_cancelled || state == "HYT00" || state == "HYT01" ||
                        (c.engine == Engine::PostgreSQL && state == "57014" &&
                         text.find("statement timeout") != std::string::npos);
        if (!timedOut && c.engine == Engine::SQLite && c.lockWaitSet > 0 &&
            text.find("database is locked") != std::string::npos && ran + 100 >= c.lockWaitSet) {
            timedOut = true;
            limit = c.lockWaitSet;
        }
        if (!timedOut) throw;
        throw ErrorOf(err::QueryTimeout,
                      "the database did not finish a statement within " + Limit(limit) +
                          ". Another program may be holding it locked, or it is overloaded: try "
                          "again when it is free. The driver said: " +
                          text);
    }
}

}  // namespace mae::odbc
