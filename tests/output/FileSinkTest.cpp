#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "common/RuntimeError.h"
#include "output/ByteSink.h"
#include "output/RecordFormat.h"
#include "support/TableTest.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::ReadFileBytes;
using test::TempDir;

// A record line of LineBytes bytes, every byte of its body the letter for n. With a CR LF in
// its middle it stands for a Remarks piece that was not scrubbed.
std::string RecordLine(int n, bool crLfInside = false) {
    std::string line(RecordLength, static_cast<char>('a' + n % 26));
    if (crLfInside) line.replace(10000, 2, "\r\n");
    return line + "\r\n";
}

long long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Runs body in a forked child (its signal and limit changes stay there); its exit code.
int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

TEST(FileSink, WritesLinesInOrderAndEmptiesAnOldFile) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    test::WriteFileBytes(path, "old content that must go");
    {
        FileSink sink(path);
        ASSERT_TRUE(sink.IsOpen());
        sink.Write("first\r\n");
        sink.Write("second\r\n");
    }  // the destructor flushes
    EXPECT_EQ(ReadFileBytes(path), "first\r\nsecond\r\n");
}

TEST(FileSink, CloseWritesEverythingAndReopeningStartsAfresh) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    FileSink sink(path);
    std::string expected;
    for (int i = 0; i < 100; ++i) {  // about 2 MiB: passes through the buffer more than once
        sink.Write(RecordLine(i));
        expected += RecordLine(i);
    }
    sink.Close();
    EXPECT_FALSE(sink.IsOpen());
    EXPECT_EQ(ReadFileBytes(path), expected);

    sink.Open(path);
    sink.Write("x\r\n");
    sink.Flush();
    EXPECT_EQ(ReadFileBytes(path), "x\r\n");
}

TEST(FileSink, AWriteBiggerThanTheBufferKeepsItsPlaceInTheFile) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    const std::string big(3 << 20, 'b');
    {
        FileSink sink(path);
        sink.Write("before\r\n");
        sink.Write(big);
        sink.Write("after\r\n");
    }
    EXPECT_EQ(ReadFileBytes(path), "before\r\n" + big + "after\r\n");
}

TEST(FileSink, AFolderInTheWayIsPathFileAccessErrorNamingThePath) {
    TempDir dir;
    const std::string path = dir.file("taken");
    std::filesystem::create_directory(path);
    FileSink sink;
    try {
        sink.Open(path);
        FAIL() << "opened a folder for output";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::PathAccess);
        EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
    }
    EXPECT_FALSE(sink.IsOpen());
    EXPECT_THROW(FileSink(dir.file("no-such-folder/out.txt")), RuntimeError);
}

TEST(FileSink, WritingToAClosedSinkIsAnError) {
    FileSink sink;
    EXPECT_THROW(sink.Write("x\r\n"), RuntimeError);
}

TEST(FileSink, AFullDeviceIsDiskFullNamingTheFile) {
    if (FileSize("/dev/full") < 0) GTEST_SKIP() << "no /dev/full here";
    FileSink sink("/dev/full");
    sink.Write(RecordLine(0));
    try {
        sink.Flush();
        FAIL() << "a full device took the line";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::DiskFull);
        EXPECT_NE(e.description().find("/dev/full"), std::string::npos) << e.description();
    }
}

TEST(FileSink, AReaderThatWentAwayIsDeviceIoError) {
    TempDir dir;
    const std::string path = dir.file("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int code = InChild([&] {
        std::signal(SIGPIPE, SIG_IGN);
        const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (reader < 0) return 10;
        FileSink sink(path);
        close(reader);
        sink.Write("lost\r\n");
        try {
            sink.Close();
        } catch (const RuntimeError& e) {
            if (e.number() != err::DeviceIo) return 11;
            if (e.description().find(path) == std::string::npos) return 12;
            return sink.IsOpen() ? 13 : 0;
        }
        return 14;
    });
    EXPECT_EQ(code, 0);
}

// Lowers the file-size limit so the disk refuses a write part-way through a line; the file
// must then end after the last line that arrived whole, and nothing more is written.
struct LimitCase {
    long long limit;      // bytes the file may grow to
    int bufferedLines;    // whole lines written through the buffer
    bool bigWrite;        // then one write of 60 lines, more than the buffer holds
    long long keptLines;  // lines on disk after the failure
    const char* what;
};

MAE_TABLE_TEST(FileSinkLimit, LimitCase);

TEST_P(FileSinkLimit, FailedWriteLeavesOnlyWholeLines) {
    const LimitCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("out.txt");
    const int code = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(c.limit), RLIM_INFINITY};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        FileSink sink(path);
        try {
            for (int i = 0; i < c.bufferedLines; ++i) sink.Write(RecordLine(i, i % 2 == 1));
            if (c.bigWrite) {
                std::string chunk;
                for (int i = 0; i < 60; ++i) chunk += RecordLine(i, true);
                sink.Write(chunk);
            }
            sink.Close();
        } catch (const RuntimeError& e) {
            if (e.number() != err::DiskFull) return 11;
            if (e.description().find(path) == std::string::npos) return 12;
            return 0;
        }
        return 13;  // the limit was never reached
    });
    ASSERT_EQ(code, 0) << c.what;
    EXPECT_EQ(FileSize(path), c.keptLines * LineBytes) << c.what;
    const std::string data = ReadFileBytes(path);
    for (long long i = 0; i < c.keptLines && i < c.bufferedLines; ++i) {
        EXPECT_EQ(data.substr(i * LineBytes, LineBytes), RecordLine(int(i), i % 2 == 1))
            << c.what << ", line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, FileSinkLimit,
    ::testing::Values(
        LimitCase{5LL * LineBytes + 10000, 8, false, 5, "cut inside a line's CR LF-free part"},
        LimitCase{3LL * LineBytes + 10002, 8, false, 3, "cut just after a CR LF inside a line"},
        LimitCase{100, 8, false, 0, "not even one line fits"},
        LimitCase{50LL * LineBytes + 7, 70, false, 50, "fails on a flush of a full buffer"},
        LimitCase{20LL * LineBytes + 5, 2, true, 2, "a big write is kept whole or not at all"}));

}  // namespace
}  // namespace mae
