#include "server/PgTestSupport.h"

#include <libpq-fe.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "app/startup/Startup.h"
#include "server/PgLoad.h"

namespace mae::test {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The connection string's "key=value" parts.
std::vector<std::string> Parts(const std::string& connection) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < connection.size()) {
        size_t end = connection.find(';', start);
        if (end == std::string::npos) end = connection.size();
        if (end > start) parts.push_back(connection.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string PartKey(const std::string& part) { return Lower(part.substr(0, part.find('='))); }

}  // namespace

std::string PgConnectionString() {
    const char* value = std::getenv("MAE_PG_CONNECTION");
    return value ? value : "";
}

std::string WithKey(const std::string& connection, const std::string& key,
                    const std::string& value) {
    std::string out;
    bool replaced = false;
    for (const std::string& part : Parts(connection)) {
        if (!out.empty()) out += ';';
        if (PartKey(part) == Lower(key)) {
            out += part.substr(0, part.find('=')) + "=" + value;
            replaced = true;
        } else {
            out += part;
        }
    }
    if (!replaced) out += (out.empty() ? "" : ";") + key + "=" + value;
    return out;
}

std::string KeyValue(const std::string& connection, const std::string& key) {
    for (const std::string& part : Parts(connection)) {
        size_t eq = part.find('=');
        if (eq != std::string::npos && PartKey(part) == Lower(key)) return part.substr(eq + 1);
    }
    return {};
}

bool CanControlServer() {
    const char* file = std::getenv("MAE_PG_ENV_FILE");
    return file && *file;
}

int PgServerScript(const std::string& command) {
    const std::string line =
        std::string("'") + MAE_SOURCE_DIR + "/scripts/pg-server.sh' " + command;
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PgSession::PgSession(const std::string& odbcConnectionString) {
    m_conn = PQconnectdb(pgload::LibpqConnInfo(odbcConnectionString).c_str());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        std::string message = m_conn ? PQerrorMessage(m_conn) : "out of memory";
        PQfinish(m_conn);
        throw std::runtime_error("libpq: " + message);
    }
}

PgSession::~PgSession() { PQfinish(m_conn); }

void PgSession::Exec(const std::string& sql) {
    PGresult* r = PQexec(m_conn, sql.c_str());
    ExecStatusType status = PQresultStatus(r);
    PQclear(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        throw std::runtime_error("libpq: " + std::string(PQerrorMessage(m_conn)) + " in " + sql);
    }
}

std::string PgSession::Scalar(const std::string& sql) {
    PGresult* r = PQexec(m_conn, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) < 1) {
        std::string message = PQerrorMessage(m_conn);
        PQclear(r);
        throw std::runtime_error("libpq: " + message + " in " + sql);
    }
    std::string value = PQgetisnull(r, 0, 0) ? "(null)" : PQgetvalue(r, 0, 0);
    PQclear(r);
    return value;
}

void LoadIntoServer(const std::string& sqliteRegistry) {
    pgload::LoadSqliteIntoPostgres(sqliteRegistry, pgload::LibpqConnInfo(PgConnectionString()));
}

std::vector<std::string> SortedLines(const std::string& path) {
    std::vector<std::string> lines;
    if (FileExists(path)) lines = RecordLines(path);
    std::sort(lines.begin(), lines.end());
    return lines;
}

ProgramRun::ProgramRun(std::string registryConnection, std::string controlDb,
                       std::string scanText) {
    m_windir.WriteIniBytes("[Databases]\r\nControl=" + SqliteConnection(controlDb) +
                           "\r\nRegistry=" + registryConnection +
                           "\r\n[Options]\r\nScanText=" + scanText + "\r\n");
}

RunResult ProgramRun::Run(bool rerelease, RecordingUi* ui, std::optional<int> commandTimeout) {
    AppState state;
    Form_Load(state);
    if (commandTimeout) state.RegistryConnection.SetCommandTimeout(*commandTimeout);
    state.ApplicationFolder = m_out.path();
    ExtractContext context = state.MakeExtractContext();
    RecordingUi own;
    RecordingUi& shown = ui ? *ui : own;
    shown.rerelease = rerelease;

    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    result.outcome = RunExtract(context, shown);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.boxes = shown.boxes;
    result.selectSql = ReadFileBytes(m_out.file(SelectFileName));
    result.consolidated = SortedLines(m_out.file(ConsolidatedFileName));
    result.abstracts = SortedLines(m_out.file(AbstractFileName));
    result.log = SortedLines(m_out.file(LogFileName));
    result.consolidatedBytes =
        static_cast<long long>(ReadFileBytes(m_out.file(ConsolidatedFileName)).size());
    result.abstractBytes =
        static_cast<long long>(ReadFileBytes(m_out.file(AbstractFileName)).size());
    return result;
}

}  // namespace mae::test
