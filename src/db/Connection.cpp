#include "db/Connection.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Odbc.h"
#include "db/SqlApi.h"
#include "db/SqliteNoCreate.h"
#include "db/Watchdog.h"

namespace mae {

namespace {

std::string InfoText(SQLHDBC dbc, SQLUSMALLINT item) {
    SQLWCHAR text[128] = {};
    SQLSMALLINT length = 0;
    odbc::Check(SQLGetInfoW(dbc, item, text, sizeof text, &length), SQL_HANDLE_DBC, dbc,
                "SQLGetInfo");
    size_t n = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)) / 2, 127);
    return ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text), n));
}

// The SQLite ODBC driver hands out its UTF-8 text unchanged when asked for bytes, and from
// version 0.9998 on turns it into UTF-16 by the rules AppendSqliteDriverText follows. On
// Windows it may convert bytes to the code page instead, so there text is always read as
// UTF-16.
bool ReadsDriverUtf8(SQLHDBC dbc) {
#if defined(_WIN32)
    (void)dbc;
    return false;
#else
    std::string name = InfoText(dbc, SQL_DRIVER_NAME);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.find("sqlite3odbc") == std::string::npos) return false;
    // Its versions read as decimal numbers ("0.9998", "0.99991"), compared here digit by digit
    // (the C library's number parsing follows the locale's decimal mark).
    const std::string version = InfoText(dbc, SQL_DRIVER_VER);
    const size_t dot = version.find('.');
    std::string whole = version.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : version.substr(dot + 1);
    auto digits = [](const std::string& t) {
        return !t.empty() && t.size() <= 8 &&
               std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(whole) || (!fraction.empty() && !digits(fraction))) return false;
    fraction.resize(8, '0');
    return std::stoi(whole) > 0 || fraction >= "99980000";
#endif
}

std::string LowerDriverName(SQLHDBC dbc) {
    std::string name = InfoText(dbc, SQL_DRIVER_NAME);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Whether the driver keeps a query timeout it is given. The SQLite ODBC driver accepts one, reads
// it back as 0 and lets every statement run to its end.
bool AppliesQueryTimeout(SQLHDBC dbc) {
    SQLHANDLE stmt = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return false;
    constexpr SQLULEN probe = 37;
    SQLULEN back = 0;
    const bool kept =
        SQL_SUCCEEDED(
            SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(probe), 0)) &&
        SQL_SUCCEEDED(SQLGetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, &back, 0, nullptr)) &&
        back == probe;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return kept;
}

void ExecDirect(SQLHDBC dbc, std::u16string text) {
    SQLHANDLE stmt = nullptr;
    odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
    SQLRETURN rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                  static_cast<SQLINTEGER>(text.size()));
    try {
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "SQLExecDirect");
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// SQLite waits for a writer's lock inside a statement, where no cancel reaches it: the wait is
// made no longer than the command timeout (or the connection string's own Timeout when that is
// shorter). Without a command timeout, a Timeout that was replaced while connecting is put back
// (the driver's default is 100 s); a DSN's own setting is left alone.
void ApplyLockWait(Connection::Impl& d) {
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
    ExecDirect(d.dbc, u"PRAGMA busy_timeout=" + DecimalText(wanted));
    d.lockWaitSet = static_cast<long>(wanted);
}

// Connects dbc through its driver. A failure names the SQLite database file that is not there,
// and never quotes a password of the connection string.
void DriverConnect(SQLHDBC dbc, std::u16string cs, const std::u16string& odbcString,
                   const std::u16string& connectionString) {
    SQLSMALLINT outLength = 0;
    try {
        odbc::Check(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
                                      static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, &outLength,
                                      SQL_DRIVER_NOPROMPT),
                    SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    } catch (const DbError& e) {
        // The SQLite driver says only "connect failed": name the file it did not find.
        if (const std::optional<std::string> missing = MissingSqliteFile(odbcString)) {
            throw DbError(e.sqlState(), e.nativeCode(),
                          missing->empty()
                              ? "The connection string names no SQLite database file."
                              : "The SQLite database file " + *missing + " does not exist.",
                          e.call());
        }
        // A driver may quote the string it was given: its passwords never reach a message.
        const std::string description = e.description();
        const std::string clean =
            WithoutSecrets(description, ConnectionStringSecrets(connectionString));
        if (clean == description) throw;
        const size_t suffix = clean.rfind(" (SQLSTATE ");
        throw DbError(e.sqlState(), e.nativeCode(), clean.substr(0, suffix), e.call());
    }
}

}  // namespace

