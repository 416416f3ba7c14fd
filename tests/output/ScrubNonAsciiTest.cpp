#include <gtest/gtest.h>

#include <string>

#include "common/AnsiCodePage.h"
#include "common/Windows1252.h"
#include "output/ByteSink.h"
#include "output/ScrubNonAscii.h"
#include "support/TableTest.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::LogLine;

struct ScrubCase {
    std::u16string text;
    std::u16string expected;
    std::string log;
    const char* what;
};

MAE_TABLE_TEST(ScrubNonAsciiCase, ScrubCase);

TEST_P(ScrubNonAsciiCase, ReplacesAndLogsEachCharacter) {
    const ScrubCase& c = GetParam();
    StringSink log;
    const std::u16string result = ScrubNonAscii(c.text, u"RemarksText", 4711, log);
    EXPECT_EQ(result, c.expected) << c.what;
    EXPECT_EQ(result.size(), c.text.size()) << c.what;
    EXPECT_EQ(log.data(), c.log) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Characters, ScrubNonAsciiCase,
    ::testing::Values(
        ScrubCase{u"", u"", "", "empty text"},
        ScrubCase{u" !~ Az09\x7F", u" !~ Az09\x7F", "", "printable ASCII and DEL stay"},
        ScrubCase{u"ab\u00E9cd", u"ab cd", LogLine(233, "RemarksText", "4711"),
                  "accented letter at position 3"},
        ScrubCase{u"a\x1F", u"a ", LogLine(31, "RemarksText", "4711"), "code 31"},
        ScrubCase{u"a\tb\r\nc", u"a b  c",
                  LogLine(9, "RemarksText", "4711") + LogLine(13, "RemarksText", "4711") +
                      LogLine(10, "RemarksText", "4711"),
                  "TAB, CR and LF, in text order"},
        ScrubCase{u"\u20AC1", u" 1", LogLine(128, "RemarksText", "4711"),
                  "euro sign has the Windows-1252 code 128"},
        ScrubCase{u"\u00A0", u" ", LogLine(160, "RemarksText", "4711"), "no-break space"},
        ScrubCase{u"x\u4E2D\U0001F600y", u"x\u4E2D\U0001F600y", "",
                  "characters Windows-1252 cannot hold become '?' when written, so they stay"},
        // the code of a character outside the code page is its best-fit byte
        ScrubCase{u"\u0141ukasz", u"\u0141ukasz", "", "L stroke is written as L, so it stays"},
        ScrubCase{u"\u0110or", u" or", LogLine(208, "RemarksText", "4711"),
                  "D stroke is written as 0xD0"}));

// A double-byte code page (932 here, as a Japanese PC converts): a unit it writes as two bytes is
// '?' in a column item, and the scrubber blanks it and logs the two bytes as a signed 16-bit
// number; a unit of one byte (half-width katakana, 0xB1) is judged by that byte as on any page.
TEST(ScrubNonAscii, ADoubleByteCharacterIsBlankedAndLoggedWithItsCode) {
    static AnsiTable bytes = Windows1252Bytes();
    static DoubleByteTable doubles{};
    const struct {
        char16_t unit;
        unsigned char byte;
        uint16_t twoBytes;
    } page[] = {{u'\u3042', '?', 0x82A0}, {u'\u4E00', '?', 0x88EA}, {u'\uFF71', 0xB1, 0}};
    for (const auto& p : page) {
        bytes[p.unit] = p.byte;
        doubles[p.unit] = p.twoBytes;
    }
    const ScrubCodePage cp932{bytes, &doubles};
    const struct {
        std::u16string_view text, expected;
        std::string log;
    } cases[] = {
        {u"a\u3042b", u"a b", LogLine(-32096, "F", "7")},
        {u"\u4E00\u3042", u"  ", LogLine(-30486, "F", "7") + LogLine(-32096, "F", "7")},
        {u"\uFF71x", u" x", LogLine(177, "F", "7")},
        {u"plain ?", u"plain ?", ""},
    };
    for (const auto& c : cases) {
        StringSink log;
        std::u16string storage;
        EXPECT_EQ(ScrubNonAscii(cp932, c.text, u"F", 7, log, storage), c.expected) << c.log;
        EXPECT_EQ(log.data(), c.log);
    }
    // The program's own code page here (Linux: Windows-1252) has no unit of two bytes.
    EXPECT_EQ(AnsiDoubleBytes(), nullptr);
}

TEST(ScrubNonAscii, TwoCallsAppendTheirLinesInOrder) {
    StringSink log;
    EXPECT_EQ(ScrubNonAscii(u"caf\u00E9", u"TextDxProc", 12, log), u"caf ");
    EXPECT_EQ(ScrubNonAscii(u"plain", u"Other", 13, log), u"plain");
    EXPECT_EQ(ScrubNonAscii(u"\u00FC!", u"TextRemarks", -5, log), u" !");
    EXPECT_EQ(log.data(), LogLine(233, "TextDxProc", "12") + LogLine(252, "TextRemarks", "-5"));
}

TEST(ScrubNonAscii, OneCharacterAnywhereInAPrintableTextIsFound) {
    // Lengths around the blocks that printable runs are skipped in; U+FF41 has no
    // Windows-1252 byte, so it stays.
    struct Other {
        char16_t unit;
        bool replaced;
    };
    for (Other other : {Other{u'\x1F', true}, Other{u'\u00E9', true}, Other{u'\x7F', false},
                        Other{char16_t(0xFF41), false}}) {
        for (size_t length = 1; length <= 40; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::u16string text(length, u'k');
                text[at] = other.unit;
                std::u16string expected = text;
                if (other.replaced) expected[at] = u' ';
                StringSink log;
                ASSERT_EQ(ScrubNonAscii(text, u"F", 1, log), expected) << length << " " << at;
                ASSERT_EQ(log.data().empty(), !other.replaced) << length << " " << at;
            }
        }
    }
}

TEST(ScrubNonAscii, FieldNameIsLoggedInWindows1252) {
    StringSink log;
    ScrubNonAscii(u"\t", u"Feld\u00E4", 1, log);
    EXPECT_EQ(log.data(), LogLine(9, "Feld\xE4", "1"));
}

TEST(ScrubNonAscii, TextsLongerThan32767CharactersAreScrubbedWhole) {
    std::u16string text(70000, u'a');
    text[0] = u'\t';
    text[40000] = u'\u00E9';
    text[69999] = u'\n';
    StringSink log;
    const std::u16string result = ScrubNonAscii(text, u"F", 1, log);
    ASSERT_EQ(result.size(), text.size());
    std::u16string expected(70000, u'a');
    expected[0] = expected[40000] = expected[69999] = u' ';
    EXPECT_EQ(result, expected);
    EXPECT_EQ(log.data(), LogLine(9, "F", "1") + LogLine(233, "F", "1") + LogLine(10, "F", "1"));
}

}  // namespace
}  // namespace mae
