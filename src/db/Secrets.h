#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mae {

// The password values of a connection string in either form (PWD, Password, Jet OLEDB:Database
// Password), including those inside Extended Properties, and every text a driver could take for
// one when it reads the string by other rules or the string cannot be parsed: after each such
// keyword, the text up to ';' or the end, and the text inside an opening brace or quote. Each
// comes in its own form and in the forms a driver manager may narrow it to before it quotes it
// (each UTF-16 unit cut to its low byte, or '?' for a unit beyond one byte).
std::vector<std::u16string> ConnectionStringSecrets(std::u16string_view text);

// A driver's message (UTF-8) made safe to show: every occurrence of each secret of three or more
// characters, the longest first; then, after every password keyword of the message itself
// ("PWD", "Password", "Jet OLEDB:Database Password", any case, then '='), its value up to ';',
// '}' or the end whatever its characters (one that opens with a brace, to its closing one). Each
// is replaced by "***".
std::string WithoutSecrets(std::string text, const std::vector<std::u16string>& secrets);

}  // namespace mae
