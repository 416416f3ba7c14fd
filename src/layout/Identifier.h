#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mae {

// Names read from the control database (the layout table's name, each column item's FieldName)
// are pasted into statements, so they must be column and table references and nothing else. A
// name is one to four parts joined by '.', with blanks, tabs and line ends around it dropped:
//   - a plain part: a letter or '_', then letters, combining marks, digits, '_', '$', '#' and '@'
//     (letters, marks and digits as the Unicode character database has them, NameLetters.inc);
//   - [...] holding anything but control characters, quotes, '`' and ';', "]]" for a ']';
//   - "..." holding anything but control characters, '""' for a '"'.
// A character above ASCII that the code page the statement is narrowed to turns into ASCII
// punctuation (U+01C0 into '|') cannot stand anywhere. A last part that is plain and a word the
// database reads as a value (NULL, CURRENT_TIMESTAMP, current_user, ...) is not a column. So
// no number, '$$', '@x' or expression is a name.

// Where name breaks that rule: the position (from 0) of the first unit that cannot stand there,
// or of the word that is not a column, or the end of the trimmed name when it ends too early
// ("", "[abc", "a."); npos when it is a name.
size_t IdentifierFault(std::u16string_view name);

// The name as it is sent: without the blanks, tabs and line ends around it.
std::u16string_view SentName(std::u16string_view name);

// The name the result of a query gives the column that name selects: its last part, without the
// brackets or quotes around it and with a doubled closing delimiter read as one
// ("Patients.[Patient Id]" gives "Patient Id", "[a]]b]" gives "a]b"). For a name that passes.
std::u16string ResultColumnName(std::u16string_view name);

// SentName(name) when name is a name; otherwise error 5, whose description says whose name it
// is (whose, e.g. "the FieldName of item 220 in layout table naaccr13layout"), shows it, points
// at the first unit that breaks the rule and says to correct it in the control database.
std::u16string CheckedIdentifier(std::u16string_view name, const std::string& whose);

}  // namespace mae
