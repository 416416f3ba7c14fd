#include "db/Connection.h"

#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Odbc.h"
#include "db/Providers.h"
#include "db/Secrets.h"
#include "db/SqlApi.h"
#include "db/SqliteDriver.h"

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

std::string LowerDriverName(SQLHDBC dbc) {
    std::string name = InfoText(dbc, SQL_DRIVER_NAME);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// The SQLite ODBC driver hands out its UTF-8 text unchanged when asked for bytes, and from
// version 0.9998 on turns it into UTF-16 by the rules AppendSqliteDriverText follows. On
// Windows it may convert bytes to the code page instead, so there text is always read as
// UTF-16.
bool ReadsDriverUtf8(SQLHDBC dbc) {
    if constexpr (!odbc::DriverBytesMayBeUtf8) return false;
    if (LowerDriverName(dbc).find("sqlite3odbc") == std::string::npos) return false;
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
}

// Whether the driver keeps a query timeout it is given. The SQLite ODBC driver accepts one, reads
// it back as 0 and lets every statement run to its end.
bool AppliesQueryTimeout(SQLHDBC dbc) {
    SQLHANDLE handle = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &handle))) return false;
    const odbc::Handle stmt(odbc::HandleStmt, handle);
    constexpr SQLULEN probe = 37;
    SQLULEN back = 0;
    return SQL_SUCCEEDED(SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(probe), 0)) &&
           SQL_SUCCEEDED(SQLGetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, &back, 0, nullptr)) &&
           back == probe;
}

odbc::Engine EngineNamed(const std::string& dbms) {
    if (dbms == "SQLite") return odbc::Engine::SQLite;
    if (dbms == "PostgreSQL") return odbc::Engine::PostgreSQL;
    return odbc::Engine::Other;
}

// Connects dbc through its driver. A failure never quotes a password of the connection string.
void DriverConnect(SQLHDBC dbc, std::u16string cs, const std::u16string& connectionString) {
    SQLSMALLINT outLength = 0;
    try {
        odbc::Check(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
                                      static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, &outLength,
                                      SQL_DRIVER_NOPROMPT),
                    SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    } catch (const DbError& e) {
        // A driver may quote the string it was given: its passwords never reach a message.
        const std::string description = e.description();
        const std::string clean =
            WithoutSecrets(description, ConnectionStringSecrets(connectionString));
        if (clean == description) throw;
        const size_t suffix = clean.rfind(" (SQLSTATE ");
        throw DbError(e.sqlState(), e.nativeCode(), clean.substr(0, suffix), e.call());
    }
}

// The SQLite driver creates an empty database wherever a mistyped path points, and says only
// "connect failed" when told not to: a file that is not there is refused before connecting,
// named, so that no engine can create it.
void RefuseMissingSqliteFile(const std::u16string& odbcString) {
    const std::optional<std::string> missing = MissingSqliteFile(odbcString);
    if (!missing) return;
    throw DbError("08001", 0,
                  missing->empty() ? "The connection string names no SQLite database file."
                                   : "unable to open database file: The SQLite database file " +
                                         *missing + " does not exist.",
                  "SQLDriverConnect");
}

}  // namespace

Connection::Connection() : m_session(std::make_unique<odbc::Session>()) {}

Connection::~Connection() { Close(); }

void Connection::SetConnectionString(std::u16string text) {
    m_session->connectionString = std::move(text);
}

const std::u16string& Connection::ConnectionString() const noexcept {
    return m_session->connectionString;
}

void Connection::SetCommandTimeout(int seconds) noexcept { m_session->commandTimeout = seconds; }

int Connection::CommandTimeout() const noexcept { return m_session->commandTimeout; }

void Connection::SetRowByRow(bool on) noexcept { m_session->rowByRow = on; }

void Connection::SetTextAsUtf16(bool on) noexcept { m_session->textAsUtf16 = on; }

bool Connection::IsOpen() const noexcept { return m_session->open; }

void Connection::Open() {
    Close();
    odbc::Session& d = *m_session;
    try {
        d.env = odbc::Allocate(odbc::HandleEnv, nullptr);
        SQLHENV env = d.env.get();
        odbc::Check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                    SQL_HANDLE_ENV, env, "SQLSetEnvAttr");
        d.dbc = odbc::Allocate(odbc::HandleDbc, env);
        SQLHDBC dbc = d.dbc.get();
        // The program only reads; drivers that honour the access mode enforce it.
        SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        // A string in OLE DB form (Provider=...) becomes the ODBC string of the same database.
        const std::u16string odbcString =
            OdbcConnectionString(d.connectionString, [env] { return odbc::InstalledDrivers(env); });
        // Cut to the driver manager's length first: what follows only puts short keys in front.
        const std::u16string cut = CutForDriverManager(odbcString);
        const bool sqlite = IsSqliteDriverLibrary(odbc::DriverLibrary(env, cut));
        SqliteReading reading{cut, std::nullopt};
        if (sqlite) {
            RefuseMissingSqliteFile(cut);
            reading = ForSqliteReading(cut, d.rowByRow);
        }
        d.lockWaitRestore = sqlite;
        d.lockWaitMs = reading.lockWaitMs.value_or(0);
        DriverConnect(dbc, reading.text, d.connectionString);
        d.open = true;
        // The SQLite and PostgreSQL drivers ignore the access mode; both engines can be told
        // to refuse writes themselves.
        d.engine = EngineNamed(DbmsName());
        d.driverUtf8 = !d.textAsUtf16 && d.engine == odbc::Engine::SQLite && ReadsDriverUtf8(dbc);
        if (d.engine == odbc::Engine::SQLite) odbc::ExecSetting(d, u"PRAGMA query_only=1");
        if (d.engine == odbc::Engine::PostgreSQL)
            odbc::ExecSetting(d, u"SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
        d.sqliteDriver = LowerDriverName(dbc).find("sqlite") != std::string::npos;
        d.driverTimesOut = AppliesQueryTimeout(dbc);
        d.lockWaitSet = -1;
        if (d.engine == odbc::Engine::SQLite) odbc::ApplyLockWait(d);
    } catch (...) {
        Close();
        throw;
    }
}

void Connection::Close() noexcept { m_session->Close(); }

std::string Connection::DbmsName() const {
    if (!m_session->open) return {};
    return InfoText(m_session->dbc.get(), SQL_DBMS_NAME);
}

}  // namespace mae
