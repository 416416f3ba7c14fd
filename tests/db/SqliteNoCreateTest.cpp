#include <gtest/gtest.h>

#include "common/Text.h"
#include "db/SqliteNoCreate.h"

namespace mae {
namespace {

TEST(SqliteNoCreate, OnlySqliteDriverStringsThatDoNotSayGetNoCreat) {
    const struct {
        const char16_t* given;
        const char16_t* passed;
    } cases[] = {
        {u"Driver=SQLite3;Database=/r.db", u"Driver=SQLite3;Database=/r.db;NoCreat=1"},
        {u"driver = {SQLite3 ODBC Driver};Database=/r.db;",
         u"driver = {SQLite3 ODBC Driver};"
         u"Database=/r.db;NoCreat=1"},
        {u"Driver=SQLite3;Database={/a;NoCreat=0}",
         u"Driver=SQLite3;Database={/a;NoCreat=0};"
         u"NoCreat=1"},
        {u"Driver=SQLite3;Database=/r.db;nocreat=0", u"Driver=SQLite3;Database=/r.db;nocreat=0"},
        {u"DSN=registry", u"DSN=registry"},
        {u"Driver={PostgreSQL Unicode};Database=sqlite",
         u"Driver={PostgreSQL Unicode};"
         u"Database=sqlite"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(WithNoCreate(c.given), c.passed) << ToUtf8(c.given);
}

}  // namespace
}  // namespace mae
