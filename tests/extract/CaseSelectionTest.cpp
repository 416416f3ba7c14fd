#include <gtest/gtest.h>

#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/RunFiles.h"
#include "support/MiniRegistry.h"

#ifndef MAE_TEST_DATA
#define MAE_TEST_DATA "."
#endif

namespace mae {
namespace {

using test::MiniRegistry;

TEST(SelectionCriteria, IsTheRegistrysClauseToTheCharacter) {
    std::string expected =
        test::ReadFileBytes(std::string(MAE_TEST_DATA) + "/selection-criteria.txt");
    ASSERT_EQ(expected.size(), 2317u);
    std::u16string criteria = SelectionCriteria();
    EXPECT_EQ(criteria.size(), 2317u);
    EXPECT_EQ(std::string(criteria.begin(), criteria.end()), expected);
    EXPECT_EQ(criteria.substr(0, 8), u" WHERE (");
    // The doubled blanks that select.sql holds (pieces that begin or end with a blank).
    EXPECT_NE(criteria.find(u"AND ( ((psite>='C500'"), std::u16string::npos);
    EXPECT_NE(criteria.find(u"OR  ((psite='C199')"), std::u16string::npos);
    EXPECT_NE(criteria.find(u"<='8152')  OR"), std::u16string::npos);
}

TEST(CaseQuery, JoinsSelectListAndCriteria) {
    std::u16string q = CaseQuery(u"Medicalsum.medrefid, X");
    std::u16string head =
        u"SELECT Medicalsum.medrefid, X, medicalsum.medrefid, grpsite2, grpsite3 FROM patients, "
        u"medicalsum, medicalsum_2  WHERE (";
    EXPECT_EQ(q.substr(0, head.size()), head);
    EXPECT_EQ(q.size(), head.size() - 8 + 2317);
}

TEST(SaveSelectSql, WritesOneLineAndReplacesEarlierFile) {
    test::TempDir dir;
    test::WriteFileBytes(dir.file("select.sql"), std::string(50000, 'x'));
    RunFiles files(dir.path());
    ASSERT_TRUE(files.Lock());
    SaveSelectSql(files, u"SELECT é");
    SaveSelectSql(files, u"SELECT é");
    EXPECT_EQ(test::ReadFileBytes(dir.file("select.sql")), "SELECT \xE9\r\n");
}

struct SelectionCase {
    const char* date;
    const char* site;
    const char* histology;
    int behavior;
    bool selected;
};

class CaseSelection : public ::testing::TestWithParam<SelectionCase> {};

// Each case alone in a fresh registry, sent through the registry's own engine.
TEST_P(CaseSelection, MatchesTheSiteGroups) {
    const auto& c = GetParam();
    test::TempDir dir;
    MiniRegistry registry(dir.file("registry.db"));
    registry.AddCase(1, c.date, c.site, c.histology, c.behavior);
    test::MiniRun run(registry, dir.path());
    Recordset cases;
    RunFiles files(dir.path());
    OpenCaseRecordset(files, CaseQuery(MiniRegistry::ConsolidatedSelectList()), run.connection,
                      cases);
    EXPECT_EQ(cases.RecordCount(), c.selected ? 1 : 0)
        << c.date << " " << c.site << " " << c.histology << " " << c.behavior;
    EXPECT_TRUE(test::FileExists(dir.file("select.sql")));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, CaseSelection,
    ::testing::Values(
        SelectionCase{"20110101", "C540", "8800", 3, true},   // corpus uteri: any histology
        SelectionCase{"20110101", "C549", "9999", 2, true},   //
        SelectionCase{"20110101", "C559", "8800", 3, false},  // C559 only with its ranges
        SelectionCase{"20110101", "C559", "8790", 3, true},   //
        SelectionCase{"20110101", "C260", "8000", 3, true},   // colon group
        SelectionCase{"20110101", "C260", "8153", 3, false},  //
        SelectionCase{"20110101", "C260", "8242", 3, false},  //
        SelectionCase{"20110101", "C260", "8246", 3, false},  //
        SelectionCase{"20110101", "C260", "8249", 3, false},  //
        SelectionCase{"20110101", "C500", "9020", 3, true},   // breast
        SelectionCase{"20110101", "C509", "9021", 3, false},  //
        SelectionCase{"20110101", "C619", "8120", 3, false},  // prostate
        SelectionCase{"20110101", "C619", "8140", 3, true},   //
        SelectionCase{"20110101", "C199", "8250", 3, true},   // rectosigmoid
        SelectionCase{"20110101", "C209", "8981", 2, true},   // rectum
        SelectionCase{"20110101", "C341", "8576", 3, true},   // lung
        SelectionCase{"20110101", "C341", "8577", 3, false},  //
        SelectionCase{"20111231", "C341", "8000", 1, false},  // behaviour 1
        SelectionCase{"20100101", "C500", "8500", 3, false},  // 2010
        SelectionCase{"20120101", "C500", "8500", 2, false},  // 2012
        SelectionCase{"2011", "C500", "8500", 2, true},       // the year is all that counts
        SelectionCase{"20110101", "C220", "8500", 3, false}));

TEST(CaseSelectionJoins, MissingPatientOrSecondSummaryRowIsNotSelected) {
    test::TempDir dir;
    MiniRegistry registry(dir.file("registry.db"));
    registry.AddCase(1, "20110101", "C500", "8500", 3, /*withPatient=*/false);
    registry.AddCase(2, "20110101", "C500", "8500", 3, true, /*withSum2=*/false);
    registry.AddCase(3, "20110101", "C500", "8500", 3);
    test::MiniRun run(registry, dir.path());
    Recordset cases;
    RunFiles files(dir.path());
    OpenCaseRecordset(files, CaseQuery(MiniRegistry::ConsolidatedSelectList()), run.connection,
                      cases);
    ASSERT_EQ(cases.RecordCount(), 1);
    EXPECT_EQ(ToInt32(cases.Field(u"MedrefID")), 3);
}

}  // namespace
}  // namespace mae
