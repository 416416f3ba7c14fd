// A replacement that a killed run left behind, at each point it can be killed, is finished by the
// next start: the folder then holds the killed run's whole set. A journal that is not one of ours
// names nothing to be moved. (The runs killed for real are in RunFilesTest.cpp; these states are
// made by hand, so they run on both editions.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/OutputFiles.h"
#include "extract/RunFiles.h"
#include "platform/FileSystem.h"
#include "support/TestDb.h"

namespace mae {
namespace {

// A process number no system gives: the journal's run is gone.
constexpr const char* GoneRun = "2147480000";

struct Names {
    std::string final, temporary, backup;
};

std::vector<Names> Set() {
    std::vector<Names> set;
    int n = 0;
    for (const char* name : {ConsolidatedFileName, AbstractFileName, LogFileName}) {
        const std::string prefix = std::string(".") + name + "." + GoneRun + "-7-";
        set.push_back(
            {name, prefix + std::to_string(n) + ".tmp", prefix + std::to_string(n + 1) + ".tmp"});
        n += 2;
    }
    return set;
}

std::string Journal(const std::vector<Names>& set) {
    std::string text = "Meridane Audit Extract replacement 1\nrun " + std::string(GoneRun) + " 7\n";
    for (const Names& file : set)
        text += "file " + file.temporary + " " + file.final + " " + file.backup + "\n";
    return text + "end\n";
}

TEST(RunFilesJournal, AnInterruptedReplacementIsCompletedAtTheNextStart) {
    // How many files were moved aside, and how many new ones put in, when the run was killed.
    const struct {
        int aside;
        int in;
    } kills[] = {{0, 0}, {1, 0}, {3, 0}, {3, 1}, {3, 2}, {3, 3}};
    for (const auto& kill : kills) {
        SCOPED_TRACE(std::to_string(kill.aside) + " aside, " + std::to_string(kill.in) + " in");
        test::TempDir dir;
        const auto path = [&](const std::string& name) {
            return platform::JoinPath(dir.path(), name);
        };
        const std::vector<Names> set = Set();
        for (int i = 0; i < 3; ++i) {
            const Names& file = set[static_cast<size_t>(i)];
            test::WriteFileBytes(path(i < kill.aside ? file.backup : file.final), "old\r\n");
            test::WriteFileBytes(path(i < kill.in ? file.final : file.temporary),
                                 "new " + file.final + "\r\n");
        }
        test::WriteFileBytes(path(".AuditExtract.journal"), Journal(set));

        RunFiles::FinishInterrupted(dir.path());

        for (const Names& file : set) {
            EXPECT_EQ(test::ReadFileBytes(path(file.final)), "new " + file.final + "\r\n");
            EXPECT_FALSE(test::FileExists(path(file.temporary)));
            EXPECT_FALSE(test::FileExists(path(file.backup)));
        }
        EXPECT_FALSE(test::FileExists(path(".AuditExtract.journal")));
    }
}

TEST(RunFilesJournal, AJournalThatIsNotOneOfOursMovesNothing) {
    const std::vector<Names> set = Set();
    const std::string whole = Journal(set);
    const std::string bad[] = {
        whole.substr(0, whole.size() - 4),  // not whole: no end line
        "Meridane Audit Extract replacement 1\nrun 2147480000 7\nfile " + set[0].temporary +
            " ../elsewhere.txt " + set[0].backup + "\nend\n",  // a name that is not ours
        "Meridane Audit Extract replacement 1\nrun 2147480000 7\nfile " + set[0].temporary + " " +
            set[1].final + " " + set[0].backup + "\nend\n",  // a temporary name for another
        "something else\n",
    };
    for (const std::string& journal : bad) {
        SCOPED_TRACE(journal);
        test::TempDir dir;
        const auto path = [&](const std::string& name) {
            return platform::JoinPath(dir.path(), name);
        };
        test::WriteFileBytes(path(set[0].final), "old\r\n");
        test::WriteFileBytes(path(set[0].temporary), "new\r\n");
        test::WriteFileBytes(path(".AuditExtract.journal"), journal);

        RunFiles::FinishInterrupted(dir.path());

        EXPECT_EQ(test::ReadFileBytes(path(set[0].final)), "old\r\n");
        EXPECT_FALSE(test::FileExists(path(".AuditExtract.journal")));
    }
}

}  // namespace
}  // namespace mae
