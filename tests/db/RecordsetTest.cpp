#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ReadSnapshot.h"
#include "db/Recordset.h"
#include "db/Statement.h"
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
    // Opens the connection again, its text read as the driver's UTF-16 or not.
    void Reopen(bool utf16) {
        m_conn.Close();
        m_conn.SetTextAsUtf16(utf16);
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
    big.replace(4095, 4,
                "\xF0\x9F\x98\x80");  // a character beyond the basic plane at a piece's end
    ExecSql(m_db, "insert into t values (4, '" + big + "', 0, '')");
    for (bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "read as UTF-16" : "read as the driver's bytes");
        Reopen(utf16);
        Recordset rs;
        rs.Open(u"select name from t where id = 4", m_conn, CursorType::Static);
        const auto& text = rs.Field(0).text();
        ASSERT_EQ(text.size(), 99998u);
        EXPECT_EQ(text.substr(4094, 4), std::u16string(u"x\U0001F600x"));
        EXPECT_EQ(text[49998], u'y');
    }
}

// Whatever bytes a registry's text holds, the recordset reads the text the driver itself gives
// as UTF-16: odd and cut UTF-8, code zero, and characters split between the pieces a value is
// read in.
TEST_F(RecordsetTest, TextIsTheDriversOwnUtf16WhateverItsBytes) {
    const std::string a254(254, 'a'), a255(255, 'a'), b5000(5000, 'b');
    const std::vector<std::string> hexValues = {
        "41",
        "418042",
        "C041",
        "C1BF",
        "E941",
        "E9",
        "E2",
        "E282",
        "E282AC",
        "F5808080",
        "FF",
        "F09F9880",
        "F09080",
        "F48080805A",
        "F888808080",
        "EDA080",
        "E08080",
        "C3A9",
        "410042",
        "",
        test::Hex(a254) + "C3A9",
        test::Hex(a255) + "C3A9" + test::Hex(b5000),
        test::Hex(a255) + "E282AC" + test::Hex(b5000) + "F09F9880"};
    std::string sql = "create table odd (id integer, v text);";
    for (size_t i = 0; i < hexValues.size(); ++i) {
        sql += "insert into odd values (" + std::to_string(i) + ", cast(x'" + hexValues[i] +
               "' as text));";
    }
    sql += "insert into odd values (" + std::to_string(hexValues.size()) + ", null);";
    ExecSql(m_db, sql);

    const std::vector<std::optional<std::u16string>> expected =
        test::DriverUtf16(SqliteConnectionString(m_db), "select v from odd order by id");
    ASSERT_EQ(expected.size(), hexValues.size() + 1);
    for (const bool utf16 : {false, true})
        for (CursorType cursor : {CursorType::Static, CursorType::ForwardOnly}) {
            SCOPED_TRACE(utf16 ? "read as UTF-16" : "read as the driver's bytes");
            Reopen(utf16);
            Recordset rs;
            rs.Open(u"select v from odd order by id", m_conn, cursor);
            for (size_t i = 0; i < expected.size(); ++i, rs.MoveNext()) {
                ASSERT_FALSE(rs.Eof());
                SCOPED_TRACE(i < hexValues.size() ? hexValues[i].substr(0, 40) : "null");
                if (!expected[i]) {
                    EXPECT_TRUE(rs.Field(0).isNull());
                } else {
                    EXPECT_EQ(rs.Field(0).text(), *expected[i]);
                }
            }
            EXPECT_TRUE(rs.Eof());
        }
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

// Each misuse of a recordset is a run-time error with its own number, never a stray read.
TEST_F(RecordsetTest, MisuseIsARunTimeError) {
    using Step = std::function<void(Recordset&)>;
    const Step forwardOnly = [&](Recordset& rs) { rs.Open(u"select id from t", m_conn); };
    const Step atEnd = [&](Recordset& rs) { rs.Open(u"select id from t where id > 9", m_conn); };
    const Step closed = [](Recordset&) {};
    std::vector<Row> taken;
    const Step takeRows = [&](Recordset& rs) { rs.TakeRows(taken); };
    const struct {
        const char* what;
        Step setUp;
        Step call;
        int number;
    } table[] = {
        {"MoveFirst, forward-only", forwardOnly, [](Recordset& rs) { rs.MoveFirst(); },
         err::InvalidCall},
        {"Field past the last", forwardOnly, [](Recordset& rs) { rs.Field(1); }, err::ItemNotFound},
        {"FieldName of -1", forwardOnly, [](Recordset& rs) { rs.FieldName(-1); },
         err::ItemNotFound},
        {"MoveNext at the end", atEnd, [](Recordset& rs) { rs.MoveNext(); }, err::NoCurrentRecord},
        {"RecordCount, closed", closed, [](Recordset& rs) { rs.RecordCount(); }, err::ObjectClosed},
        {"FieldCount, closed", closed, [](Recordset& rs) { rs.FieldCount(); }, err::ObjectClosed},
        {"Field, closed", closed, [](Recordset& rs) { rs.Field(0); }, err::ObjectClosed},
        {"TakeRows, forward-only", forwardOnly, takeRows, err::InvalidCall},
        {"TakeRows, closed", closed, takeRows, err::ObjectClosed},
    };
    for (const auto& misuse : table) {
        SCOPED_TRACE(misuse.what);
        Recordset rs;
        misuse.setUp(rs);
        try {
            misuse.call(rs);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), misuse.number);
        }
    }
}

