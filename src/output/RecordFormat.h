#pragma once

#include <string_view>

namespace mae {

// NAACCR 13.0 record type "A".
inline constexpr int RecordLength = 22824;
inline constexpr int RecordTypeColumn = 1;
inline constexpr int RecordTypeLength = 1;
inline constexpr std::u16string_view RecordType = u"A";
inline constexpr int VersionColumn = 17;
inline constexpr int VersionLength = 3;
inline constexpr int MedrefIdColumn = 20879;
inline constexpr int MedrefIdLength = 8;
inline constexpr std::string_view LineEnd = "\r\n";
inline constexpr int LineBytes = RecordLength + 2;  // one byte per character + CR LF

}  // namespace mae
