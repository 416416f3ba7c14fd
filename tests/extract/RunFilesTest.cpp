// The run's files as a whole: a run killed part way (SIGKILL, SIGTERM) leaves the previous files
// as they were, two runs in one folder never mix, a folder whose name is not UTF-8 works, and
// an output name that is a symbolic link is never written through. The runs that are killed or
// held run in a process of their own (mae-test-run) over a generated registry.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/RuntimeError.h"
#include "extract/ExtractRun.h"
#include "extract/RunFiles.h"
#include "support/ChildProcess.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"
#include "support/TestDb.h"

#ifndef MAE_TEST_RUN
#define MAE_TEST_RUN "mae-test-run"
#endif
#ifndef MAE_RENAME_SHIM
#define MAE_RENAME_SHIM "libmae_rename_shim.so"
#endif

namespace mae {
namespace {

namespace fs = std::filesystem;

constexpr const char* Outputs[] = {ConsolidatedFileName, AbstractFileName, LogFileName};

// Every file of a folder, name to bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = test::ReadFileBytes(entry.path().string());
    }
    return files;
}

int Temporaries(const std::string& folder) {
    int n = 0;
    for (const auto& [name, bytes] : Contents(folder)) n += RunFiles::IsTemporaryName(name);
    return n;
}

class RunProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_data.WriteIni("ALL");
        // What one whole run writes.
        test::TempDir reference;
        ASSERT_EQ(RunToEnd({MAE_TEST_RUN, reference.path()}), "outcome 2");
        for (const char* name : Outputs) m_whole[name] = test::ReadFileBytes(reference.file(name));
        ASSERT_FALSE(m_whole[ConsolidatedFileName].empty());
    }
    // A run that nobody holds: its last line.
    static std::string RunToEnd(const std::vector<std::string>& argv) {
        test::ChildProcess run(argv);
        const std::string last = run.ReadUntil("outcome");
        run.Wait();
        return last;
    }
    void ExpectOneWholeRun(const std::string& folder) {
        for (const char* name : Outputs) {
            EXPECT_EQ(test::ReadFileBytes(folder + "/" + name), m_whole[name]) << name;
        }
        EXPECT_EQ(Temporaries(folder), 0);
    }

    test::GeneratedRegistry m_data{{.cases = 60, .seed = 3}};
    test::TempDir m_out;
    std::map<std::string, std::string> m_whole;
};

class KilledRun : public RunProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(KilledRun, LeavesThePreviousFilesAsTheyWere) {
    const int signal = GetParam();
    for (const char* name : Outputs) test::WriteFileBytes(m_out.file(name), "previous run\r\n");
    {
        test::ChildProcess run({MAE_TEST_RUN, m_out.path(), "--hold-at", "5"});
        ASSERT_EQ(run.ReadUntil("held"), "held");
        // The run writes under temporary names: its three files and their replacement's journal.
        EXPECT_EQ(Temporaries(m_out.path()), 4);
        run.Kill(signal);
        const int status = run.Wait();
        if (signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << status;
            EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        }
    }
    for (const char* name : Outputs) {
        EXPECT_EQ(test::ReadFileBytes(m_out.file(name)), "previous run\r\n") << name;
    }
    // A request to end the program leaves no trace; a kill leaves temporary files for the next
    // run to remove.
    EXPECT_EQ(Temporaries(m_out.path()), signal == SIGKILL ? 4 : 0);
    ASSERT_EQ(RunToEnd({MAE_TEST_RUN, m_out.path()}), "outcome 2");
    ExpectOneWholeRun(m_out.path());
}

