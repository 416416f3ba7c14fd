#include <gtest/gtest.h>

#include <string>

#include "common/Windows1252.h"

namespace mae {
namespace {

struct UnitCase {
    char16_t unit;
    unsigned char byte;
    const char* what;
};

void PrintTo(const UnitCase& c, std::ostream* os) { *os << c.what; }

class Windows1252Unit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(Windows1252Unit, MapsAsWindowsDoes) {
    const UnitCase& c = GetParam();
    EXPECT_EQ(ToWindows1252(c.unit), c.byte) << c.what;
    EXPECT_EQ(EncodeWindows1252(std::u16string(1, c.unit)), std::string(1, char(c.byte))) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Windows1252Unit,
    ::testing::Values(
        UnitCase{u'\0', 0x00, "NUL"}, UnitCase{u'\t', 0x09, "TAB"},
        UnitCase{u'A', 0x41, "ASCII letter"}, UnitCase{u'\x7F', 0x7F, "DEL"},
        UnitCase{u'\u20AC', 0x80, "euro sign"}, UnitCase{u'\u201A', 0x82, "low single quote"},
        UnitCase{u'\u0160', 0x8A, "S caron"}, UnitCase{u'\u2122', 0x99, "trade mark"},
        UnitCase{u'\u0178', 0x9F, "Y diaeresis"},
        // the five bytes Windows-1252 leaves unassigned carry the C1 controls
        UnitCase{u'\u0081', 0x81, "C1 0x81"}, UnitCase{u'\u008D', 0x8D, "C1 0x8D"},
        UnitCase{u'\u008F', 0x8F, "C1 0x8F"}, UnitCase{u'\u0090', 0x90, "C1 0x90"},
        UnitCase{u'\u009D', 0x9D, "C1 0x9D"},
        // other C1 controls have no byte: their place holds a printable character
        UnitCase{u'\u0080', '?', "C1 0x80"}, UnitCase{u'\u0099', '?', "C1 0x99"},
        UnitCase{u'\u00A0', 0xA0, "no-break space"}, UnitCase{u'\u00E9', 0xE9, "e acute"},
        UnitCase{u'\u00FF', 0xFF, "y diaeresis"}, UnitCase{u'\u0100', '?', "A macron"},
        UnitCase{u'\u4E2D', '?', "CJK"}, UnitCase{char16_t(0xD83D), '?', "high surrogate"},
        UnitCase{char16_t(0xDE00), '?', "low surrogate"}, UnitCase{u'\uFFFF', '?', "last unit"}));

TEST(Encoding, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9D], u'\u009D');
    EXPECT_EQ(EncodeWindows1252(text), all);
}

TEST(Encoding, OnlyTheTableUnitsHaveAByteOfTheirOwn) {
    // 256 units map to their own byte; every other unit of the 65536 becomes '?'.
    int own = 0;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const unsigned char b = ToWindows1252(static_cast<char16_t>(u));
        if (u == '?' || b != '?') ++own;
    }
    EXPECT_EQ(own, 256);
}

TEST(Encoding, OneOtherUnitAnywhereInAnAsciiTextIsEncodedInItsPlace) {
    // Lengths around the blocks that ASCII runs are narrowed in.
    for (char16_t other : {u'\u00E9', u'\u20AC', u'\u4E2D', char16_t(0xFF41), u'\u0080'}) {
        for (size_t length = 1; length <= 40; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::u16string text(length, u'k');
                text[at] = other;
                std::string expected(length, 'k');
                expected[at] = static_cast<char>(ToWindows1252(other));
                ASSERT_EQ(EncodeWindows1252(text), expected) << length << " " << at;
            }
        }
    }
}

}  // namespace
}  // namespace mae