// One prepared statement read by one recordset, execution after execution: each execution's
// rows alone, whatever the one before held (more rows, longer texts, a text where now Null), and
// names found again after the recordset read a statement with other columns.
TEST_F(RecordsetTest, PreparedStatementRunsWithEachBoundValue) {
    Statement byId;
    byId.Prepare(u"select name, id from t where id >= ? order by id", m_conn);
    Recordset other;
    other.Open(u"select 1", m_conn);  // an unrelated open recordset does not disturb it
    Recordset rs;
    const std::u16string name = u"NAME";  // the same name, looked up anew for each execution
    const struct {
        int32_t id;
        std::vector<std::u16string> names;  // "(null)" for Null
    } runs[] = {
        {1, {u"Ann", u"Bé€", u"(null)"}},
        {3, {u"(null)"}},
        {2, {u"Bé€", u"(null)"}},
        {9, {}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.id);
        for (CursorType cursor : {CursorType::Static, CursorType::ForwardOnly}) {
            rs.Open(byId, run.id, cursor);
            std::vector<std::u16string> seen;
            while (!rs.Eof()) {
                const Value& v = rs.Field(name);
                seen.push_back(v.isNull() ? u"(null)" : v.text());
                rs.MoveNext();
            }
            EXPECT_EQ(seen, run.names);
            // Other columns in other places: the same name storage finds its new position.
            rs.Open(u"select id, code, name from t where id = 1", m_conn);
            EXPECT_EQ(ConcatText(rs.Field(name)), u"Ann");
        }
    }
    EXPECT_EQ(ToDouble(other.Field(0)), 1);
    // A forward-only reader is closed when its statement runs again for another reader, and
    // when its statement goes away; no dangling cursor.
    rs.Open(byId, 1);
    Recordset next;
    next.Open(byId, 2);
    EXPECT_EQ(rs.State(), 0);
    EXPECT_THROW(rs.MoveNext(), RuntimeError);
    EXPECT_EQ(next.Field(name).text(), u"Bé€");
    rs.Open(byId, 1);
    byId.Close();
    EXPECT_EQ(rs.State(), 0);
    EXPECT_THROW(rs.Open(byId, 1), RuntimeError);
    EXPECT_THROW(byId.Prepare(u"select * from nosuchtable where id = ?", m_conn), DbError);
}

// Inside a snapshot every statement reads the file as the first one did: a writer waits (here,
// with no busy timeout, is refused at once) until it ends. The connection stays read-only.
TEST_F(RecordsetTest, SnapshotHoldsTheFileStillUntilItEnds) {
    Recordset rs;
    {
        ReadSnapshot snapshot(m_conn);
        EXPECT_TRUE(snapshot.IsActive());
        rs.Open(u"select count(*) from t", m_conn);
        EXPECT_EQ(ToDouble(rs.Field(0)), 3);
        rs.Close();
        EXPECT_THROW(ExecSql(m_db, "insert into t values (4, 'x', 0, '')"), std::runtime_error);
        EXPECT_THROW(rs.Open(u"insert into t values (5, 'x', 0, '')", m_conn), DbError);
    }
    ExecSql(m_db, "insert into t values (4, 'x', 0, '')");
    rs.Open(u"select count(*) from t", m_conn);
    EXPECT_EQ(ToDouble(rs.Field(0)), 4);
    EXPECT_THROW(rs.Open(u"insert into t values (5, 'x', 0, '')", m_conn), DbError);
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