INSTANTIATE_TEST_SUITE_P(Signals, KilledRun, ::testing::Values(SIGKILL, SIGTERM, SIGHUP, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(RunProcessTest, ASecondRunInTheFolderIsRefusedAndWritesNothing) {
    test::ChildProcess first({MAE_TEST_RUN, m_out.path(), "--hold-at", "5"});
    ASSERT_EQ(first.ReadUntil("held"), "held");
    const auto during = Contents(m_out.path());

    test::ChildProcess second({MAE_TEST_RUN, m_out.path()});
    EXPECT_EQ(second.ReadUntil("box "), "box Another extract is running in this folder:|" +
                                            m_out.path() +
                                            "|Nothing was written. Please try again when it has "
                                            "finished.");
    EXPECT_EQ(second.ReadUntil("outcome"), "outcome 4");
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(Contents(m_out.path()), during);

    first.WriteLine("");
    EXPECT_EQ(first.ReadUntil("outcome"), "outcome 2");
    ExpectOneWholeRun(m_out.path());
}

// One rename of the replacement goes wrong: it fails (a file held open, a folder in the way), or
// the process is killed there (as by a power cut). A failure keeps the previous set whole and
// the report names the file; after a kill, the next start (here one whose run is answered No)
// finds one run's whole set: the new one, or the previous one when the new one cannot be put in
// place then either.
struct RenameFault {
    const char* name;
    const char* shim;      // for the run (see tests/support/RenameShim.cpp)
    const char* nextShim;  // for the next start, "" for none
    bool newSetAfter;      // which set the folder holds in the end
};

class ReplacementFault : public RunProcessTest, public ::testing::WithParamInterface<RenameFault> {
  protected:
    static std::string Start(const std::vector<std::string>& argv, const std::string& shim) {
        std::optional<test::ScopedEnv> preload, setting, asan;
        if (!shim.empty()) {
            preload.emplace("LD_PRELOAD", MAE_RENAME_SHIM);
            setting.emplace("MAE_RENAME_SHIM", shim);
            // A preloaded library comes before the sanitizer's runtime: it may, here.
            const char* options = std::getenv("ASAN_OPTIONS");
            asan.emplace("ASAN_OPTIONS",
                         std::string(options ? options : "") + ":verify_asan_link_order=0");
        }
        test::ChildProcess run(argv);
        std::string last;
        do {
            last = run.ReadUntil("");
        } while (!last.empty() && !last.starts_with("outcome") && !last.starts_with("error"));
        const int status = run.Wait();
        if (WIFSIGNALED(status)) return "killed";
        return last;
    }
};

TEST_P(ReplacementFault, LeavesOneRunsWholeSet) {
    const RenameFault& fault = GetParam();
    for (const char* name : Outputs) test::WriteFileBytes(m_out.file(name), "previous run\r\n");
    const std::string ended = Start({MAE_TEST_RUN, m_out.path()}, fault.shim);
    if (std::string(fault.shim).starts_with("kill")) {
        EXPECT_EQ(ended, "killed");
        // The next start finishes the replacement before anything else: a run answered No.
        EXPECT_EQ(Start({MAE_TEST_RUN, m_out.path(), "--answer-no"}, fault.nextShim), "outcome 1");
    } else {
        const std::string file =
            std::string(fault.shim).substr(std::string(fault.shim).find(':') + 1);
        EXPECT_EQ(ended, "error 75 Path/File access error: cannot replace " + m_out.file(file) +
                             " (Device or resource busy). None of the run's files was put in "
                             "place; the previous ones are kept as they were. Close any program "
                             "that has the file open, then run the extract again.");
    }
    for (const char* name : Outputs) {
        EXPECT_EQ(test::ReadFileBytes(m_out.file(name)),
                  fault.newSetAfter ? m_whole[name] : "previous run\r\n")
            << name;
    }
    EXPECT_EQ(Temporaries(m_out.path()), 0);
    EXPECT_FALSE(fs::exists(m_out.file(".AuditExtract.journal")));
}

INSTANTIATE_TEST_SUITE_P(
    Renames, ReplacementFault,
    ::testing::Values(
        // The old abstract file cannot be moved aside (held open): nothing has changed yet.
        RenameFault{"HeldOldFile", "fail-from:AbstractAuditExtract.txt", "", false},
        // The new abstract file cannot go in after the new consolidated file has.
        RenameFault{"NewFileRefused", "fail-to:AbstractAuditExtract.txt", "", false},
        // Killed with the old set aside, before any new file is in.
        RenameFault{"KilledWithOldSetAside", "kill-to:ConsolidatedAuditExtract.txt", "", true},
        // Killed with the consolidated file new and the others old or aside.
        RenameFault{"KilledBetweenNewFiles", "kill-to:AbstractAuditExtract.txt", "", true},
        // The same, and at the next start the abstract file cannot be replaced: undone.
        RenameFault{"KilledThenUndone", "kill-to:AbstractAuditExtract.txt",
                    "fail-to:AbstractAuditExtract.txt", false}),
    [](const auto& info) { return std::string(info.param.name); });

// The program's folder is taken as the system names it, bytes and all: the files go there, and
// the completion message shows the byte it cannot decode as U+FFFD.
TEST_F(RunProcessTest, AProgramFolderNamedWithANonUtf8ByteWorks) {
    const std::string folder = m_out.file("bin\xE9");
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string program = folder + "/mae-test-run";
    fs::copy_file(MAE_TEST_RUN, program);

    test::ChildProcess run({program, "--exe-folder"});
    const std::string completion = run.ReadUntil("box Extract completed!");
    EXPECT_NE(completion.find("bin\xEF\xBF\xBD/ConsolidatedAuditExtract.txt"), std::string::npos)
        << completion;
    EXPECT_EQ(run.ReadUntil("outcome"), "outcome 2");
    ExpectOneWholeRun(folder);
}

// A folder shared by two users: the lock file the first one made, read-only to the second, still
// keeps the second out while the first runs and lets it in afterwards.
TEST(RunFiles, AnotherUsersLockFileStillLocks) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root";
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    auto holder = std::make_unique<RunFiles>(dir.path());
    ASSERT_TRUE(holder->Lock());
    ASSERT_EQ(::chmod(dir.file(LockFileName).c_str(), 0644), 0);
    // Exit status 0: refused as busy; 1: locked.
    const auto secondUser = [&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
        std::_Exit(RunFiles(dir.path()).Lock() ? 1 : 0);
    };
    EXPECT_EXIT(secondUser(), ::testing::ExitedWithCode(0), "");
    holder.reset();
    EXPECT_EXIT(secondUser(), ::testing::ExitedWithCode(1), "");
}

// An output name that is a symbolic link ends the run with error 75 before anything goes through
// it; the link and the file it points to stay as they were.
TEST(RunFiles, AnOutputNameThatIsASymbolicLinkIsRefused) {
    for (const char* name : {SelectFileName, ConsolidatedFileName, AbstractFileName, LogFileName}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        test::MiniRegistry registry(dir.file("registry.db"));
        registry.AddCase(1, "20110101", "C500", "8500", 3);
        registry.AddAbstract(10, 1, "1", "'00'", "'caf\xC3\xA9'");
        const std::string out = dir.file("out");
        fs::create_directory(out);
        test::WriteFileBytes(dir.file("elsewhere"), "not the extract's\r\n");
        fs::create_symlink(dir.file("elsewhere"), out + "/" + name);

        test::MiniRun run(registry, out);
        test::RecordingUi ui;
        try {
            RunExtract(run.context, ui);
            ADD_FAILURE() << "the run wrote through the link";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::PathAccess);
            EXPECT_EQ(e.description().rfind("Path/File access error: cannot create " + out + "/" +
                                                name + " (it is a symbolic link",
                                            0),
                      0u)
                << e.description();
        }
        EXPECT_EQ(test::ReadFileBytes(dir.file("elsewhere")), "not the extract's\r\n");
        EXPECT_TRUE(fs::is_symlink(out + "/" + name));
        EXPECT_EQ(Temporaries(out), 0);
    }
}

