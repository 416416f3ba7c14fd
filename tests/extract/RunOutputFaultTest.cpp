// The whole run (start-up from Meridane.ini, then RunExtract) when the output folder fails: full
// (a 1 MiB tmpfs, or a file size limit), read only, or with a folder where an output file goes.
// Each ends in a clear run-time error (61 or 75) and the files hold whole records only, each one
// a record the run writes on a healthy folder. (tests/output/FileSinkTest.cpp covers the sink.)

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

constexpr size_t LineBytes = 22826;  // 22824 characters and CR LF

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A tmpfs mounted on a folder for the test's life (root only; mounted() false otherwise).
class TmpfsMount {
  public:
    TmpfsMount(const std::string& path, const char* options, unsigned long flags = 0)
        : m_path(path) {
        m_mounted = ::mount("tmpfs", path.c_str(), "tmpfs", flags, options) == 0;
        if (!m_mounted) m_error = std::strerror(errno);
    }
    ~TmpfsMount() {
        if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    const std::string& error() const { return m_error; }

  private:
    std::string m_path;
    bool m_mounted = false;
    std::string m_error;
};

class RunOutputFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // 100 cases: some 60 consolidated and 150 abstract records, over 1 MiB in each file.
        m_data.WriteIni();

        test::TempDir healthy;
        ASSERT_EQ(Run(healthy.path()), 0);
        m_consolidated = Sorted(test::RecordLines(healthy.file(ConsolidatedFileName)));
        m_abstracts = Sorted(test::RecordLines(healthy.file(AbstractFileName)));
        ASSERT_GT(m_consolidated.size() * LineBytes, size_t{1} << 20);
    }
    // Start-up and a confirmed run into folder; the run-time error's number (0: none).
    int Run(const std::string& folder, std::string* description = nullptr) {
        return test::ErrorNumber(
            [&] {
                AppState state;
                Form_Load(state);
                state.ApplicationFolder = folder;
                ExtractContext context = state.MakeExtractContext();
                test::RecordingUi ui;
                RunExtract(context, ui);
            },
            description);
    }

    // Both record files hold only whole lines, each one a line of the healthy run; the log
    // ends with its last line's CR LF.
    void ExpectWholeRecords(const std::string& folder) const {
        for (const char* name : {ConsolidatedFileName, AbstractFileName}) {
            SCOPED_TRACE(name);
            const std::string path = folder + "/" + name;
            const std::string bytes = test::ReadFileBytes(path);
            EXPECT_EQ(bytes.size() % LineBytes, 0u) << bytes.size();
            const auto& all =
                std::string(name) == ConsolidatedFileName ? m_consolidated : m_abstracts;
            for (const std::string& line : test::RecordLines(path)) {
                EXPECT_TRUE(std::binary_search(all.begin(), all.end(), line));
            }
        }
        const std::string log = test::ReadFileBytes(folder + "/" + LogFileName);
        if (!log.empty()) {
            EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
        }
    }

    // Both files end at the same case: the abstract file holds every abstract of each case of
    // the consolidated file, in its order, and nothing of a later one. The report says what
    // they hold.
    void ExpectSameCases(const std::string& folder, const std::string& report) const {
        const auto medref = [](const std::string& line) { return line.substr(20878, 8); };
        std::vector<std::string> cases;
        for (const std::string& line : test::RecordLines(folder + "/" + ConsolidatedFileName))
            cases.push_back(medref(line));
        const auto written = test::RecordLines(folder + "/" + AbstractFileName);
        const auto count = [&](const std::vector<std::string>& lines, const std::string& id) {
            return std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& line) { return medref(line) == id; });
        };
        std::vector<std::string> expected;  // each abstract's case, as a whole case writes them
        for (const std::string& id : cases) {
            EXPECT_EQ(count(written, id), count(m_abstracts, id)) << id;
            expected.insert(expected.end(), static_cast<size_t>(count(m_abstracts, id)), id);
        }
        std::vector<std::string> abstractCases;
        for (const std::string& line : written) abstractCases.push_back(medref(line));
        EXPECT_EQ(abstractCases, expected);
        const size_t abstracts = written.size();
        EXPECT_NE(report.find("The output files were cut back to the last case that all of them "
                              "hold whole: " +
                              std::to_string(cases.size()) + " consolidated and " +
                              std::to_string(abstracts) + " abstract records."),
                  std::string::npos)
            << report;
    }

    test::GeneratedRegistry m_data{{.cases = 100, .seed = 5}};
    std::vector<std::string> m_consolidated, m_abstracts;
};

