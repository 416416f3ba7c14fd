// A connection string taken apart as OLE DB reads it (for the rewriting and the masking) and as
// the SQLite driver reads its own options (for the keys the program puts in front): every pair,
// and the first fault with its place.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "db/ConnectionString.h"
#include "support/TableTest.h"

namespace mae {
namespace {

struct PairsRow {
    const char* name;
    const char* what;
    const char* text;
    const char* oleDb;   // the pairs by OLE DB's rules, "key=value|..."
    const char* fault;   // the first fault by those rules, "" for none
    size_t faultAt;      // 1-based
    const char* driver;  // the pairs as the driver reads its options
};
MAE_TABLE_TEST(ConnectionStringPairs, PairsRow);

std::string Shown(const std::vector<ConnectionStringPair>& pairs) {
    std::string out;
    for (const ConnectionStringPair& p : pairs) {
        // Built by appending: a chain of + trips GCC 12's -Wrestrict in optimised builds.
        if (!out.empty()) out += '|';
        out.append(ToUtf8(p.key)).append("=").append(ToUtf8(p.value));
    }
    return out;
}

TEST_P(ConnectionStringPairs, AreReadByEachReadersRules) {
    const PairsRow& row = GetParam();
    const ConnectionStringReading reading = ReadConnectionString(FromUtf8(row.text));
    EXPECT_EQ(Shown(reading.pairs), row.oleDb);
    EXPECT_EQ(reading.fault, row.fault);
    if (*row.fault) {
        EXPECT_EQ(reading.faultAt + 1, row.faultAt);
    }
    EXPECT_EQ(Shown(DriverOptionPairs(FromUtf8(row.text))), row.driver);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ConnectionStringPairs,
    ::testing::Values(
        PairsRow{"Plain", "pairs, blanks trimmed, empty pieces passed over",
                 " Driver = SQLite3 ;;Database=/r.db; ", "Driver=SQLite3|Database=/r.db", "", 0,
                 "Driver=SQLite3|Database=/r.db"},
        PairsRow{"Enclosed", "quotes and braces, the closing character doubled inside",
                 "a=\"x;\"\"y\";b='p''q';c={r}}s}", "a=x;\"y|b=p'q|c=r}s", "", 0,
                 "a=\"x|b='p''q'|c=r}s"},
        PairsRow{"EqualsInKey", "\"==\" in a key is '=' for OLE DB, nothing special for a driver",
                 "k==1=v", "k=1=v", "", 0, "k==1=v"},
        PairsRow{"KeyWithoutEquals", "a piece without '=': a fault, or passed over", "a=1;junk;b=2",
                 "a=1", "a keyword without '='", 5, "a=1|b=2"},
        PairsRow{"NeverClosed", "a brace never closed takes the rest for a driver", "a=1;b={x;c=3",
                 "a=1", "a quoted value that is never closed", 7, "a=1|b=x;c=3"},
        PairsRow{"TextAfterBraces", "text after a closing brace", "a={x}y;b=2", "",
                 "text after a quoted value", 6, "a=x|b=2"},
        PairsRow{"NoKeyword", "a value without a keyword", "=v;b=2", "",
                 "a value without a keyword", 1, "=v|b=2"},
        PairsRow{"TabsAndLineEnds", "TAB, CR and LF are blanks to OLE DB, not to a driver",
                 "\ta=1\r\n;b=2", "a=1|b=2", "", 0, "\ta=1\r\n|b=2"}),
    test::ByName);

}  // namespace
}  // namespace mae
