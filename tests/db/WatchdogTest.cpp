// The command timeout on SQLite, whose ODBC driver accepts a query timeout and never applies it:
// the connection's watchdog cancels the statement, text or prepared, and the connection goes on.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/RuntimeError.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Statement.h"
#include "db/Value.h"
#include "support/TestDb.h"

namespace mae {
namespace {

// Counts to a billion: runs far longer than the test's timeout of one second.
constexpr std::u16string_view Endless =
    u"with recursive c(x) as (select 1 union all select x + 1 from c where x < 1000000000) "
    u"select count(*) from c where x > ";

struct Case {
    const char* name;
    bool prepared;
    CursorType cursor;
};

class WatchdogTest : public ::testing::TestWithParam<Case> {};

TEST_P(WatchdogTest, ALongStatementIsCancelledAtTheCommandTimeout) {
    const Case& c = GetParam();
    test::TempDir dir;
    test::ExecSql(dir.file("r.db"), "create table t (x integer); insert into t values (7);");
    Connection connection;
    connection.SetConnectionString(test::SqliteConnectionString(dir.file("r.db")));
    connection.SetCommandTimeout(1);
    connection.SetRowByRow(true);
    connection.Open();

    Statement statement;
    Recordset rs;
    const auto start = std::chrono::steady_clock::now();
    std::string description;
    const int number = test::ErrorNumber(
        [&] {
            if (c.prepared) {
                statement.Prepare(std::u16string(Endless) + u"?", connection);
                rs.Open(statement, 0, c.cursor);
            } else {
                rs.Open(std::u16string(Endless) + u"0", connection, c.cursor);
            }
        },
        &description);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(number, err::QueryTimeout) << description;
    EXPECT_EQ(description.rfind("Query timeout expired: ", 0), 0u) << description;
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 10);
    EXPECT_EQ(rs.State(), 0);

    // The connection is usable at once, and a short statement is never cancelled.
    rs.Open(u"select x from t", connection, c.cursor);
    EXPECT_EQ(ToInt32(rs.Field(0)), 7);
    rs.Close();
}

INSTANTIATE_TEST_SUITE_P(Statements, WatchdogTest,
                         ::testing::Values(Case{"TextStatic", false, CursorType::Static},
                                           Case{"TextForwardOnly", false, CursorType::ForwardOnly},
                                           Case{"PreparedStatic", true, CursorType::Static}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace mae
