#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "db/Value.h"
#include "support/TestDb.h"

namespace mae {
namespace {

TEST(ValueText, ConcatGivesEmptyForNullAndDigitsForNumbers) {
    EXPECT_EQ(ConcatText(Value()), u"");
    EXPECT_EQ(ConcatText(Value(int64_t{130})), u"130");
    EXPECT_EQ(ConcatText(Value(int64_t{-7})), u"-7");
    EXPECT_EQ(ConcatText(Value(130.0)), u"130");
    EXPECT_EQ(ConcatText(Value(1.5)), u"1.5");
    EXPECT_EQ(ConcatText(Value(0.1)), u"0.1");
    EXPECT_EQ(ConcatText(Value(1e20)), u"1E+20");
    EXPECT_EQ(ConcatText(Value(std::u16string(u" é "))), u" é ");
}

TEST(ValueText, DirectRefusesNull) {
    EXPECT_EQ(test::ErrorNumber([] { DirectText(Value()); }), err::InvalidNull);
    EXPECT_EQ(DirectText(Value(std::u16string(u""))), u"");
    EXPECT_EQ(DirectText(Value(int64_t{42})), u"42");
}

struct Int16Case {
    Value in;
    int expected;   // the result when error is 0
    int error = 0;  // the run-time error number the conversion fails with
};

class ValueInt16 : public ::testing::TestWithParam<Int16Case> {};

TEST_P(ValueInt16, ConvertsOrFails) {
    const auto& c = GetParam();
    if (c.error == 0) {
        EXPECT_EQ(ToInt16(c.in), c.expected);
    } else {
        EXPECT_EQ(test::ErrorNumber([&] { ToInt16(c.in); }), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueInt16,
    ::testing::Values(Int16Case{Value(int64_t{22824}), 22824},
                      Int16Case{Value(int64_t{32767}), 32767},
                      Int16Case{Value(int64_t{-32768}), -32768},
                      Int16Case{Value(int64_t{32768}), 0, err::Overflow},
                      Int16Case{Value(int64_t{40000}), 0, err::Overflow}, Int16Case{Value(2.5), 2},
                      Int16Case{Value(3.5), 4}, Int16Case{Value(-2.5), -2},
                      Int16Case{Value(2.6), 3}, Int16Case{Value(std::u16string(u"07")), 7},
                      Int16Case{Value(std::u16string(u" 12 ")), 12},
                      Int16Case{Value(std::u16string(u"1E3")), 1000},
                      Int16Case{Value(std::u16string(u"abc")), 0, err::TypeMismatch},
                      Int16Case{Value(std::u16string(u"  ")), 0, err::TypeMismatch},
                      Int16Case{Value(std::u16string(u"")), 0, err::TypeMismatch},
                      Int16Case{Value(std::u16string(u"12abc")), 0, err::TypeMismatch},
                      Int16Case{Value(), 0, err::InvalidNull}));

TEST(ValueInt32, RangeAndRounding) {
    EXPECT_EQ(ToInt32(Value(int64_t{2147483647})), 2147483647);
    EXPECT_EQ(test::ErrorNumber([] { ToInt32(Value(int64_t{21474836470})); }), err::Overflow);
    EXPECT_EQ(test::ErrorNumber([] { ToInt32(Value(std::u16string(u"12345678901"))); }),
              err::Overflow);
    EXPECT_EQ(ToInt32(Value(std::u16string(u"-42"))), -42);
}

TEST(ValueNumber, ParsesOnlyWholeNumbersText) {
    EXPECT_EQ(ParseNumber(u"7"), 7.0);
    EXPECT_EQ(ParseNumber(u"-.5"), -0.5);
    EXPECT_FALSE(ParseNumber(u"."));
    EXPECT_FALSE(ParseNumber(u"1e"));
    EXPECT_FALSE(ParseNumber(u"0x10"));
    EXPECT_FALSE(ParseNumber(std::u16string(100, u'9')));  // too long to be a field value
}

}  // namespace
}  // namespace mae
