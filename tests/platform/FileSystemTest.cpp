#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/TestDb.h"

namespace mae::platform {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Write(NativeFile& file, std::string_view bytes) {
    size_t written = 0;
    const IoStatus status = file.WriteAll(bytes.data(), bytes.size(), written);
    return status.ok() && written == bytes.size() ? "" : status.reason;
}

// Output files: created or emptied, cut back, made new without ever following a link.
TEST(FileSystem, OutputFilesAreEmptiedCutAndCreatedExclusively) {
    TempDir dir;
    const std::string path = JoinPath(dir.path(), "out.txt");
    WriteFileBytes(path, "an old and longer content");

    NativeFile file;
    ASSERT_TRUE(OpenForOutput(path, file).ok());
    EXPECT_EQ(Write(file, "line one\r\nline two\r\n"), "");
    ASSERT_TRUE(file.Truncate(10).ok());
    EXPECT_EQ(Write(file, "two\r\n"), "");  // goes on where the file was cut
    EXPECT_TRUE(file.Sync().ok());
    EXPECT_TRUE(file.Close().ok());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFileBytes(path), "line one\r\ntwo\r\n");

    NativeFile again;
    EXPECT_EQ(CreateNewFile(path, again).error, IoError::AlreadyExists);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(ReadFileBytes(path), "line one\r\ntwo\r\n");

    const std::string fresh = JoinPath(dir.path(), "fresh.tmp");
    ASSERT_TRUE(CreateNewFile(fresh, again).ok());
    NativeFile moved = std::move(again);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(Write(moved, "new\r\n"), "");
    moved = NativeFile();  // closes
    EXPECT_EQ(ReadFileBytes(fresh), "new\r\n");

    std::error_code ec;
    const std::string link = JoinPath(dir.path(), "link.txt");
    std::filesystem::create_symlink(path, link, ec);
    if (!ec) {
        EXPECT_EQ(CreateNewFile(link, again).error, IoError::AlreadyExists);
        EXPECT_EQ(ReadFileBytes(path), "line one\r\ntwo\r\n");
    }

    EXPECT_EQ(OpenForOutput(JoinPath(JoinPath(dir.path(), "missing"), "x"), file).error,
              IoError::NotFound);
    EXPECT_FALSE(OpenForOutput(dir.path(), file).ok());  // a folder where a file is wanted
}

TEST(FileSystem, ReplaceRemoveAndListWorkOnNamesInAFolder) {
    TempDir dir;
    const std::string target = JoinPath(dir.path(), "ConsolidatedAuditExtract.txt");
    const std::string temporary = JoinPath(dir.path(), "ConsolidatedAuditExtract.txt.tmp");
    WriteFileBytes(target, "previous run");
    WriteFileBytes(temporary, "this run");

    ASSERT_TRUE(MoveIntoPlace(temporary, target).ok());
    EXPECT_EQ(ReadFileBytes(target), "this run");
    EXPECT_FALSE(test::FileExists(temporary));
    EXPECT_FALSE(MoveIntoPlace(temporary, target).ok());

    WriteFileBytes(JoinPath(dir.path(), "caf\xc3\xa9.log"), "accented name");
    std::vector<std::string> names;
    ASSERT_TRUE(ListFolder(dir.path(), names).ok());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ConsolidatedAuditExtract.txt", "caf\xc3\xa9.log"}));

    ASSERT_TRUE(RemoveFile(target).ok());
    EXPECT_EQ(RemoveFile(target).error, IoError::NotFound);
    EXPECT_EQ(ListFolder(JoinPath(dir.path(), "missing"), names).error, IoError::NotFound);
}

TEST(FileSystem, ALockFileIsHeldByOneHolderAtATime) {
    TempDir dir;
    const std::string path = JoinPath(dir.path(), "extract.lock");
    FileLock first;
    ASSERT_TRUE(TryLockFile(path, first).ok());
    EXPECT_TRUE(first.IsHeld());

    FileLock second;
    EXPECT_EQ(TryLockFile(path, second).error, IoError::Busy);
    EXPECT_FALSE(second.IsHeld());

    FileLock moved = std::move(first);
    EXPECT_EQ(TryLockFile(path, second).error, IoError::Busy);
    moved.Release();
    EXPECT_TRUE(TryLockFile(path, second).ok());
    EXPECT_TRUE(test::FileExists(path));
}

TEST(FileSystem, TheExecutablesFolderHoldsTheTestProgram) {
    std::string folder;
    ASSERT_TRUE(ExecutableFolder(folder).ok());
    ASSERT_FALSE(folder.empty());
    std::vector<std::string> names;
    ASSERT_TRUE(ListFolder(folder, names).ok()) << folder;
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string& name) {
        return name.rfind("core_tests", 0) == 0;
    })) << folder;
    EXPECT_EQ(JoinPath(folder, "x").substr(folder.size()), std::string(1, PathSeparator) + "x");
}

}  // namespace
}  // namespace mae::platform
