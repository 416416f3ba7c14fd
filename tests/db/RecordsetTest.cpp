#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::ExecSql;
using test::SqliteConnectionString;

class RecordsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_db = m_dir.file("r.db");
        ExecSql(m_db,
                "create table t (id integer, name text, amount real, code text);"
                "insert into t values (1, 'Ann', 1.5, '07');"
                "insert into t values (2, 'Bé€', 130.0, null);"
                "insert into t values (3, null, null, 'abc');");
        m_conn.SetConnectionString(SqliteConnectionString(m_db));
        m_conn.Open();
    }
    test::TempDir m_dir;
    std::string m_db;
    Connection m_conn;
};

TEST_F(RecordsetTest, StaticCursorCountsAndWalksRows) {
    Recordset rs;
    rs.Open(u"select id, name, amount, code from t order by id", m_conn, CursorType::Static);
    EXPECT_EQ(rs.State(), 1);
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.Field(0).kind(), Value::Kind::Integer);
    EXPECT_EQ(ConcatText(rs.Field(u"NAME")), u"Ann");  // names ignore letter case
    EXPECT_EQ(ConcatText(rs.Field(u"amount")), u"1.5");
    rs.MoveNext();
    EXPECT_EQ(rs.Field(u"name").text(), u"Bé€");  // UTF-16 from the driver
    EXPECT_EQ(ConcatText(rs.Field(u"amount")), u"130");
    EXPECT_TRUE(rs.Field(u"code").isNull());
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_THROW(rs.Field(0), RuntimeError);
    rs.MoveFirst();
    EXPECT_EQ(ToInt32(rs.Field(u"id")), 1);
    rs.Close();
    EXPECT_EQ(rs.State(), 0);
    EXPECT_THROW(rs.Eof(), RuntimeError);
}

TEST_F(RecordsetTest, ForwardOnlyReadsRowByRow) {
    Recordset rs;
    rs.Open(u"select count(*) from t", m_conn);
    EXPECT_EQ(ToDouble(rs.Field(0)), 3);
    EXPECT_EQ(rs.RecordCount(), -1);
    rs.Open(u"select id from t where id > 100", m_conn);  // reopening closes first
    EXPECT_TRUE(rs.Eof());
}

TEST_F(RecordsetTest, FirstColumnOfANameWins) {
    Recordset rs;
    rs.Open(u"select a.id, b.id from t a, t b where a.id = 1 and b.id = 2", m_conn,
            CursorType::Static);
    EXPECT_EQ(ConcatText(rs.Field(u"ID")), u"1");
    try {
        rs.Field(u"nosuch");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::ItemNotFound);
        EXPECT_NE(std::string(e.what()).find("nosuch"), std::string::npos);
    }
}

TEST_F(RecordsetTest, LongTextsComeBackWhole) {
    std::string big(100000, 'x');
    big[50000] = 'y';
    ExecSql(m_db, "insert into t values (4, '" + big + "', 0, '')");
    Recordset rs;
    rs.Open(u"select name from t where id = 4", m_conn, CursorType::Static);
    const auto& text = rs.Field(0).text();
    ASSERT_EQ(text.size(), 100000u);
    EXPECT_EQ(text[50000], u'y');
}

TEST_F(RecordsetTest, DriverErrorsCarrySqlState) {
    Recordset rs;
    try {
        rs.Open(u"select * from nosuchtable", m_conn);
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), err::Provider);
        EXPECT_EQ(e.call(), "SQLExecDirect");
        EXPECT_FALSE(e.sqlState().empty());
        EXPECT_NE(std::string(e.what()).find("nosuchtable"), std::string::npos);
    }
    EXPECT_EQ(rs.State(), 0);
}

TEST_F(RecordsetTest, ConnectionIsReadOnly) {
    Recordset rs;
    EXPECT_THROW(rs.Open(u"insert into t values (9, 'x', 0, '')", m_conn), DbError);
    rs.Open(u"select count(*) from t", m_conn);
    EXPECT_EQ(ToDouble(rs.Field(0)), 3);
}

TEST(ConnectionTest, BadConnectionStringsFail) {
    for (std::u16string cs : {u"Not Available", u"", u"Driver=NoSuchDriver;Database=x"}) {
        Connection c;
        c.SetConnectionString(cs);
        EXPECT_THROW(c.Open(), DbError);
        EXPECT_FALSE(c.IsOpen());
    }
    Connection c;
    Recordset rs;
    EXPECT_THROW(rs.Open(u"select 1", c), RuntimeError);  // never opened
}

}  // namespace
}  // namespace mae
