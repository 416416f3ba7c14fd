// A SQLite connection string that points at a file that is not there never leaves an empty
// database behind, however long the string is or whatever it holds.

#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/SqliteNoCreate.h"
#include "support/TestDb.h"

namespace mae {
namespace {

struct MissingCase {
    const char* name;
    std::u16string (*build)(const std::u16string& missing);
    int error;
};

const MissingCase missingCases[] = {
    {"Plain", [](const std::u16string& m) { return u"Driver=SQLite3;Database=" + m; },
     err::Provider},
    // Longer than the driver reads (4095 bytes) and than the driver manager takes (32000 units):
    // the string is cut, and NoCreat=1 is put before it after the cut.
    {"CutAtTheLimit",
     [](const std::u16string& m) {
         return u"Driver=SQLite3;Database=" + m + u";x=" + std::u16string(40000, u'y');
     },
     err::Provider},
    // The string's own NoCreat=0 lies beyond the cut, so the driver never sees it.
    {"OwnNoCreateCutOff",
     [](const std::u16string& m) {
         return u"Driver=SQLite3;Database=" + m + u";x=" + std::u16string(40000, u'y') +
                u";NoCreat=0";
     },
     err::Provider},
    // The cut falls inside a braced value: the driver manager refuses the unclosed brace.
    {"CutInsideBraces",
     [](const std::u16string& m) {
         return u"Driver=SQLite3;Database=" + m + u";x={" + std::u16string(40000, u'y') + u"}";
     },
     err::Provider},
    // A driver reads up to a NUL: a NoCreat=1 added after it would not count.
    {"NulInside",
     [](const std::u16string& m) {
         return u"Driver=SQLite3;Database=" + m + std::u16string(1, u'\0') + u";x=1";
     },
     err::BadInitString},
    {"NulInsideProviderForm",
     [](const std::u16string& m) {
         return u"Provider=MSDASQL;Extended Properties=\"Driver=SQLite3;Database=" + m +
                std::u16string(1, u'\0') + u"\"";
     },
     err::BadInitString},
};

class SqliteNoCreate : public ::testing::TestWithParam<MissingCase> {};

TEST_P(SqliteNoCreate, MissingFileIsNeverCreated) {
    test::TempDir dir;
    const std::string missing = dir.file("registy.db");
    Connection c;
    c.SetConnectionString(GetParam().build(FromUtf8(missing)));
    std::string description;
    EXPECT_EQ(test::ErrorNumber([&] { c.Open(); }, &description), GetParam().error) << description;
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(test::FileExists(missing));
    if (GetParam().error == err::BadInitString) {
        EXPECT_NE(description.find("NUL character"), std::string::npos) << description;
    } else {
        const std::u16string sent = WithNoCreate(c.ConnectionString());
        EXPECT_LE(sent.size(), DriverStringLimit + 10);
        EXPECT_TRUE(sent.starts_with(u"NoCreat=1;"));
    }
}

INSTANTIATE_TEST_SUITE_P(Strings, SqliteNoCreate, ::testing::ValuesIn(missingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mae