namespace odbc {

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

void Free(short handleType, void*& handle) noexcept {
    if (handle) SQLFreeHandle(handleType, handle);
    handle = nullptr;
}

WatchedCall::WatchedCall(Connection::Impl& c, void* statement)
    : m_connection(c), m_start(std::chrono::steady_clock::now()) {
    if (c.commandTimeout <= 0 || !c.open) return;
    if (c.sqliteEngine) ApplyLockWait(c);
    if (c.driverTimesOut) return;
    if (!c.watchdog || c.watchdogTimeout != c.commandTimeout) {
        c.watchdog.reset();
        // SQLCancel on a statement of the SQLite driver interrupts whatever runs on the
        // connection, and then closes the cursor of the statement it was given, from the
        // watchdog's thread while the running call may still read that cursor's rows. An idle
        // statement of the same connection is cancelled instead: the interrupt is the same, and
        // the cursor it closes is its own, empty one.
        if (c.sqliteDriver && !c.cancelHandle) {
            SQLHANDLE idle = nullptr;
            odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &idle), SQL_HANDLE_DBC, c.dbc,
                        "SQLAllocHandle");
            c.cancelHandle = idle;
        }
        c.watchdog = std::make_unique<Watchdog>(
            std::chrono::milliseconds(static_cast<long long>(c.commandTimeout) * 1000),
            c.cancelHandle);
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

void WatchedCall::Rethrow() {
    End();
    const int seconds = m_connection.commandTimeout;
    const double ran =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    try {
        throw;
    } catch (const DbError& e) {
        if (seconds > 0 && (m_cancelled || e.sqlState() == "HYT00" || ran >= seconds)) {
            throw ErrorOf(err::QueryTimeout,
                          "the database did not finish a statement within " +
                              std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
                              ". Another program may be holding it locked, or it is "
                              "overloaded: try again when it is free. The driver said: " +
                              e.description());
        }
        throw;
    }
}

}  // namespace odbc

Connection::Impl::Impl() = default;

Connection::Impl::~Impl() = default;

Connection::Connection() : m_impl(std::make_unique<Impl>()) {}

Connection::~Connection() { Close(); }

Connection::Impl& Connection::impl() const { return *m_impl; }

void Connection::SetConnectionString(std::u16string text) {
    m_impl->connectionString = std::move(text);
}

const std::u16string& Connection::ConnectionString() const noexcept {
    return m_impl->connectionString;
}

void Connection::SetCommandTimeout(int seconds) noexcept { m_impl->commandTimeout = seconds; }

int Connection::CommandTimeout() const noexcept { return m_impl->commandTimeout; }

void Connection::SetRowByRow(bool on) noexcept { m_impl->rowByRow = on; }

bool Connection::IsOpen() const noexcept { return m_impl->open; }

void Connection::Open() {
    Close();
    Impl& d = *m_impl;
    SQLHANDLE env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        throw DbError("HY001", 0, "The ODBC driver manager could not be started.",
                      "SQLAllocHandle");
    }
    d.env = env;
    try {
        odbc::Check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                    SQL_HANDLE_ENV, env, "SQLSetEnvAttr");
        SQLHANDLE dbc = nullptr;
        odbc::Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env,
                    "SQLAllocHandle");
        d.dbc = dbc;
        // The program only reads; drivers that honour the access mode enforce it.
        SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        // A string in OLE DB form (Provider=...) becomes the ODBC string of the same database.
        const std::u16string odbcString =
            OdbcConnectionString(d.connectionString, [env] { return odbc::InstalledDrivers(env); });
        // Cut to the driver manager's length first: what follows only puts short keys in front.
        const std::u16string noCreate = WithNoCreate(odbcString);
        const SqliteReading reading = ForSqliteReading(noCreate, d.rowByRow);
        d.lockWaitRestore = reading.text != noCreate;
        d.lockWaitMs = reading.lockWaitMs.value_or(0);
        DriverConnect(dbc, reading.text, odbcString, d.connectionString);
        d.open = true;
        // The SQLite and PostgreSQL drivers ignore the access mode; both engines can be told
        // to refuse writes themselves.
        const std::string dbms = DbmsName();
        std::u16string pragma;
        if (dbms == "SQLite") pragma = u"PRAGMA query_only=1";
        d.driverUtf8 = dbms == "SQLite" && ReadsDriverUtf8(dbc);
        if (dbms == "PostgreSQL") pragma = u"SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY";
        if (!pragma.empty()) ExecDirect(dbc, pragma);
        d.sqliteEngine = dbms == "SQLite";
        d.sqliteDriver = LowerDriverName(dbc).find("sqlite") != std::string::npos;
        d.driverTimesOut = AppliesQueryTimeout(dbc);
        d.lockWaitSet = -1;
        if (d.sqliteEngine) ApplyLockWait(d);
    } catch (...) {
        Close();
        throw;
    }
}

void Connection::Close() noexcept {
    Impl& d = *m_impl;
    d.watchdog.reset();
    d.watchdogTimeout = 0;
    odbc::Free(SQL_HANDLE_STMT, d.cancelHandle);
    if (d.dbc) {
        if (d.open) SQLDisconnect(d.dbc);
        odbc::Free(SQL_HANDLE_DBC, d.dbc);
    }
    odbc::Free(SQL_HANDLE_ENV, d.env);
    d.open = false;
    d.driverUtf8 = false;
    d.driverTimesOut = false;
    d.sqliteDriver = false;
    d.sqliteEngine = false;
}

std::string Connection::DbmsName() const {
    if (!m_impl->open) return {};
    return InfoText(m_impl->dbc, SQL_DBMS_NAME);
}

}  // namespace mae
