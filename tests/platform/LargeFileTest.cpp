// An output file past 2 GiB and past 4 GiB: on 32-bit systems file offsets must be 64 bits wide
// (off_t with _FILE_OFFSET_BITS=64 on Linux, LARGE_INTEGER on Windows), or the cut lands at the
// offset's low 32 bits and the writes past 2 GiB fail. The files are sparse: nothing is written
// before the cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"
#include "support/TestDb.h"

namespace mae::platform {
namespace {

TEST(LargeFile, CutAndWritePastTwoAndFourGiB) {
    test::TempDir dir;
    const std::string path = JoinPath(dir.path(), "large.txt");
    for (const long long cut : {(1LL << 31) + 7, (1LL << 32) + 7}) {
        SCOPED_TRACE(cut);
        NativeFile file;
        ASSERT_TRUE(OpenForOutput(path, file).ok());
        const IoStatus truncated = file.Truncate(cut);
        if (truncated.error == IoError::DiskFull) GTEST_SKIP() << truncated.reason;
        ASSERT_TRUE(truncated.ok()) << truncated.reason;
        size_t written = 0;
        const std::string line = "last line\r\n";
        const IoStatus wrote = file.WriteAll(line.data(), line.size(), written);
        ASSERT_TRUE(wrote.ok()) << wrote.reason;
        EXPECT_EQ(written, line.size());
        ASSERT_TRUE(file.Close().ok());
        std::error_code ec;
        EXPECT_EQ(std::filesystem::file_size(path, ec), static_cast<uintmax_t>(cut) + line.size());
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(cut));
        std::string back(line.size(), '\0');
        in.read(back.data(), static_cast<std::streamsize>(back.size()));
        EXPECT_EQ(back, line);
    }
}

}  // namespace
}  // namespace mae::platform
