#pragma once

// Text between the W API's UTF-16 and the program's byte strings, and the system's words for an
// error: the conversions every Windows part of the program (and its test driver) shares.
#include <windows.h>

#include <string>
#include <string_view>

namespace mae::platform::win32 {

// text converted from UTF-16 into codePage (CP_UTF8, CP_ACP); "" when it cannot be.
std::string Narrow(std::wstring_view text, UINT codePage);
inline std::string Utf8(std::wstring_view text) { return Narrow(text, CP_UTF8); }

// text converted from codePage into UTF-16, with the conversion's flags (MB_ERR_INVALID_CHARS:
// refuse a byte sequence the code page lacks). false, out empty, when it cannot be; an empty
// text converts.
bool Widen(std::string_view text, UINT codePage, DWORD flags, std::wstring& out);

// The system's words for an error code (FormatMessageW), in UTF-8, without the line end and the
// full stop at the end; "" when it has none.
std::string SystemMessage(DWORD error);

}  // namespace mae::platform::win32