// The lock file must be a regular file: anything else (a FIFO that would hold the run up for
// ever, a folder) is error 75 naming it, at once.
TEST(RunFiles, ALockFileThatIsNotARegularFileIsRefused) {
    for (const char* kind : {"fifo", "folder"}) {
        SCOPED_TRACE(kind);
        test::TempDir dir;
        const std::string lock = dir.file(LockFileName);
        if (std::string(kind) == "fifo") {
            ASSERT_EQ(::mkfifo(lock.c_str(), 0444), 0);
        } else {
            fs::create_directory(lock);
        }
        std::string description;
        EXPECT_EQ(test::ErrorNumber([&] { RunFiles(dir.path()).Lock(); }, &description),
                  err::PathAccess);
        EXPECT_EQ(description.rfind("Path/File access error: cannot create " + lock + " (", 0), 0u)
            << description;
    }
}

// A run removes the temporary files of runs that are gone, and only those: a file whose run
// still goes (its lock file removed under it, so this run took a new one) is kept.
TEST(RunFiles, RemovesOnlyTheTemporaryFilesOfRunsThatAreGone) {
    test::TempDir dir;
    test::WriteFileBytes(dir.file(LockFileName), "");
    struct stat lock;
    ASSERT_EQ(::stat(dir.file(LockFileName).c_str(), &lock), 0);
    char ours[32];
    std::snprintf(ours, sizeof ours, "%llx", static_cast<unsigned long long>(lock.st_ino));
    pid_t gone = ::fork();
    if (gone == 0) std::_Exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string alive = std::to_string(::getppid());
    const struct {
        std::string name;
        bool removed;
    } files[] = {
        {".AbstractAuditExtract.txt." + alive + "-" + ours + "-0.tmp", true},      // this lock's
        {".AbstractAuditExtract.txt." + std::to_string(gone) + "-7-1.tmp", true},  // gone
        {".extract.log." + alive + "-7-2.tmp", false},  // a live run under another lock file
        {".select.sql.12345678901234-0.tmp", true},     // an older edition's
        {".elsewhere.txt." + std::to_string(gone) + "-7-1.tmp", false},  // not one of ours
    };
    for (const auto& file : files) test::WriteFileBytes(dir.file(file.name), "x");
    RunFiles run(dir.path());
    ASSERT_TRUE(run.Lock());
    for (const auto& file : files)
        EXPECT_EQ(!fs::exists(dir.file(file.name)), file.removed) << file.name;
}