TEST_F(RunOutputFaultTest, AFullOutputFolderIsDiskFullAndLeavesWholeRecords) {
    test::TempDir out;
    TmpfsMount tmpfs(out.path(), "size=1m,mode=0777");
    if (!tmpfs.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << tmpfs.error();
    }
    std::string description;
    EXPECT_EQ(Run(out.path(), &description), err::DiskFull);
    EXPECT_EQ(description.rfind("Disk full: cannot write to " + out.path() + "/", 0), 0u)
        << description;
    EXPECT_NE(description.find("No space left on device"), std::string::npos) << description;
    ExpectWholeRecords(out.path());
    ExpectSameCases(out.path(), description);
    // What fitted stays, up to the last case both files hold whole: most of a megabyte.
    EXPECT_GT(test::ReadFileBytes(out.file(ConsolidatedFileName)).size() +
                  test::ReadFileBytes(out.file(AbstractFileName)).size(),
              20 * LineBytes);
}

TEST_F(RunOutputFaultTest, AFileSizeLimitIsDiskFullAndLeavesWholeRecords) {
    test::TempDir out;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The limit lets the first megabyte of whole records through and cuts the next write.
        ::close(fds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1200000, 1200000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string description;
        const int number = Run(out.path(), &description);
        const std::string report = std::to_string(number) + "\n" + description;
        ssize_t written = ::write(fds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run's process died";
    const size_t newline = report.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(std::atoi(report.substr(0, newline).c_str()), err::DiskFull) << report;
    EXPECT_NE(report.find("Disk full: cannot write to " + out.path() + "/"), std::string::npos)
        << report;
    EXPECT_NE(report.find("File too large"), std::string::npos) << report;
    ExpectWholeRecords(out.path());
    ExpectSameCases(out.path(), report);
    EXPECT_GT(test::ReadFileBytes(out.file(AbstractFileName)).size(), 0u);
}

TEST_F(RunOutputFaultTest, AReadOnlyOutputFolderIsPathFileAccessError) {
    test::TempDir out;
    std::optional<TmpfsMount> readOnly;
    if (::geteuid() == 0) {
        // Permissions do not stop root: a read-only file system does.
        readOnly.emplace(out.path(), "size=1m", MS_RDONLY);
        if (!readOnly->mounted()) {
            GTEST_SKIP() << "cannot mount a read-only tmpfs: " << readOnly->error();
        }
    } else {
        ASSERT_EQ(::chmod(out.path().c_str(), 0555), 0);
    }
    std::string description;
    EXPECT_EQ(Run(out.path(), &description), err::PathAccess);
    // The folder's lock file is the first file the run makes.
    EXPECT_EQ(description.rfind(
                  "Path/File access error: cannot create " + out.path() + "/" + LockFileName, 0),
              0u)
        << description;
    ::chmod(out.path().c_str(), 0755);
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST_F(RunOutputFaultTest, AFolderInPlaceOfAnOutputFileIsPathFileAccessError) {
    test::TempDir out;
    std::filesystem::create_directory(out.file(ConsolidatedFileName));
    std::string description;
    EXPECT_EQ(Run(out.path(), &description), err::PathAccess);
    EXPECT_EQ(description.rfind(
                  "Path/File access error: cannot create " + out.file(ConsolidatedFileName), 0),
              0u)
        << description;
    EXPECT_TRUE(test::FileExists(out.file(SelectFileName)));
    EXPECT_FALSE(test::FileExists(out.file(AbstractFileName)));
    EXPECT_TRUE(std::filesystem::is_directory(out.file(ConsolidatedFileName)));
}

}  // namespace
}  // namespace mae
