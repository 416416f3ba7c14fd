#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mae {

class RuntimeError;

// One "key=value" of a connection string: the key with its blanks trimmed, the value with its
// quotes or braces removed and doubled closing characters made single.
struct ConnectionStringPair {
    std::u16string key;
    std::u16string value;
};

// Splits a connection string into its pairs, in order, repeats kept. Keys are separated from
// values by '=' ("==" inside a key is a literal '='), pairs by ';'. A value may be enclosed in
// "...", '...' or {...}; inside, the closing character is written twice. Blanks around keys and
// unenclosed values are dropped. Throws RuntimeError (err::BadInitString) on a key without '=',
// an empty key, a value whose enclosing character is never closed, or text after it.
std::vector<ConnectionStringPair> ParseConnectionString(std::u16string_view text);

// The pairs of a connection string read by the same rules up to its first fault; never throws.
std::vector<ConnectionStringPair> ReadablePairs(std::u16string_view text);

// The pairs of an ODBC string as a driver reads its own options (the SQLite driver's NoCreat,
// Timeout, Database), which never fails: only braces enclose a value ("}}" in it standing for
// '}'), only spaces are trimmed, a piece without '=' is passed over, and so is the text after a
// closing brace up to the next ';'; a brace never closed takes the rest of the string.
std::vector<ConnectionStringPair> DriverOptionPairs(std::u16string_view text);

// The first pair of that keyword, letter case ignored; nullptr when there is none.
const ConnectionStringPair* FindPair(const std::vector<ConnectionStringPair>& pairs,
                                     std::u16string_view key);

// The pairs of a connection string read by OLE DB's rules up to its first fault, and the fault
// ("" when none) with the position it is at.
struct ConnectionStringReading {
    std::vector<ConnectionStringPair> pairs;
    std::string fault;
    size_t faultAt = 0;
};
ConnectionStringReading ReadConnectionString(std::u16string_view text);
// Error BadInitString: its standard text, then detail, what is wrong with the string.
RuntimeError BadConnectionString(const std::string& detail);
// The same for a fault found at that position of what (e.g. "the connection string").
[[noreturn]] void ThrowBadConnectionString(const std::string& fault, size_t at, const char* what);

}  // namespace mae
