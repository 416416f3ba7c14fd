#pragma once
// The registry's two views. 64-bit Windows keeps the keys that 32-bit programs see (COM classes,
// ODBC drivers, System DSNs) apart from those of 64-bit programs, and each program sees only its
// own: a host component or ODBC driver installed for the other bitness is simply missing. These
// look in both, so that the report can say which build of this program to run.

#include <windows.h>

#include <string>
#include <string_view>

#include "common/RuntimeError.h"

namespace mae::win32 {

// This build's bitness and the other one's.
inline constexpr int OwnBits = static_cast<int>(sizeof(void*) * 8);
inline constexpr int OtherBits = OwnBits == 64 ? 32 : 64;

enum class View { Own, Other };
enum class Holding { OwnView, OtherViewOnly, Nowhere };

// Where the key root\path is (KEY_WOW64_32KEY / KEY_WOW64_64KEY). On 32-bit Windows, which has
// one view, never OtherViewOnly.
Holding FindKey(HKEY root, const std::wstring& path);

// The text value name ("" the default) of root\path in the view; "" when there is none.
std::wstring ReadText(HKEY root, const std::wstring& path, const std::wstring& name, View view);

// root\path as a 64-bit registry editor shows the key of the view of programs of that bitness:
// HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\ODBC\... for 32-bit programs' SOFTWARE\ODBC\....
std::string KeyName(HKEY root, std::wstring_view path, int bits);

// For a failure to create the host's class clsid ("{...}"): the sentence saying that it is
// registered for programs of the other bitness only, where, and which build to run; "" when it
// is registered in this program's view or in neither.
std::string ComponentViewHint(const std::wstring& clsid);

// For a connection that failed to open (SQLDriverConnect's IM002 "not found" or IM014
// "architecture mismatch", or the provider's driver missing, error 3706): the sentence saying that
// the ODBC driver or data source its string names is installed for programs of the other bitness
// only, and which build to run; "" when that is not the cause. Never a value of the string but a
// driver's or data source's name.
std::string ConnectionViewHint(const RuntimeError& failure, std::u16string_view connectionString);

}  // namespace mae::win32
