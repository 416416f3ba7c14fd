#pragma once

// Helpers of the server tests: the PostgreSQL server that scripts/test.sh starts (its ODBC
// connection string in MAE_PG_CONNECTION, its env file in MAE_PG_ENV_FILE), a libpq session for
// what the program itself must never do (write, lock), and whole extraction runs through the
// start-up sequence on either engine.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "extract/ExtractRun.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"
#include "support/TestDb.h"

struct pg_conn;

namespace mae::test {

inline constexpr const char* NoServerReason =
    "MAE_PG_CONNECTION is not set: no PostgreSQL server to test against. ./scripts/test.sh starts "
    "one; by hand: scripts/pg-server.sh start; set -a; . <(scripts/pg-server.sh env); set +a; "
    "ctest -L server";

// MAE_PG_CONNECTION, "" when unset.
std::string PgConnectionString();

#define MAE_SKIP_WITHOUT_SERVER()                        \
    do {                                                 \
        if (::mae::test::PgConnectionString().empty())   \
            GTEST_SKIP() << ::mae::test::NoServerReason; \
    } while (0)

// The connection string with one key's value replaced (key letter case ignored).
std::string WithKey(const std::string& connection, const std::string& key,
                    const std::string& value);
// One key's value, "" when missing.
std::string KeyValue(const std::string& connection, const std::string& key);

// Runs scripts/pg-server.sh COMMAND (start, halt, ...) on the server of MAE_PG_ENV_FILE; the
// command's exit status.
int PgServerScript(const std::string& command);
// True when the tests can stop and restart the server (MAE_PG_ENV_FILE is set).
bool CanControlServer();

// A libpq session on the server as the registry's owner: writes, locks, transactions.
class PgSession {
  public:
    explicit PgSession(const std::string& odbcConnectionString);
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;
    // Runs SQL; throws std::runtime_error on failure.
    void Exec(const std::string& sql);
    // The first value of the first row of a query.
    std::string Scalar(const std::string& sql);

  private:
    pg_conn* m_conn = nullptr;
};

// Copies the SQLite registry into the server's database "registry" (tables replaced).
void LoadIntoServer(const std::string& sqliteRegistry);

// What one run showed and wrote.
struct RunResult {
    RunOutcome outcome{};
    std::vector<RecordingUi::Box> boxes;
    std::string selectSql;
    // Lines of the three files, each without its CR LF, sorted.
    std::vector<std::string> consolidated, abstracts, log;
    long long consolidatedBytes = 0, abstractBytes = 0;
    double seconds = 0;  // RunExtract only
};

// The program's start-up (Form_Load, with WINDIR pointing at a folder holding Meridane.ini)
// and one confirmed run, its files written into a fresh folder.
class ProgramRun {
  public:
    // registryConnection: the ini's [Databases] Registry value; control: a SQLite control file.
    // Writes the ini and sets WINDIR (put back at destruction).
    ProgramRun(std::string registryConnection, std::string controlDb,
               std::string scanText = "TEXT");
    // Starts up and runs; ui answers Yes unless told otherwise. Throws what the program throws.
    // commandTimeout, when set, replaces the registry connection's 120 s after start-up.
    RunResult Run(bool rerelease, RecordingUi* ui = nullptr,
                  std::optional<int> commandTimeout = std::nullopt);
    const std::string& folder() const { return m_out.path(); }

  private:
    WindowsFolder m_windir;
    TempDir m_out;
};

// The lines of a file without their CR LF, sorted (a missing file gives none).
std::vector<std::string> SortedLines(const std::string& path);

}  // namespace mae::test
