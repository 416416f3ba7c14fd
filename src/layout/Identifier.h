#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mae {

// Names read from the control database (the layout table's name, each column item's FieldName)
// are pasted into statements, so they must be names and nothing else. A name is one to four
// parts joined by '.'; a part is a run of letters (ASCII or of another script), digits, '_', '$'
// and '#', or such a run with blanks inside [...] or "..."; blanks may follow the last part (a
// fixed-width CHAR column pads with them) and are not sent. Anything else (parentheses, quotes,
// ';', '--', '/*', commas, operators, blanks between words) is not a name.

// Where name breaks that rule: the position (from 0) of the first unit that cannot stand there,
// or name.size() when it ends too early ("", "[abc", "a."); npos when it is a name.
size_t IdentifierFault(std::u16string_view name);

// The name as it is sent: without the blanks at its end.
std::u16string_view SentName(std::u16string_view name);

// SentName(name) when name is a name; otherwise error 5, whose description says whose name it
// is (whose, e.g. "the FieldName of item 220 in layout table naaccr13layout"), shows it, points
// at the first unit that breaks the rule and says to correct it in the control database.
std::u16string CheckedIdentifier(std::u16string_view name, const std::string& whose);

}  // namespace mae
