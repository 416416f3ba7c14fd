#include <gtest/gtest.h>

#include <string>

#include "common/Text.h"

namespace mae {
namespace {

struct Utf8Case {
    std::string bytes;
    std::u16string text;
    const char* what;
};

class FromUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

// Every byte that does not start a well-formed sequence becomes one U+FFFD; what follows it is
// read afresh.
TEST_P(FromUtf8Test, DecodesWellFormedAndReplacesTheRest) {
    EXPECT_EQ(FromUtf8(GetParam().bytes), GetParam().text) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromUtf8Test,
    ::testing::Values(
        Utf8Case{"a\xC3\xA9\xE2\x82\xAC", u"a\u00E9\u20AC", "two- and three-byte forms"},
        Utf8Case{"\xF0\x9F\x98\x80", u"\U0001F600", "four bytes give a surrogate pair"},
        Utf8Case{"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", u"\u0080\u0800\U00010000",
                 "the smallest code point of each length"},
        Utf8Case{std::string("\xC0\x80", 2), u"\uFFFD\uFFFD", "overlong U+0000"},
        Utf8Case{"\xC0\xAF", u"\uFFFD\uFFFD", "overlong '/' in two bytes"},
        Utf8Case{"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", "overlong '/' in three bytes"},
        Utf8Case{"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD", "overlong '/' in four bytes"},
        Utf8Case{"\xC1\xBF", u"\uFFFD\uFFFD", "overlong U+007F"},
        Utf8Case{"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD", "overlong U+07FF"},
        Utf8Case{"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", "overlong U+FFFF"},
        Utf8Case{"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", "a surrogate"},
        Utf8Case{"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", "past U+10FFFF"},
        Utf8Case{"a\xC3", u"a\uFFFD", "a sequence cut at the end"},
        Utf8Case{"\x80z", u"\uFFFDz", "a stray continuation byte"}));

}  // namespace
}  // namespace mae
