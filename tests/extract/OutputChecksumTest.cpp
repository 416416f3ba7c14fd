#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/startup/Startup.h"
#include "extract/ExtractRun.h"
#include "generator/RegistryGenerator.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

uint64_t Fnv1a(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

struct ChecksumCase {
    const char* scanText;
    bool rerelease;
    uint64_t consolidated, abstracts, log;
};

class OutputChecksum : public ::testing::TestWithParam<ChecksumCase> {};

// The bytes a fixed synthetic registry gives must not change when the code around the queries
// is made faster: the checksums were taken before that work.
TEST_P(OutputChecksum, FixedRegistryGivesTheSameBytes) {
    const auto& c = GetParam();
    test::TempDir dir;
    gen::RegistryOptions options;
    options.cases = 200;
    options.seed = 7;
    options.fullText = true;
    gen::WriteRegistryDatabase(dir.file("registry.db"), options);
    gen::WriteControlDatabase(dir.file("control.db"));
    gen::WriteIni(dir.path(), dir.file("control.db"), dir.file("registry.db"), c.scanText);
    AppState state;
    state.ApplicationFolder = dir.path();
    {
        test::ScopedEnv windir("WINDIR", dir.path());
        Form_Load(state);
    }
    test::RecordingUi ui;
    ui.rerelease = c.rerelease;
    ASSERT_EQ(RunExtract(state.MakeExtractContext(), ui), RunOutcome::Completed);
    uint64_t cons = Fnv1a(test::ReadFileBytes(dir.file("ConsolidatedAuditExtract.txt")));
    uint64_t abs = Fnv1a(test::ReadFileBytes(dir.file("AbstractAuditExtract.txt")));
    uint64_t log = Fnv1a(test::ReadFileBytes(dir.file("extract.log")));
    std::printf("checksums %s %d: 0x%016llxull, 0x%016llxull, 0x%016llxull\n", c.scanText,
                c.rerelease, static_cast<unsigned long long>(cons),
                static_cast<unsigned long long>(abs), static_cast<unsigned long long>(log));
    EXPECT_EQ(cons, c.consolidated);
    EXPECT_EQ(abs, c.abstracts);
    EXPECT_EQ(log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Seed7, OutputChecksum,
    ::testing::Values(ChecksumCase{"TEXT", true, 0x9735d12510278ebbull, 0x998d31ab29eb0fedull,
                                   0x9bac28df44255cd9ull},
                      ChecksumCase{"ALL", false, 0xff08aa7756fe51f3ull, 0xd5f8961900b45f85ull,
                                   0x0543f12bbbbe4ac9ull},
                      ChecksumCase{"none", false, 0xff08aa7756fe51f3ull, 0x2e1d66f2e23cd510ull,
                                   0xcbf29ce484222325ull}));

}  // namespace
}  // namespace mae
