#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/startup/Startup.h"
#include "extract/ExtractRun.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"

#ifndef MAE_OUTPUT_REFERENCE_DIR
#define MAE_OUTPUT_REFERENCE_DIR "output-reference"
#endif

namespace mae {
namespace {

namespace fs = std::filesystem;

uint64_t Fnv1a(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Where two outputs first differ, as a line (from 1, lines ended by CR LF) and a column (from 1)
// with a few bytes of each from there.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    if (at == expected.size() && at == actual.size()) return "no difference";
    size_t line = 1, lineStart = 0;
    for (size_t i = expected.find("\r\n"); i != std::string::npos && i + 2 <= at;
         i = expected.find("\r\n", i + 2)) {
        ++line;
        lineStart = i + 2;
    }
    // Built by appending only: GCC 12's -Wrestrict misfires on "text" + std::string in Release.
    std::ostringstream out;
    const auto excerpt = [&out, at](const std::string& s) {
        if (at < s.size()) {
            out << '\'' << s.substr(at, 24) << '\'';
        } else {
            out << "the end of the file";
        }
    };
    out << "first difference at line " << line << ", column " << at - lineStart + 1
        << ": expected ";
    excerpt(expected);
    out << ", got ";
    excerpt(actual);
    return out.str();
}

struct ChecksumCase {
    const char* scanText;
    bool rerelease;
    uint64_t consolidated, abstracts, log;
};

class OutputChecksum : public ::testing::TestWithParam<ChecksumCase> {};

// The bytes a fixed synthetic registry gives must not change when the code around them changes.
// A passing run keeps its files in the build folder (MAE_OUTPUT_REFERENCE_DIR); a failing run
// names the first line and column where it departs from them.
TEST_P(OutputChecksum, FixedRegistryGivesTheSameBytes) {
    const auto& c = GetParam();
    const test::GeneratedRegistry dir({.cases = 200, .seed = 7, .fullText = true});
    dir.WriteIni(c.scanText);
    AppState state;
    state.ApplicationFolder = dir.path();
    Form_Load(state);
    test::RecordingUi ui;
    ui.rerelease = c.rerelease;
    ASSERT_EQ(RunExtract(state.MakeExtractContext(), ui), RunOutcome::Completed);

    const fs::path reference = fs::path(MAE_OUTPUT_REFERENCE_DIR) /
                               (std::string(c.scanText) + (c.rerelease ? "-rerelease" : ""));
    const struct {
        const char* name;
        uint64_t expected;
    } files[] = {{ConsolidatedFileName, c.consolidated},
                 {AbstractFileName, c.abstracts},
                 {LogFileName, c.log}};
    bool allMatch = true;
    for (const auto& file : files) {
        const std::string bytes = test::ReadFileBytes(dir.file(file.name));
        const uint64_t sum = Fnv1a(bytes);
        if (sum == file.expected) continue;
        allMatch = false;
        const fs::path earlier = reference / file.name;
        std::ostringstream message;
        message << file.name << ": checksum 0x" << std::hex << sum << ", expected 0x"
                << file.expected << std::dec << "; ";
        if (fs::exists(earlier)) {
            message << FirstDifference(test::ReadFileBytes(earlier.string()), bytes)
                    << " (against the last passing run's " << earlier.string() << ")";
        } else {
            message << "no passing run's file to compare with in " << reference.string();
        }
        ADD_FAILURE() << message.str();
    }
    if (allMatch) {
        std::error_code ec;
        fs::create_directories(reference, ec);
        for (const auto& file : files)
            fs::copy_file(dir.file(file.name), reference / file.name,
                          fs::copy_options::overwrite_existing, ec);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Seed7, OutputChecksum,
    ::testing::Values(ChecksumCase{"TEXT", true, 0x9735d12510278ebbull, 0x998d31ab29eb0fedull,
                                   0x9bac28df44255cd9ull},
                      ChecksumCase{"ALL", false, 0xff08aa7756fe51f3ull, 0xd5f8961900b45f85ull,
                                   0x0543f12bbbbe4ac9ull},
                      ChecksumCase{"none", false, 0xff08aa7756fe51f3ull, 0x2e1d66f2e23cd510ull,
                                   0xcbf29ce484222325ull}),
    [](const ::testing::TestParamInfo<ChecksumCase>& info) {
        return std::string(info.param.scanText) + (info.param.rerelease ? "_rerelease" : "");
    });

TEST(FirstDifference, NamesLineAndColumn) {
    EXPECT_EQ(FirstDifference("ab\r\ncdef\r\n", "ab\r\ncdXf\r\n"),
              "first difference at line 2, column 3: expected 'ef\r\n', got 'Xf\r\n'");
    EXPECT_EQ(FirstDifference("ab\r\n", "ab\r\nc"),
              "first difference at line 2, column 1: expected the end of the file, got 'c'");
}

}  // namespace
}  // namespace mae
