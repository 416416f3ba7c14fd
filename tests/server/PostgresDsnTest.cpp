// The PostgreSQL registry reached through a DSN of a private odbc.ini (ODBCINI), in ADO's MSDASQL
// form with the user and password in the string: the same run as through the driver's own string.

#include <gtest/gtest.h>

#include "server/PgTestSupport.h"
#include "support/DriverLeaks.h"
#include "support/GeneratedRegistry.h"

namespace mae {
namespace {

TEST(PostgresDsn, MsdasqlStringRunsLikeTheDriverString) {
    MAE_SKIP_WITHOUT_SERVER();
    const test::GeneratedRegistry dir({.cases = 60});
    const std::string registry = dir.registry(), control = dir.control();
    test::LoadIntoServer(registry);

    const std::string server = test::PgConnectionString();
    test::WriteFileBytes(dir.file("odbc.ini"),
                         "[MeridanePg]\nDriver=" + test::KeyValue(server, "Driver") +
                             "\nServername=" + test::KeyValue(server, "Server") +
                             "\nPort=" + test::KeyValue(server, "Port") +
                             "\nDatabase=" + test::KeyValue(server, "Database") + "\n");
    test::ScopedEnv odbcIni("ODBCINI", dir.file("odbc.ini"));
    const std::string viaDsn =
        "Provider=MSDASQL.1;Persist Security Info=False;User ID=" + test::KeyValue(server, "UID") +
        ";Password=\"" + test::KeyValue(server, "PWD") + "\";Data Source=MeridanePg";

    test::RunResult direct, dsn;
    {
        test::ProgramRun run(server, control);
        direct = run.Run(false);
    }
    {
        test::DriverLeaksIgnored ignored;  // what unixODBC's look-up of a DSN leaves behind
        test::ProgramRun run(viaDsn, control);
        dsn = run.Run(false);
    }
    ASSERT_EQ(dsn.outcome, RunOutcome::Completed);
    EXPECT_FALSE(dsn.consolidated.empty());
    EXPECT_EQ(dsn.selectSql, direct.selectSql);
    EXPECT_TRUE(dsn.consolidated == direct.consolidated) << "consolidated records differ";
    EXPECT_TRUE(dsn.abstracts == direct.abstracts) << "abstract records differ";
}

}  // namespace
}  // namespace mae
