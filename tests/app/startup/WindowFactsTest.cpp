#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "app/startup/WindowFacts.h"
#include "common/RuntimeError.h"

namespace mae {
namespace {

// The report's first line on both editions: a negative number is an HRESULT and shows its
// hexadecimal form beside it.
TEST(WindowFactsTest, RunTimeErrorTextShowsHResultsInHex) {
    const struct {
        int32_t number;
        const char* heading;
    } cases[] = {
        {0, "Run-time error '0':"},
        {err::CannotCreate, "Run-time error '429':"},
        {err::Provider, "Run-time error '-2147467259 (80004005)':"},
        {err::QueryTimeout, "Run-time error '-2147217871 (80040e31)':"},
        {err::BadInitString, "Run-time error '-2147217805 (80040e73)':"},
        {-1, "Run-time error '-1 (ffffffff)':"},
        {std::numeric_limits<int32_t>::min(), "Run-time error '-2147483648 (80000000)':"},
        {std::numeric_limits<int32_t>::max(), "Run-time error '2147483647':"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunTimeErrorText(c.number, "what failed"),
                  std::string(c.heading) + "\n\nwhat failed")
            << c.number;
    }
    EXPECT_EQ(RunTimeErrorText(err::DiskFull, "Disk full", "\r\n"),
              "Run-time error '61':\r\n\r\nDisk full");
}

}  // namespace
}  // namespace mae
