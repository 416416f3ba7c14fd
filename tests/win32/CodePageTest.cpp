// The code page of the files against the platform's own conversion, for every UTF-16 unit: the
// Linux edition's compiled Windows-1252 table against WideCharToMultiByte(1252, ...), and the
// Windows edition's bytes against WideCharToMultiByte(CP_ACP, ...) of the PC it runs on.
// MAE_EXPECT_ACP names the ANSI code page the run is meant to have (LC_ALL picks it under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/AnsiCodePage.h"
#include "common/Windows1252.h"
#include "output/ByteSink.h"
#include "output/RecordBuffer.h"
#include "output/ScrubNonAscii.h"

namespace mae {
namespace {

// The platform's bytes of one unit converted alone.
std::string Platform(UINT codePage, unsigned unit) {
    const wchar_t wide = static_cast<wchar_t>(unit);
    char bytes[8] = {};
    const int n = WideCharToMultiByte(codePage, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(Windows1252Table, IsThePlatformsConversionOfEveryUnit) {
    int differing = 0;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const std::string platform = Platform(1252, u);
        const std::string compiled(1, static_cast<char>(Windows1252Bytes()[u]));
        if (platform != compiled && ++differing <= 10) {
            ADD_FAILURE() << "U+" << std::hex << u << ": compiled 0x"
                          << unsigned(static_cast<unsigned char>(compiled[0])) << ", platform "
                          << platform.size() << " byte(s)";
        }
    }
    EXPECT_EQ(differing, 0) << "regenerate src/common/Windows1252Table.inc (README)";
}

TEST(AnsiCodePage, IsThePlatformsConversionOfEveryUnitAlone) {
    if (const char* expected = std::getenv("MAE_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
    }
    std::u16string all;
    std::string expected;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const std::string platform = Platform(CP_ACP, u);
        const char byte = platform.size() == 1 ? platform[0] : '?';
        ASSERT_EQ(static_cast<char>(ToAnsi(static_cast<char16_t>(u))), byte) << std::hex << u;
        all.push_back(static_cast<char16_t>(u));
        expected.push_back(byte);
    }
    EXPECT_EQ(EncodeAnsi(all), expected);
}

// l stroke on the PC's code page: in the record, and as the scrubber's code (logged when it is
// not printable ASCII).
TEST(AnsiCodePage, LStrokeIsWrittenAsThePcWritesIt) {
    struct {
        UINT codePage;
        char byte;
        std::string log;
    } const pcs[] = {
        {1252, 'l', ""},
        {1250, '\xB3', "non-ascii character code: 179 found in F of record id = 1\r\n"}};
    for (const auto& pc : pcs) {
        if (pc.codePage != GetACP()) continue;
        RecordBuffer record;
        PlaceField(record, 10, 6, u"\u0141\u00F3d\u017A \u0142");
        EXPECT_EQ(record.bytes().substr(9, 6), pc.codePage == 1250 ? "\xA3\xF3"
                                                                     "d\x9F \xB3"
                                                                   : "L\xF3"
                                                                     "dz l");
        StringSink log;
        const std::u16string scrubbed = ScrubNonAscii(u"\u0142", u"F", 1, log);
        EXPECT_EQ(scrubbed, pc.log.empty() ? u"\u0142" : u" ");
        EXPECT_EQ(log.data(), pc.log);
        EXPECT_EQ(static_cast<char>(ToAnsi(u'\u0142')), pc.byte);
        return;
    }
    GTEST_SKIP() << "no expectation for code page " << GetACP();
}

// On a double-byte code page (932 under LC_ALL=ja_JP.UTF-8) the units of two bytes are what the
// platform writes as two bytes: '?' in a record, blanked and logged with their signed code by the
// scrubber. On a single-byte page there are none.
TEST(AnsiCodePage, DoubleByteUnitsAreThePlatformsAndTheScrubberLogsTheirCode) {
    const DoubleByteTable* doubles = AnsiDoubleBytes();
    int twoByteUnits = 0;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const std::string platform = Platform(CP_ACP, u);
        const uint16_t code =
            platform.size() == 2
                ? static_cast<uint16_t>((static_cast<unsigned char>(platform[0]) << 8) |
                                        static_cast<unsigned char>(platform[1]))
                : 0;
        twoByteUnits += code != 0;
        ASSERT_EQ(doubles ? (*doubles)[u] : 0, code) << std::hex << u;
    }
    EXPECT_EQ(doubles != nullptr, twoByteUnits > 0);
    if (GetACP() != 932) return;
    RecordBuffer record;
    PlaceField(record, 10, 3, u"a\u3042b");
    EXPECT_EQ(record.bytes().substr(9, 3), "a?b");
    StringSink log;
    EXPECT_EQ(ScrubNonAscii(u"a\u3042b", u"F", 1, log), u"a b");
    EXPECT_EQ(log.data(), "non-ascii character code: -32096 found in F of record id = 1\r\n");
}

}  // namespace
}  // namespace mae
