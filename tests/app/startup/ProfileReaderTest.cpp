#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "support/GeneratedRegistry.h"

namespace mae {
namespace {

using test::TempDir;

// Points WINDIR at a fresh folder for one test and puts the old value back afterwards.
class ProfileReaderTest : public ::testing::Test {
  protected:
    void WriteIni(std::string_view bytes, const char* name = "Meridane.ini") {
        m_dir.WriteIniBytes(bytes, name);
    }
    // The read start-up makes: a 250-character buffer.
    std::u16string Read(std::u16string_view section, std::u16string_view key,
                        std::u16string_view def = u"Not Available") {
        return ReadProfileString(section, key, def, 250);
    }

    test::WindowsFolder m_dir;
};

TEST_F(ProfileReaderTest, WindowsFolderFollowsWindirElseEtc) {
    EXPECT_EQ(WindowsFolder(), m_dir.path());
    setenv("WINDIR", "", 1);
    EXPECT_EQ(WindowsFolder(), "/etc");
    unsetenv("WINDIR");
    EXPECT_EQ(WindowsFolder(), "/etc");
}

TEST_F(ProfileReaderTest, ValueOrDefaultForMissingFileSectionOrKey) {
    EXPECT_EQ(Read(u"Databases", u"Control"), u"Not Available");  // no file at all

    WriteIni(
        "[Databases]\r\n"
        "Control=Driver=SQLite3;Database=/srv/control.db\r\n"
        "Empty=\r\n"
        "[Options]\r\n"
        "Other=1\r\n");
    EXPECT_EQ(Read(u"Databases", u"Control"), u"Driver=SQLite3;Database=/srv/control.db");
    EXPECT_EQ(Read(u"Options", u"ScanText", u"TEXT"), u"TEXT");  // missing key
    EXPECT_EQ(Read(u"Settings", u"Control"), u"Not Available");  // missing section
    EXPECT_EQ(Read(u"Options", u"Control"), u"Not Available");   // key of another section
    EXPECT_EQ(Read(u"Databases", u"Empty"), u"");                // present but empty
}

TEST_F(ProfileReaderTest, CutsToBufferSizeLessOne) {
    const std::string longValue(300, 'c');
    WriteIni("[Databases]\nControl=" + longValue + "\n");
    EXPECT_EQ(Read(u"Databases", u"Control"), std::u16string(249, u'c'));
    EXPECT_EQ(ReadProfileString(u"Databases", u"Control", u"", 1), u"");
    EXPECT_EQ(ReadProfileString(u"Databases", u"Control", u"", 0), u"");
    EXPECT_EQ(ReadProfileString(u"Databases", u"Control", u"", 400).size(), 300u);
    // The default is cut the same way.
    EXPECT_EQ(ReadProfileString(u"Databases", u"Missing", u"Not Available", 4), u"Not");
}

TEST_F(ProfileReaderTest, NamesIgnoreCaseValuesKeepIt) {
    WriteIni("[OPTIONS]\nscantext=all\n[ databases ]\n  CONTROL \t= Mixed Case \n");
    EXPECT_EQ(Read(u"Options", u"ScanText", u"TEXT"), u"all");
    EXPECT_EQ(Read(u"Databases", u"Control"), u"Mixed Case");
}

TEST_F(ProfileReaderTest, BlanksAndOnePairOfQuotesDropped) {
    WriteIni(
        "[S]\n"
        "a=  \"quoted value\"  \n"
        "b='single'\n"
        "c=\"mismatched'\n"
        "d=\"\n"
        "e=\"\"inner\"\"\n"
        "f=\t tabbed \t\n"
        "g=\"\"\n"
        "h=x = y\n");
    EXPECT_EQ(Read(u"S", u"a"), u"quoted value");
    EXPECT_EQ(Read(u"S", u"b"), u"single");
    EXPECT_EQ(Read(u"S", u"c"), u"\"mismatched'");
    EXPECT_EQ(Read(u"S", u"d"), u"\"");
    EXPECT_EQ(Read(u"S", u"e"), u"\"inner\"");
    EXPECT_EQ(Read(u"S", u"f"), u"tabbed");
    EXPECT_EQ(Read(u"S", u"g"), u"");
    EXPECT_EQ(Read(u"S", u"h"), u"x = y");  // the first '=' splits
}

// Only the first section of a name is read, as the Windows profile routine reads it: a key that
// only a later section of the same name holds is missing.
TEST_F(ProfileReaderTest, CommentsLinesWithoutEqualsAndFirstMatchWins) {
    WriteIni(
        "; Control=commented\n"
        "Control=outside any section\n"
        "[Databases]\n"
        ";Control=commented too\n"
        "Control\n"
        "Control=first\n"
        "Control=second\n"
        "[Options]\n"
        "ScanText=ALL\n"
        "[ DATABASES ]\n"
        "Control=third\n"
        "Registry=later section\n"
        "[Empty]\n"
        "[Empty]\n"
        "k=in the second\n");
    const struct {
        std::u16string_view section, key, value;
    } reads[] = {
        {u"Databases", u"Control", u"first"},
        {u"Databases", u"Registry", u"Not Available"},
        {u"Options", u"ScanText", u"ALL"},
        {u"Empty", u"k", u"Not Available"},
    };
    for (const auto& r : reads) {
        EXPECT_EQ(Read(r.section, r.key), r.value) << ToUtf8(r.section) << "/" << ToUtf8(r.key);
    }
}

TEST_F(ProfileReaderTest, LineEndsAndEncodings) {
    WriteIni("[S]\r\nk=crlf\r\n");
    EXPECT_EQ(Read(u"S", u"k"), u"crlf");
    WriteIni("[S]\nk=lf");  // no line end after the last line
    EXPECT_EQ(Read(u"S", u"k"), u"lf");
    // Without a byte-order mark the bytes are Windows-1252.
    WriteIni("[S]\nk=caf\xE9 \x80\n");
    EXPECT_EQ(Read(u"S", u"k"), u"caf\u00E9 \u20AC");
    // A UTF-8 byte-order mark before the first section header is dropped.
    WriteIni("\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\n");
    EXPECT_EQ(Read(u"S", u"k"), u"caf\u00E9");
    // UTF-16 little endian with its mark, as Notepad saves "Unicode".
    const std::u16string wide = u"[S]\r\nk=\u20AC\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteIni(bytes);
    EXPECT_EQ(Read(u"S", u"k"), u"\u20AC");
}

TEST_F(ProfileReaderTest, FileNameIgnoresCaseButFolderStandsForMissingFile) {
    WriteIni("[Databases]\nControl=lower case name\n", "meridane.INI");
    EXPECT_EQ(Read(u"Databases", u"Control"), u"lower case name");

    TempDir other;
    setenv("WINDIR", other.path().c_str(), 1);
    ASSERT_EQ(mkdir(other.file("Meridane.ini").c_str(), 0755), 0);
    EXPECT_EQ(Read(u"Databases", u"Control"), u"Not Available");
}

TEST_F(ProfileReaderTest, JunkNeverBreaksTheReader) {
    WriteIni(std::string("[S]\nk=before\0after\n", 19));
    EXPECT_EQ(Read(u"S", u"k"), u"before");

    // An unfinished surrogate pair is not left at the cut.
    WriteIni("\xEF\xBB\xBF[S]\nk=ab\xF0\x9F\x98\x80\n");
    EXPECT_EQ(ReadProfileString(u"S", u"k", u"", 4), u"ab");
    EXPECT_EQ(ReadProfileString(u"S", u"k", u"", 5), u"ab\U0001F600");

    // Odd byte counts, half sections, a line of a megabyte, random bytes.
    WriteIni("\xFF\xFE[");
    EXPECT_EQ(Read(u"S", u"k"), u"Not Available");
    WriteIni("[\n]\n[S\nk=v\n=\n[]\n[S]]\nk\n");
    EXPECT_EQ(Read(u"S", u"k"), u"Not Available");
    WriteIni("[S]\nk=" + std::string(1 << 20, 'x'));
    EXPECT_EQ(Read(u"S", u"k"), std::u16string(249, u'x'));
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string junk(static_cast<size_t>(random() % 4096), '\0');
        for (auto& b : junk)
            b = static_cast<char>(random() % 8 == 0 ? "[]=\n\r;\"'"[random() % 8] : random() % 256);
        if (round % 2) junk = "[S]\n" + junk;
        WriteIni(junk);
        EXPECT_LE(Read(u"S", u"k").size(), 249u);
    }
}

TEST_F(ProfileReaderTest, ProviderGivesTheWholeRegistryValue) {
    const std::string longValue = "Driver=SQLite3;Database=/" + std::string(400, 'r') + ".db";
    WriteIni("[Databases]\r\nControl=x\r\nRegistry=" + longValue + "\r\n");
    EXPECT_EQ(ConnectionStringProvider().GetConnectionString(),
              std::u16string(longValue.begin(), longValue.end()));

    WriteIni("[Databases]\r\nRegistry=\r\n");  // present but empty: the driver will refuse it
    EXPECT_EQ(ConnectionStringProvider().GetConnectionString(), u"");
}

TEST_F(ProfileReaderTest, ProviderFailsWith429WithoutTheKey) {
    for (const char* content : {static_cast<const char*>(nullptr), "[Databases]\nControl=x\n",
                                "[Options]\nRegistry=wrong section\n"}) {
        if (content) WriteIni(content);
        try {
            ConnectionStringProvider().GetConnectionString();
            ADD_FAILURE() << "no error for " << (content ? content : "a missing file");
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::CannotCreate);
            EXPECT_NE(e.description().find("Registry"), std::string::npos);
        }
    }
}

// Root reads every file whatever its mode: the read is made in a child that has given root up.
TEST_F(ProfileReaderTest, ProviderReportsAnUnreadableIniAsUnreadable) {
    WriteIni("[Databases]\r\nRegistry=Driver=SQLite3;Database=/srv/registry.db\r\n");
    ASSERT_EQ(chmod(m_dir.file("Meridane.ini").c_str(), 0), 0);
    ASSERT_EQ(chmod(m_dir.path().c_str(), 0755), 0);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
            try {
                ConnectionStringProvider().GetConnectionString();
            } catch (const RuntimeError& e) {
                std::fputs(e.what(), stderr);
                std::_Exit(e.number() == err::CannotCreate ? 0 : 3);
            }
            std::_Exit(4);
        },
        ::testing::ExitedWithCode(0), "Meridane.ini in .* cannot be read: Permission denied");
}

}  // namespace
}  // namespace mae
