#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "layout/ItemLists.h"
#include "layout/LayoutLoader.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::ExecSql;

TEST(ItemLists, SplitIntoTheFixedItems) {
    auto consolidated = SplitItemList(ConsolidatedItemList());
    auto abstract = SplitItemList(AbstractItemList());
    EXPECT_EQ(ConsolidatedItemList().size(), 272u);
    EXPECT_EQ(AbstractItemList().size(), 388u);
    ASSERT_EQ(consolidated.size(), ConsolidatedItemCount);
    ASSERT_EQ(abstract.size(), AbstractItemCount);
    EXPECT_EQ(consolidated.front(), u"20");
    EXPECT_EQ(abstract.front(), u"20");
    EXPECT_EQ(consolidated[56], u"3250");
    EXPECT_EQ(consolidated[55], u"3231");
    EXPECT_EQ(abstract[81], u"3250");
    EXPECT_EQ(abstract[48], u"2520");
    EXPECT_EQ(abstract[64], u"2680");
    for (const auto& list : {consolidated, abstract}) {
        for (size_t i = 1; i < list.size(); ++i) {
            EXPECT_LT(std::stoi(std::string(list[i - 1].begin(), list[i - 1].end())),
                      std::stoi(std::string(list[i].begin(), list[i].end())));
        }
    }
    EXPECT_EQ(SplitItemList(u"1,,2,").size(), 4u);  // empty pieces are kept
}

class LayoutLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_db = m_dir.file("control.db");
        ExecSql(m_db,
                "create table lay (naaccr_item_no integer, ColumnStart integer, FieldLength "
                "integer, FieldName text, Prompting text, LongLabel text);");
        m_control.SetConnectionString(test::SqliteConnectionString(m_db));
    }
    void Open() { m_control.Open(); }
    void Load(LayoutKind kind, std::vector<std::u16string> items, std::u16string table = u"lay") {
        if (!m_control.IsOpen()) Open();
        LoadLayout(kind, items, m_control, table, m_rs, m_layout, m_select);
    }
    test::TempDir m_dir;
    std::string m_db;
    Connection m_control;
    Recordset m_rs;
    Layout m_layout;
    std::u16string m_select;
};

TEST_F(LayoutLoaderTest, BuildsEntriesAndSelectLists) {
    ExecSql(m_db,
            "insert into lay values (20, 42, 8, 'PatId', '', 'a');"
            "insert into lay values (380, 100, 2, 'E1', '', 'b');"
            "insert into lay values (390, 110, 8, 'E2', 'X', 'c');"
            "insert into lay values (400, 120, 4, 'E3', 'x', 'd');"
            "insert into lay values (410, 130, 1, 'E4', 'X ', 'e');"
            "insert into lay values (410, 999, 9, 'Second', '', 'f');");
    std::vector<std::u16string> items = {u"20", u"220", u"380", u"390", u"400", u"410"};
    Load(LayoutKind::Consolidated, items);
    ASSERT_EQ(m_layout.size(), 6u);
    // Item 20 is qualified in the case query only; its entry keeps the bare name.
    EXPECT_EQ(m_select, u"Medicalsum.medrefid, Patients.PatId, E1, E3, E4");
    EXPECT_EQ(m_layout[0].FieldName, u"PatId");
    EXPECT_EQ(m_layout[0].ColumnStart, 42);
    EXPECT_EQ(m_layout[0].FieldLength, 8);
    // No row for 220: an empty entry, and the list runs on with a single ", ".
    EXPECT_EQ(m_layout[1].ItemNumber, u"220");
    EXPECT_EQ(m_layout[1].ColumnStart, 0);
    EXPECT_EQ(m_layout[1].FieldLength, 0);
    EXPECT_TRUE(m_layout[1].FieldName.empty());
    EXPECT_TRUE(m_layout[1].Prompting.empty());
    EXPECT_TRUE(m_layout[3].IsTextEntry());   // "X"
    EXPECT_FALSE(m_layout[4].IsTextEntry());  // "x"
    EXPECT_FALSE(m_layout[5].IsTextEntry());  // "X "
    EXPECT_EQ(m_layout[5].FieldName, u"E4");  // the first row of an item wins
    EXPECT_EQ(m_layout[5].ColumnStart, 130);

    Load(LayoutKind::Abstract, items);
    EXPECT_EQ(m_select, u"medrefid, PatId, E1, E3, E4");
}

TEST_F(LayoutLoaderTest, NoColumnItemLeavesThePrefixAlone) {
    ExecSql(m_db, "insert into lay values (2520, 1, 10, 'T1', 'X', '');");
    Load(LayoutKind::Consolidated, {u"2520", u"2530"});
    EXPECT_EQ(m_select, u"Medicalsum.medrefid, ");
    Load(LayoutKind::Abstract, {u"2530"});
    EXPECT_EQ(m_select, u"medrefid, ");
}

