// The temporary names of a run's files: what a name says of the run that made it, and which
// names are the program's own at all. Lock() removes files by what Parse says, and a journal is
// trusted only with names that StandsFor accepts, so a name read wrongly loses a file.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "extract/TemporaryNames.h"
#include "support/TableTest.h"

namespace mae {
namespace {

struct NameRow {
    const char* what;
    const char* name;
    const char* own;  // nullptr: not one of the program's temporary names
    bool carriesRun;
    unsigned long process;
    unsigned long long lock;
};
MAE_TABLE_TEST(TemporaryName, NameRow);

TEST_P(TemporaryName, SaysWhatItStandsFor) {
    const NameRow& row = GetParam();
    TemporaryParts parts;
    ASSERT_EQ(TemporaryNames::Parse(row.name, parts), row.own != nullptr);
    if (!row.own) return;
    EXPECT_EQ(parts.own, row.own);
    EXPECT_EQ(parts.carriesRun, row.carriesRun);
    EXPECT_EQ(parts.process, row.process);
    EXPECT_EQ(parts.lock, row.lock);
    EXPECT_EQ(TemporaryNames::StandsFor(row.name, row.own), row.carriesRun);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TemporaryName,
    ::testing::Values(
        NameRow{"a run's abstract file", ".AbstractAuditExtract.txt.4242-1f2e-3.tmp",
                "AbstractAuditExtract.txt", true, 4242, 0x1f2e},
        NameRow{"the journal's own", ".AuditExtract.journal.7-0-0.tmp", "AuditExtract.journal",
                true, 7, 0},
        NameRow{"an older edition's, without a run", ".select.sql.12345678901234-0.tmp",
                "select.sql", false, 0, 0},
        NameRow{"upper-case hexadecimal is not ours", ".extract.log.1-1F-0.tmp", "extract.log",
                false, 0, 0},
        NameRow{"a sign in the number", ".extract.log.-1-1-0.tmp", "extract.log", false, 0, 0},
        NameRow{"not hidden", "AbstractAuditExtract.txt.1-1-0.tmp", nullptr, false, 0, 0},
        NameRow{"another file's name", ".elsewhere.txt.1-1-0.tmp", nullptr, false, 0, 0},
        NameRow{"a final name", "AbstractAuditExtract.txt", nullptr, false, 0, 0},
        NameRow{"a longer own name", ".extract.logs.1-1-0.tmp", nullptr, false, 0, 0},
        NameRow{"the suffix alone", ".extract.log.tmp", nullptr, false, 0, 0},
        NameRow{"a process number too large", ".extract.log.99999999999999999999-1-0.tmp",
                "extract.log", false, 0, 0},
        NameRow{"a path", "../.extract.log.1-1-0.tmp", nullptr, false, 0, 0}));

TEST(TemporaryNames, AreUniqueAndCarryTheRunAndItsLock) {
    const TemporaryNames names(4242, 0xabc);
    std::set<std::string> made;
    for (int i = 0; i < 100; ++i) {
        const std::string name = names.Make("AbstractAuditExtract.txt");
        EXPECT_TRUE(made.insert(name).second) << name;
        TemporaryParts parts;
        ASSERT_TRUE(TemporaryNames::Parse(name, parts)) << name;
        EXPECT_EQ(parts.process, 4242u);
        EXPECT_EQ(parts.lock, 0xabcu);
        // The run that holds this lock counts such a file as its own, from a run that is gone.
        EXPECT_TRUE(names.RunIsGone(parts));
    }
    EXPECT_TRUE(TemporaryNames::IsOwnFinalName("extract.log"));
    EXPECT_FALSE(TemporaryNames::IsOwnFinalName("AuditExtract.journal"));
    EXPECT_FALSE(TemporaryNames::IsOwnFinalName("AuditExtract.lock"));
}

}  // namespace
}  // namespace mae
