#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "extract/OutputThread.h"
#include "support/TestDb.h"

namespace mae {
namespace {

// Hands over cases "0", "1", ... to a writer that fails at case failAt (never when -1); returns
// the cases written and the number of the run-time error that ended the run (0 for none).
struct Outcome {
    std::vector<std::string> written;
    int error = 0;
    int handedOver = 0;
};

Outcome HandOver(int cases, int failAt, size_t depth) {
    Outcome outcome;
    outcome.error = test::ErrorNumber([&] {
        OutputThread output(
            [&](CaseOutput& kept) {
                if (kept.consolidated.data() == std::to_string(failAt)) {
                    throw ErrorOf(err::DiskFull, "the disk is full");
                }
                outcome.written.push_back(kept.consolidated.data());
            },
            depth);
        try {
            for (int i = 0; i < cases; ++i) {
                CaseOutput& kept = output.Next();
                kept.consolidated.Clear();
                kept.consolidated.Write(std::to_string(i));
                output.Submit();
                ++outcome.handedOver;
            }
            output.Finish();
        } catch (...) {
            output.Finish();  // as the run does: the writer's failure comes first
            throw;
        }
    });
    return outcome;
}

TEST(OutputThread, WritesEveryCaseInOrderOrStopsAtTheFirstFailure) {
    for (size_t depth : {1u, 2u, 8u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        Outcome all = HandOver(100, -1, depth);
        EXPECT_EQ(all.error, 0);
        ASSERT_EQ(all.written.size(), 100u);
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(all.written[static_cast<size_t>(i)], std::to_string(i));

        // The failure reaches the reading side within a few cases, and no later case is written.
        Outcome failed = HandOver(100, 5, depth);
        EXPECT_EQ(failed.error, err::DiskFull);
        EXPECT_EQ(failed.written, (std::vector<std::string>{"0", "1", "2", "3", "4"}));
        EXPECT_LE(failed.handedOver, static_cast<int>(6 + depth));
    }
}

TEST(OutputThread, ReadingFailureAfterAWritingOneReportsTheWritingOne) {
    std::vector<std::string> written;
    OutputThread output(
        [&](CaseOutput& kept) {
            if (kept.consolidated.data() == "1") throw ErrorOf(err::DeviceIo, "write failed");
            written.push_back(kept.consolidated.data());
        },
        8);
    for (const char* name : {"0", "1", "2"}) {
        CaseOutput& kept = output.Next();
        kept.consolidated.Clear();
        kept.consolidated.Write(name);
        output.Submit();
    }
    // The reading side fails at a later case (a database error, say) and finishes the output.
    EXPECT_EQ(test::ErrorNumber([&] { output.Finish(); }), err::DeviceIo);
    EXPECT_EQ(test::ErrorNumber([&] { output.Finish(); }), err::DeviceIo);
    EXPECT_EQ(written, std::vector<std::string>{"0"});
}

TEST(OutputThread, EndsWithoutFinishDroppingWhatIsInHand) {
    std::vector<std::string> written;
    {
        OutputThread output([&](CaseOutput& kept) { written.push_back(kept.consolidated.data()); });
        CaseOutput& kept = output.Next();
        kept.consolidated.Write("x");
        output.Submit();
    }  // no hang, no crash: the case may or may not have been written
    EXPECT_LE(written.size(), 1u);
}

}  // namespace
}  // namespace mae
