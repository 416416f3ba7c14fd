#pragma once

#include <string>
#include <string_view>

namespace mae {

// The SQLite ODBC driver (sqlite3odbc) keeps every value as the engine's UTF-8 text and, asked
// for UTF-16, turns it into units by rules of its own: a lead byte without its continuation
// bytes stands for itself (a Latin-1 character), stray bytes are dropped, and a unit that
// comes out as 0 ends the text. Reading the UTF-8 bytes and turning them into units here, by
// the same rules, gives the text the driver would have given, without its per-value
// allocation and conversion.
//
// Appends the units of bytes (the driver's text of one value) to out.
void AppendSqliteDriverText(std::string_view bytes, std::u16string& out);

}  // namespace mae
