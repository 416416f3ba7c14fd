#include <gtest/gtest.h>

#include <string>

#include "common/AnsiCodePage.h"
#include "common/Windows1252.h"
#include "support/TableTest.h"

namespace mae {
namespace {

struct UnitCase {
    char16_t unit;
    unsigned char byte;
    const char* what;
};

// The bytes a Windows-1252 PC writes: the Linux edition's, and the Windows edition's on such a
// PC (the tests' Wine prefix).
MAE_TABLE_TEST(AnsiUnit, UnitCase);

TEST_P(AnsiUnit, IsWrittenAsAWindows1252PcWritesIt) {
    const UnitCase& c = GetParam();
    EXPECT_EQ(ToAnsi(c.unit), c.byte) << c.what;
    EXPECT_EQ(EncodeAnsi(std::u16string(1, c.unit)), std::string(1, char(c.byte))) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AnsiUnit,
    ::testing::Values(UnitCase{u'\0', 0x00, "NUL"}, UnitCase{u'\t', 0x09, "TAB"},
                      UnitCase{u'A', 0x41, "ASCII letter"}, UnitCase{u'\x7F', 0x7F, "DEL"},
                      UnitCase{u'\u20AC', 0x80, "euro sign"}, UnitCase{u'\u0160', 0x8A, "S caron"},
                      UnitCase{u'\u00E9', 0xE9, "e acute"},
                      UnitCase{u'\u00FF', 0xFF, "y diaeresis"},
                      // the five bytes Windows-1252 leaves unassigned carry the C1 controls
                      UnitCase{u'\u0081', 0x81, "C1 0x81"}, UnitCase{u'\u009D', 0x9D, "C1 0x9D"},
                      // outside the code page: a best-fit byte where the platform has one, else '?'
                      UnitCase{u'\u0141', 'L', "L stroke: best fit to a printable letter"},
                      UnitCase{u'\u0142', 'l', "l stroke"}, UnitCase{u'\u0100', 'A', "A macron"},
                      UnitCase{u'\u0110', 0xD0, "D stroke: best fit to Eth, above 127"},
                      UnitCase{u'\u0080', '?', "C1 0x80: no mapping"},
                      UnitCase{u'\u4E2D', '?', "CJK"},
                      UnitCase{u'\u1EC5', '?', "e circumflex tilde: no best fit"},
                      UnitCase{char16_t(0xD83D), '?', "lone high surrogate"},
                      UnitCase{char16_t(0xDE00), '?', "lone low surrogate"},
                      UnitCase{u'\uFFFF', '?', "last unit"}));

TEST(AnsiCodePage, EveryUnitIsOneByte) {
    // A surrogate pair is two units and so two bytes.
    EXPECT_EQ(EncodeAnsi(u"\u0141ukasz \u0110or\u0111evi\u0107 \U0001F600"),
              "Lukasz \xD0ordevic ??");
}

TEST(Windows1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9D], u'\u009D');
    std::string encoded;
    for (char16_t unit : text) encoded.push_back(static_cast<char>(Windows1252Bytes()[unit]));
    EXPECT_EQ(encoded, all);
}

TEST(AnsiCodePage, OneOtherUnitAnywhereInAnAsciiTextIsEncodedInItsPlace) {
    // Lengths around the blocks that ASCII runs are narrowed in.
    for (char16_t other : {u'\u00E9', u'\u20AC', u'\u4E2D', char16_t(0xFF41), u'\u0080'}) {
        for (size_t length = 1; length <= 40; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::u16string text(length, u'k');
                text[at] = other;
                std::string expected(length, 'k');
                expected[at] = static_cast<char>(ToAnsi(other));
                ASSERT_EQ(EncodeAnsi(text), expected) << length << " " << at;
            }
        }
    }
}

}  // namespace
}  // namespace mae
