#pragma once

#include <string>
#include <string_view>

namespace mae {

// Meridane.ini, the host's settings. On Linux ProfileReader.cpp reads it; on Windows
// app/win32/ProfileString.cpp hands the reads to kernel32's GetPrivateProfileStringA, in the
// system's ANSI code page (ReadProfileStringAt is Linux only).

inline constexpr std::string_view IniFileName = "Meridane.ini";

// The folder where the host keeps Meridane.ini: $WINDIR, or /etc when it is unset or empty; on
// Windows the Windows folder (UTF-8).
std::string WindowsFolder();

// Reads key in section of the ini file named fileName in WindowsFolder() (as the Windows profile
// routine does): the value, or defaultValue when the file, section or key is missing; a present
// empty key gives "". The result has at most bufferSize - 1 characters. Section and key names
// compare ignoring letter case; blanks around the value and one pair of quotes are dropped.
std::u16string ReadProfileString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue, size_t bufferSize,
                                 std::string_view fileName = IniFileName);

// Why the ini file fileName in WindowsFolder() is there but cannot be read, in the system's words
// (e.g. "Permission denied"); empty when it can be read or is missing. A folder of that name
// counts as a missing file, as the reads take it.
std::string ProfileFileUnreadable(std::string_view fileName = IniFileName);

// Reads from a file at an explicit path; the same rules.
std::u16string ReadProfileStringAt(const std::string& path, std::u16string_view section,
                                   std::u16string_view key, std::u16string_view defaultValue,
                                   size_t bufferSize);

}  // namespace mae
