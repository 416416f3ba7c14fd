#pragma once

// The scaffolding of a table-driven test: one TEST_P over the rows of a table.
//
//   struct LimitCase { long long limit; ...; const char* what; };
//   MAE_TABLE_TEST(FileSinkLimit, LimitCase);
//   TEST_P(FileSinkLimit, FailedWriteLeavesOnlyWholeLines) { const LimitCase& c = GetParam(); ... }
//   INSTANTIATE_TEST_SUITE_P(Cuts, FileSinkLimit, ::testing::Values(LimitCase{...}, ...));
//
// A row says what it checks in its `what` member; a failing row is reported by that text (gtest
// prints the parameter through PrintTo) instead of as a dump of its bytes.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#define MAE_TABLE_TEST(Suite, Row) \
    MAE_TABLE_ROW(Row);            \
    class Suite : public ::testing::TestWithParam<Row> {}

// The row printing alone, for a suite whose fixture does more (class X : public
// ::testing::TestWithParam<Row> { SetUp ... }).
#define MAE_TABLE_ROW(Row)                                              \
    void PrintTo(const Row& row, std::ostream* os) { *os << row.what; } \
    static_assert(true)

namespace mae::test {

// For INSTANTIATE_TEST_SUITE_P: names each case after its row's `name` (letters, digits and _
// only, as test names are), where the row's index would say nothing.
inline constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace mae::test
