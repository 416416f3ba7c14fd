// The program's connections refuse writes on both engines: a write sent through the database
// layer fails and leaves the data as it was. (SQLite: PRAGMA query_only; PostgreSQL: the session's
// transactions are read only, since psqlODBC ignores SQL_ATTR_ACCESS_MODE.) A statement hidden in
// a name from the control database never reaches the registry.

#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "server/PgTestSupport.h"
#include "support/GeneratedRegistry.h"

namespace mae {
namespace {

enum class Engine { Sqlite, Postgres };

void PrintTo(Engine e, std::ostream* os) { *os << (e == Engine::Sqlite ? "SQLite" : "PostgreSQL"); }

// A few aggregates over every table the writes below touch.
std::string Fingerprint(Connection& c) {
    std::string print;
    for (const char16_t* sql :
         {u"select count(*), sum(patientid) from patients",
          u"select count(*), sum(medrefid) from medicalsum_2",
          u"select count(*), sum(length(remarks)), min(remarks), max(remarks) from abstracts_2",
          u"select count(*), min(FupUnusual), max(FupUnusual) from abstracts_3"}) {
        Recordset rs;
        rs.Open(sql, c);
        for (int i = 0; i < rs.FieldCount(); ++i) print += ToUtf8(ConcatText(rs.Field(i))) + "|";
    }
    return print;
}

class ReadOnlyConnectionTest : public ::testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        if (GetParam() == Engine::Postgres) MAE_SKIP_WITHOUT_SERVER();
        if (GetParam() == Engine::Postgres) {
            test::LoadIntoServer(m_dir.registry());
            test::PgSession(test::PgConnectionString()).Exec("drop table if exists intruder");
            m_connection = test::PgConnectionString();
        } else {
            m_connection = test::SqliteConnection(m_dir.registry());
        }
    }

    test::GeneratedRegistry m_dir{{.cases = 20}};
    std::string m_connection;
};

TEST_P(ReadOnlyConnectionTest, WritesFailAndTheDataStaysAsItWas) {
    Connection c;
    c.SetConnectionString(FromUtf8(m_connection));
    c.SetCommandTimeout(120);
    c.Open();
    EXPECT_EQ(c.DbmsName(), GetParam() == Engine::Postgres ? "PostgreSQL" : "SQLite");
    const std::string before = Fingerprint(c);

    for (const char16_t* sql : {
             u"insert into patients (patientid) values (999999)",
             u"update abstracts_2 set remarks = 'overwritten'",
             u"delete from abstracts_3",
             u"create table intruder (a integer)",
             u"drop table medicalsum_2",
         }) {
        SCOPED_TRACE(ToUtf8(sql));
        Recordset rs;
        try {
            rs.Open(sql, c);
            ADD_FAILURE() << "the statement was carried out";
        } catch (const DbError& e) {
            if (GetParam() == Engine::Postgres) {
                EXPECT_EQ(e.sqlState(), "25006") << e.what();  // read-only SQL transaction
            }
            EXPECT_NE(std::string(e.what()).find("read"), std::string::npos) << e.what();
        }
        EXPECT_EQ(rs.State(), 0);
    }
    EXPECT_EQ(Fingerprint(c), before);

    // Seen from outside the program too, and the refusal is the connection's, not the account's:
    // the same account writes when it connects without the program's layer.
    if (GetParam() == Engine::Postgres) {
        test::PgSession owner(m_connection);
        EXPECT_EQ(owner.Scalar("select count(*) from pg_tables where tablename = 'intruder'"), "0");
        EXPECT_EQ(owner.Scalar("select count(*) from abstracts_2 where remarks = 'overwritten'"),
                  "0");
        owner.Exec("begin");
        owner.Exec("update abstracts_2 set remarks = 'overwritten'");
        owner.Exec("rollback");
    } else {
        Connection fresh;
        fresh.SetConnectionString(FromUtf8(m_connection));
        fresh.Open();
        EXPECT_EQ(Fingerprint(fresh), before);
        test::ExecSql(m_dir.registry(),
                      "begin; update abstracts_2 set remarks = 'overwritten'; rollback;");
    }
}

// A FieldName in the layout table that holds statements of its own (psqlODBC runs every
// statement of a text, and one of them makes the session writable again), or that PostgreSQL
// reads as the start of a dollar-quoted string ($$ for items 220 and 390 would make the quoted
// name of item 380 between them SQL), ends start-up with error 5 naming the item and the table,
// before the window is shown: the registry is as it was.
TEST(ControlDatabaseNames, StatementsInAFieldNameNeverReachTheRegistry) {
    MAE_SKIP_WITHOUT_SERVER();
    const char* const layouts[] = {
        "update naaccr13layout set FieldName = 'sex from patients, medicalsum limit 0; SET "
        "SESSION CHARACTERISTICS AS TRANSACTION READ WRITE; COMMIT; delete from canary; create "
        "table pwned(x int); select sex' where naaccr_item_no = 220",
        "update naaccr13layout set FieldName = '$$' where naaccr_item_no in (220, 390); update "
        "naaccr13layout set FieldName = '\"$$ IS NOT DISTINCT FROM $$\"' where naaccr_item_no = "
        "380",
    };
    for (const char* layout : layouts) {
        SCOPED_TRACE(layout);
        const test::GeneratedRegistry dir({.cases = 20});
        test::LoadIntoServer(dir.registry());
        test::PgSession owner(test::PgConnectionString());
        owner.Exec(
            "drop table if exists pwned; drop table if exists canary; create table canary (x "
            "int); insert into canary values (1), (2)");
        test::ExecSql(dir.control(), layout);
        std::string before;
        {
            Connection c;
            c.SetConnectionString(FromUtf8(test::PgConnectionString()));
            c.Open();
            before = Fingerprint(c);
        }

        test::ProgramRun run(test::PgConnectionString(), dir.control());
        test::RecordingUi ui;
        try {
            run.Run(false, &ui);
            ADD_FAILURE() << "start-up went on";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidCall);
            EXPECT_NE(
                e.description().find("the FieldName of item 220 in layout table naaccr13layout"),
                std::string::npos)
                << e.description();
        }
        EXPECT_TRUE(ui.boxes.empty());  // no run, no confirmation
        EXPECT_EQ(owner.Scalar("select count(*) from canary"), "2");
        EXPECT_EQ(owner.Scalar("select count(*) from pg_tables where tablename = 'pwned'"), "0");
        Connection after;
        after.SetConnectionString(FromUtf8(test::PgConnectionString()));
        after.Open();
        EXPECT_EQ(Fingerprint(after), before);
        owner.Exec("drop table canary");
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ReadOnlyConnectionTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres), [](const auto& info) {
                             return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
}  // namespace mae
