#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mae {

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

// Which platform's driver names to look for.
enum class DriverPlatform { Windows, Linux };
DriverPlatform HostDriverPlatform() noexcept;

// The installed ODBC drivers' names; asked for only when a provider needs a driver.
using DriverList = std::function<std::vector<std::u16string>()>;

// The ODBC connection string for a connection string as ADO takes it. Without a Provider key the
// text is ODBC already and is returned unchanged. With one, it is rewritten for the ODBC driver
// of the same database: MSDASQL (ODBC itself), the SQL Server providers (SQLOLEDB, SQLNCLI*,
// MSOLEDBSQL*) and the Access providers (Microsoft.Jet.OLEDB.4.0, Microsoft.ACE.OLEDB.*).
// Throws RuntimeError: err::BadInitString when the text holds a NUL character (in either form)
// or cannot be parsed, err::ProviderNotFound
// when the provider is not one of those or none of its drivers is installed. No message holds
// a value of the string other than the provider's name.
std::u16string OdbcConnectionString(std::u16string_view text, const DriverList& installed,
                                    DriverPlatform platform = HostDriverPlatform());

}  // namespace mae
