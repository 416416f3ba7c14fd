// A replacement that a killed run left behind is finished by the next start, whatever became of
// its files since: at each point it can be killed, with its temporary files removed or replaced
// by a link, a folder or a FIFO, with a journal of another lock whose process number is in use.
// The folder then holds one run's whole set, the new one or the previous one, and never a mix
// or nothing. A journal that is not one of ours names nothing to be moved. (The runs killed for
// real are in RunFilesTest.cpp; these states are made by hand, so they run on both editions.)

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "extract/Journal.h"
#include "extract/OutputFiles.h"
#include "platform/FileSystem.h"
#include "support/TableTest.h"
#include "support/TestDb.h"

namespace mae {
namespace {

// A process number no system gives.
constexpr unsigned long GoneRun = 2147480000;
// The lock the finishing run holds.
constexpr unsigned long long HeldLock = 7;

struct Names {
    std::string final, temporary, backup;
};

std::vector<Names> Set(unsigned long process) {
    std::vector<Names> set;
    int n = 0;
    for (const char* name : {ConsolidatedFileName, AbstractFileName, LogFileName}) {
        const std::string prefix = std::string(".") + name + "." + std::to_string(process) + "-7-";
        set.push_back(
            {name, prefix + std::to_string(n) + ".tmp", prefix + std::to_string(n + 1) + ".tmp"});
        n += 2;
    }
    return set;
}

std::string Old(const Names& file) { return "old " + file.final + "\r\n"; }
std::string New(const Names& file) { return "new " + file.final + "\r\n"; }

// What became of one of the killed run's new files after the kill.
enum class Tamper { None, Removed, Link, Folder, Fifo };

struct KilledRow {
    const char* name;
    const char* what;
    int aside, in;     // how many old files were moved aside, and new ones put in, at the kill
    Tamper tamper;     // done to the new files not yet in place...
    int tampered;      // ...to this many of them, the abstract file's first
    bool identities;   // the journal names the new files' identities
    bool foreignLive;  // the journal's lock is another, its process number one that runs
    bool newSet;       // the folder ends with the new set (or else the previous one)
};
MAE_TABLE_TEST(KilledReplacement, KilledRow);

// Links and FIFOs only where the system has them in its folders as the program meets them.
void Spoil(const std::string& path, Tamper tamper, const std::string& outside) {
    platform::RemoveFile(path);
    int made = 0;
    if (tamper == Tamper::Folder) made = std::filesystem::create_directory(path) ? 0 : -1;
#ifndef _WIN32
    if (tamper == Tamper::Link) made = ::symlink(outside.c_str(), path.c_str());
    if (tamper == Tamper::Fifo) made = ::mkfifo(path.c_str(), 0600);
#else
    (void)outside;
#endif
    ASSERT_EQ(made, 0) << path;
}

TEST_P(KilledReplacement, EndsWithOneRunsWholeSet) {
    const KilledRow& row = GetParam();
    test::TempDir dir;
    const auto path = [&](const std::string& name) { return platform::JoinPath(dir.path(), name); };
    const std::string outside = path("elsewhere.txt");
    test::WriteFileBytes(outside, "not the extract's\r\n");
    Replacement replacement;
    replacement.process = row.foreignLive ? platform::CurrentProcessId() : GoneRun;
    replacement.lock = row.foreignLive ? HeldLock + 1 : HeldLock;
    const std::vector<Names> set = Set(replacement.process);
    for (int i = 0; i < 3; ++i) {
        const Names& file = set[static_cast<size_t>(i)];
        const std::string newAt = path(i < row.in ? file.final : file.temporary);
        test::WriteFileBytes(path(i < row.aside ? file.backup : file.final), Old(file));
        test::WriteFileBytes(newAt, New(file));
        Replacement::File entry{file.temporary, file.final, file.backup, 0};
        if (row.identities) platform::KindOf(newAt, entry.identity);
        replacement.files.push_back(entry);
    }
    // The abstract file first, then the consolidated one, then the log: only those not in place.
    int spoiled = 0;
    for (size_t i : {size_t{1}, size_t{0}, size_t{2}}) {
        if (spoiled == row.tampered || static_cast<int>(i) < row.in) continue;
        Spoil(path(set[i].temporary), row.tamper, outside);
        ++spoiled;
    }
    ASSERT_EQ(spoiled, row.tampered);
    std::string text = JournalText(replacement);
    if (!row.identities) {
        // As the editions before identities wrote it.
        text.replace(text.find(" replacement 2"), 14, " replacement 1");
        for (const Names& file : set) {
            const size_t at = text.find(file.backup + " ");
            text.erase(at + file.backup.size(), text.find('\n', at) - at - file.backup.size());
        }
    }
    test::WriteFileBytes(JournalPath(dir.path()), text);

    std::string note;
    const auto started = std::chrono::steady_clock::now();
    FinishJournal(dir.path(), TemporaryNames(GoneRun + 1, HeldLock), note);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    for (const Names& file : set) {
        EXPECT_EQ(test::ReadFileBytes(path(file.final)), row.newSet ? New(file) : Old(file))
            << file.final;
        EXPECT_EQ(platform::KindOf(path(file.backup)), platform::EntryKind::Nothing);
    }
    EXPECT_EQ(platform::KindOf(JournalPath(dir.path())), platform::EntryKind::Nothing);
    EXPECT_EQ(test::ReadFileBytes(outside), "not the extract's\r\n");
    // The user is told when the new set could not be put in place.
    EXPECT_EQ(note.empty(), row.newSet) << note;
}

const KilledRow killedRows[] = {
    KilledRow{"NothingMoved", "killed before anything moved", 0, 0, Tamper::None, 0, true, false,
              true},
    KilledRow{"OneAside", "killed after one old file went aside", 1, 0, Tamper::None, 0, true,
              false, true},
    KilledRow{"AllAside", "killed with every old file aside", 3, 0, Tamper::None, 0, true, false,
              true},
    KilledRow{"OneIn", "killed after one new file went in", 3, 1, Tamper::None, 0, true, false,
              true},
    KilledRow{"AllIn", "killed with every new file in", 3, 3, Tamper::None, 0, true, false, true},
    KilledRow{"OlderJournal", "a journal without identities, one new file in", 3, 1, Tamper::None,
              0, false, false, true},
    KilledRow{"OlderJournalTemporariesGone",
              "a journal without identities, the temporaries removed after the old files "
              "went aside",
              3, 0, Tamper::Removed, 3, false, false, false},
    KilledRow{"TemporariesGone", "every temporary removed after the old files went aside", 3, 0,
              Tamper::Removed, 3, true, false, false},
    KilledRow{"AbstractTemporaryGone", "the abstract temporary removed, old files aside", 3, 0,
              Tamper::Removed, 1, true, false, false},
    KilledRow{"AbstractTemporaryGoneBeforeMoves",
              "the abstract temporary removed before anything moved", 0, 0, Tamper::Removed, 1,
              true, false, false},
    KilledRow{"TemporaryGoneAfterOneIn",
              "the abstract temporary removed after the consolidated file went in", 3, 1,
              Tamper::Removed, 1, true, false, false},
#ifndef _WIN32
    KilledRow{"TemporaryIsALink", "a temporary name that is a link to another file", 0, 0,
              Tamper::Link, 1, true, false, false},
    KilledRow{"TemporaryIsAFifo", "a temporary name that is a FIFO", 3, 0, Tamper::Fifo, 1, true,
              false, false},
#endif
    KilledRow{"TemporaryIsAFolder", "a temporary name that is a folder", 3, 0, Tamper::Folder, 1,
              true, false, false},
    KilledRow{"ForeignLockLiveProcess",
              "a journal of a lock file made anew since, its process number in use again", 3, 1,
              Tamper::None, 0, true, true, true}};

INSTANTIATE_TEST_SUITE_P(Kills, KilledReplacement, ::testing::ValuesIn(killedRows), test::ByName);

enum class JournalKind { File, Fifo, Link, Folder };

struct BadJournalRow {
    const char* name;
    const char* what;
    JournalKind kind;
    int line;  // which of the journal lines below is written, for a journal that is a file
};
MAE_TABLE_TEST(BadJournal, BadJournalRow);

TEST_P(BadJournal, MovesNothing) {
    const BadJournalRow& row = GetParam();
    test::TempDir dir;
    const auto path = [&](const std::string& name) { return platform::JoinPath(dir.path(), name); };
    const std::vector<Names> set = Set(GoneRun);
    const std::string head = "Meridane Audit Extract replacement 2\nrun 2147480000 7\nfile ";
    test::WriteFileBytes(path(set[0].final), Old(set[0]));
    test::WriteFileBytes(path(set[2].final), Old(set[2]));
    test::WriteFileBytes(path(set[0].temporary), New(set[0]));
    unsigned long long identity = 0;
    platform::KindOf(path(set[0].temporary), identity);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%llx", identity);
    const std::string tail = std::string(" ") + hex + "\nend\n";
    const std::string whole = head + set[0].temporary + " " + set[0].final + " " + set[0].backup;
    const std::string journals[] = {
        whole + tail,
        whole + tail.substr(0, tail.size() - 4),  // not whole: no end line
        head + set[0].temporary + " ../elsewhere.txt " + set[0].backup + tail,
        head + set[0].temporary + " " + set[1].final + " " + set[0].backup + tail,
        // The old consolidated file "moved aside" to the log's name, then removed as a backup.
        head + set[0].temporary + " " + set[0].final + " " + set[2].final + tail,
        head + set[0].temporary + " " + set[0].final + " ../" + set[0].backup + tail,
        "something else\n",
    };
    const std::string journal = JournalPath(dir.path());
    const std::string good = path("good.journal");
    test::WriteFileBytes(good, journals[0]);
    switch (row.kind) {
        case JournalKind::File:
            test::WriteFileBytes(journal, journals[row.line]);
            break;
#ifndef _WIN32
        case JournalKind::Fifo:
            ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
            break;
        case JournalKind::Link:
            ASSERT_EQ(::symlink(good.c_str(), journal.c_str()), 0);
            break;
#else
        case JournalKind::Fifo:
        case JournalKind::Link:
            GTEST_SKIP() << "no FIFOs or links in the program's folders here";
#endif
        case JournalKind::Folder:
            ASSERT_TRUE(std::filesystem::create_directory(journal));
            break;
    }

    std::string note;
    FinishJournal(dir.path(), TemporaryNames(GoneRun + 1, HeldLock), note);

    EXPECT_EQ(test::ReadFileBytes(path(set[0].final)), Old(set[0]));
    EXPECT_EQ(test::ReadFileBytes(path(set[2].final)), Old(set[2]));
    EXPECT_EQ(test::ReadFileBytes(good), journals[0]);
    if (row.kind != JournalKind::Folder) {
        EXPECT_EQ(platform::KindOf(journal), platform::EntryKind::Nothing);
    }
}

INSTANTIATE_TEST_SUITE_P(
    NotOurs, BadJournal,
    ::testing::Values(
        BadJournalRow{"NotWhole", "a journal without its end line", JournalKind::File, 1},
        BadJournalRow{"FinalNotOurs", "a final name that is not one of ours", JournalKind::File, 2},
        BadJournalRow{"TemporaryForAnother", "a temporary name for another file", JournalKind::File,
                      3},
        BadJournalRow{"BackupIsAFinalName", "a backup name that is another file's own name",
                      JournalKind::File, 4},
        BadJournalRow{"BackupElsewhere", "a backup name in another folder", JournalKind::File, 5},
        BadJournalRow{"Foreign", "a file that is no journal", JournalKind::File, 6},
        BadJournalRow{"Fifo", "a FIFO at the journal's name", JournalKind::Fifo, 0},
        BadJournalRow{"Link", "a link to a whole journal", JournalKind::Link, 0},
        BadJournalRow{"Folder", "a folder at the journal's name", JournalKind::Folder, 0}),
    test::ByName);

}  // namespace
}  // namespace mae