TEST_F(LayoutLoaderTest, BadLayoutValuesEndStartUpNamingTheItem) {
    struct Case {
        const char* row;
        int error;
    };
    const Case cases[] = {
        {"(20, 40000, 8, 'P', '', '')", err::Overflow},
        {"(20, null, 8, 'P', '', '')", err::InvalidNull},
        {"(20, 'abc', 8, 'P', '', '')", err::TypeMismatch},
        {"(20, 1, 8, null, '', '')", err::InvalidNull},
        {"(20, 1, 8, 'P', null, '')", err::InvalidNull},
    };
    for (const auto& c : cases) {
        ExecSql(m_db, std::string("delete from lay; insert into lay values ") + c.row);
        try {
            Load(LayoutKind::Consolidated, {u"20"});
            ADD_FAILURE() << c.row;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.error) << c.row;
            EXPECT_NE(std::string(e.what()).find("item 20 in layout table lay"), std::string::npos)
                << e.what();
        }
    }
    ExecSql(m_db, "delete from lay; insert into lay values (20, 22824, 1, 'P', '', '')");
    Load(LayoutKind::Consolidated, {u"20"});
    EXPECT_EQ(m_layout[0].ColumnStart, 22824);
    ExecSql(m_db, "delete from lay; insert into lay values (20, '2.5', 3.5, 'P', '', '')");
    Load(LayoutKind::Consolidated, {u"20"});
    EXPECT_EQ(m_layout[0].ColumnStart, 2);  // halves go to the even neighbour
    EXPECT_EQ(m_layout[0].FieldLength, 4);
}

// The names of the column items go into the queries: one that is not a name ends the loading,
// naming the item and the table; the padding of a fixed-width column is dropped from the entry,
// so the writers find the query's column by it. Text items are no columns and are kept as read.
TEST_F(LayoutLoaderTest, ColumnItemNamesMustBeNames) {
    ExecSql(m_db,
            "insert into lay values (20, 42, 8, 'PatId   ', '', '');"
            "insert into lay values (380, 100, 2, '[Seq No]', '', '');"
            "insert into lay values (390, 110, 8, 'abstracts_2.E2', '', '');"
            "insert into lay values (2520, 200, 10, 'Text--Dx (free)', 'X', '');"
            "create table [lay out] as select * from lay;");
    for (std::u16string table : {u"lay", u"lay   ", u"[lay out]", u"main.lay"}) {
        SCOPED_TRACE(ToUtf8(table));
        Load(LayoutKind::Consolidated, {u"20", u"380", u"390", u"2520"}, table);
        EXPECT_EQ(m_select, u"Medicalsum.medrefid, Patients.PatId, [Seq No], abstracts_2.E2");
        EXPECT_EQ(m_layout[0].FieldName, u"PatId");
        EXPECT_EQ(m_layout[3].FieldName, u"Text--Dx (free)");
    }
    ExecSql(m_db,
            "insert into lay values (220, 50, 1, 'sex, load_extension(''/tmp/x.so'')', '', '')");
    for (LayoutKind kind : {LayoutKind::Consolidated, LayoutKind::Abstract}) {
        try {
            Load(kind, {u"20", u"220", u"380"});
            ADD_FAILURE() << "loaded";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidCall);
            EXPECT_NE(e.description().find("the FieldName of item 220 in layout table lay ('sex, "
                                           "load_extension('/tmp/x.so')') is not a name"),
                      std::string::npos)
                << e.description();
        }
    }
    try {
        Load(LayoutKind::Abstract, {u"20"}, u"lay where 1=1");
        ADD_FAILURE() << "loaded";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::InvalidCall);
        EXPECT_NE(e.description().find("naaccrparameters.controltablename ('lay where 1=1')"),
                  std::string::npos)
            << e.description();
    }
}

// The writers find each value by the name the query's result gives its column: two different
// columns of one name (an item's and another item's, or the MedrefID the program selects itself)
// end the loading, naming both; the same column twice, in any spelling of its letters, is one.
TEST_F(LayoutLoaderTest, DifferentColumnsOfOneResultNameAreRefused) {
    const struct {
        LayoutKind kind;
        const char *name220, *name390;
        const char* says;  // nullptr: loads
    } cases[] = {
        {LayoutKind::Consolidated, "patients.sex", "medicalsum.sex",
         "the FieldName of item 220 ('patients.sex') and the FieldName of item 390 "
         "('medicalsum.sex') in layout table lay are different columns that the query's result "
         "names alike ('sex')"},
        {LayoutKind::Consolidated, "patients.medrefid", "x",
         "the column Medicalsum.medrefid that the program selects itself and the FieldName of "
         "item 220 ('patients.medrefid')"},
        {LayoutKind::Abstract, "x", "abstracts_2.Remarks", "('abstracts_2.Remarks')"},
        {LayoutKind::Abstract, "[Seq No]", "abstracts_2.[seq no]", "alike ('seq no')"},
        {LayoutKind::Consolidated, "sex", "SEX", nullptr},
        {LayoutKind::Consolidated, "medicalsum.medrefid", "Sex", nullptr},
        {LayoutKind::Abstract, "medrefid", "[Seq No]", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name220) + " / " + c.name390);
        ExecSql(m_db, std::string("delete from lay; insert into lay values (220, 50, 1, '") +
                          c.name220 + "', '', ''), (390, 60, 1, '" + c.name390 + "', '', '');");
        std::string description;
        const int number = test::ErrorNumber([&] { Load(c.kind, {u"220", u"390"}); }, &description);
        if (!c.says) {
            EXPECT_EQ(number, 0) << description;
            continue;
        }
        EXPECT_EQ(number, err::InvalidCall) << description;
        EXPECT_NE(description.find(c.says), std::string::npos) << description;
        EXPECT_NE(description.find("in the control database"), std::string::npos) << description;
    }
}

TEST_F(LayoutLoaderTest, MissingTableIsADatabaseError) {
    EXPECT_THROW(Load(LayoutKind::Consolidated, {u"20"}, u"nosuch"), RuntimeError);
    EXPECT_THROW(Load(LayoutKind::Consolidated, {u"20"}, u""), RuntimeError);
}

}  // namespace
}  // namespace mae
