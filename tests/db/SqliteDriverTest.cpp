// A SQLite connection string that points at a file that is not there never leaves an empty
// database behind, however long the string is, whatever it holds, and whatever the driver's
// entry is called: the program refuses it before connecting, and the driver is told NoCreat=1
// where it reads it first, so that a file removed in between is not made either.

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/SqliteDriver.h"
#include "support/TableTest.h"
#include "support/TestDb.h"

namespace mae {
namespace {

struct MissingRow {
    const char* name;
    const char* what;
    std::u16string (*build)(const std::u16string& missing);
    int error;
};

class SqliteMissingFile : public ::testing::TestWithParam<MissingRow> {
  protected:
    // A driver list of its own, with the SQLite driver under a name that does not say so: one
    // for every test of the process, as the driver manager keeps what it read of the list.
    static void SetUpTestSuite() {
        s_drivers = new test::TempDir;
        test::WriteFileBytes(s_drivers->file("odbcinst.ini"),
                             "[SQLite3]\nDriver=libsqlite3odbc.so\n\n"
                             "[Registry Engine]\nDriver=libsqlite3odbc.so\n");
        s_list = new test::ScopedEnv("ODBCSYSINI", s_drivers->path());
    }
    static void TearDownTestSuite() {
        delete s_list;
        delete s_drivers;
    }
    static test::TempDir* s_drivers;
    static test::ScopedEnv* s_list;
    test::TempDir m_dir;
};
test::TempDir* SqliteMissingFile::s_drivers = nullptr;
test::ScopedEnv* SqliteMissingFile::s_list = nullptr;
MAE_TABLE_ROW(MissingRow);

TEST_P(SqliteMissingFile, IsNeverCreated) {
    const MissingRow& row = GetParam();
    const std::string missing = m_dir.file("registy.db");
    const std::u16string text = row.build(FromUtf8(missing));
    Connection c;
    c.SetConnectionString(text);
    std::string description;
    EXPECT_EQ(test::ErrorNumber([&] { c.Open(); }, &description), row.error) << description;
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(test::FileExists(missing));
    if (row.error == err::BadInitString) {
        EXPECT_NE(description.find("NUL character"), std::string::npos) << description;
        return;
    }
    EXPECT_NE(description.find("The SQLite database file " + missing + " does not exist."),
              std::string::npos)
        << description;
    // The driver itself, given the string as the program gives it, makes no file either.
    const std::u16string sent = ForSqliteReading(CutForDriverManager(text), true).text;
    EXPECT_LE(sent.size(), DriverStringLimit + 40);
    EXPECT_THROW(test::DriverUtf16(sent, "select 1"), std::runtime_error);
    EXPECT_FALSE(test::FileExists(missing));
}

INSTANTIATE_TEST_SUITE_P(
    Strings, SqliteMissingFile,
    ::testing::Values(
        MissingRow{"Plain", "a plain string",
                   [](const std::u16string& m) { return u"Driver=SQLite3;Database=" + m; },
                   err::Provider},
        MissingRow{"CutAtTheLimit",
                   "longer than the driver reads (4095 bytes) and the driver manager takes",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + u";x=" +
                              std::u16string(40000, u'y');
                   },
                   err::Provider},
        MissingRow{"OwnNoCreateCutOff", "the string's own NoCreat=0 beyond the cut",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + u";x=" +
                              std::u16string(40000, u'y') + u";NoCreat=0";
                   },
                   err::Provider},
        MissingRow{"CutInsideBraces", "the cut inside a braced value",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + u";x={" +
                              std::u16string(40000, u'y') + u"}";
                   },
                   err::Provider},
        MissingRow{
            "OwnNoCreateZero", "the string's own NoCreat=0",
            [](const std::u16string& m) { return u"Driver=SQLite3;Database=" + m + u";NoCreat=0"; },
            err::Provider},
        MissingRow{
            "EmptyNoCreate", "an empty NoCreat",
            [](const std::u16string& m) { return u"Driver=SQLite3;Database=" + m + u";NoCreat="; },
            err::Provider},
        MissingRow{"SpaceBeforeNoCreate", "a blank before NoCreat",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + u"; NoCreat=1";
                   },
                   err::Provider},
        MissingRow{"SpacesAroundEquals", "blanks around NoCreat's equals sign",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + u";NoCreat = 1";
                   },
                   err::Provider},
        MissingRow{
            "EntryNamedOtherwise", "a driver entry whose name does not say SQLite",
            [](const std::u16string& m) { return u"Driver={Registry Engine};Database=" + m; },
            err::Provider},
        MissingRow{"NulInside", "a NUL inside: a driver reads up to it",
                   [](const std::u16string& m) {
                       return u"Driver=SQLite3;Database=" + m + std::u16string(1, u'\0') + u";x=1";
                   },
                   err::BadInitString},
        MissingRow{"NulInsideProviderForm", "a NUL inside, in the provider form",
                   [](const std::u16string& m) {
                       return u"Provider=MSDASQL;Extended Properties=\"Driver=SQLite3;Database=" +
                              m + std::u16string(1, u'\0') + u"\"";
                   },
                   err::BadInitString}),
    test::ByName);

}  // namespace
}  // namespace mae