// With the lock file removed under a run, a second run takes a new one: the two never share the
// journal's name nor each other's files. The first puts nothing in place (error 75 naming the
// lock file), the second its whole set.
TEST(RunFiles, ARunWhoseLockFileWasReplacedPutsNothingInPlace) {
    test::TempDir dir;
    test::WriteFileBytes(dir.file(AbstractFileName), "previous\r\n");
    RunFiles first(dir.path());
    ASSERT_TRUE(first.Lock());
    for (const char* name : Outputs) first.Create(name).Write("first\r\n");
    ASSERT_EQ(::unlink(dir.file(LockFileName).c_str()), 0);
    RunFiles second(dir.path());
    ASSERT_TRUE(second.Lock());
    for (const char* name : Outputs) second.Create(name).Write("second\r\n");

    std::string description;
    EXPECT_EQ(test::ErrorNumber([&] { first.PutInPlace(); }, &description), err::PathAccess);
    EXPECT_NE(description.find(dir.file(LockFileName)), std::string::npos) << description;
    EXPECT_EQ(test::ReadFileBytes(dir.file(AbstractFileName)), "previous\r\n");
    second.PutInPlace();

    for (const char* name : Outputs) EXPECT_EQ(test::ReadFileBytes(dir.file(name)), "second\r\n");
    EXPECT_EQ(Temporaries(dir.path()), 0);
}

}  // namespace
}  // namespace mae
