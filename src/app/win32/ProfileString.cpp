// Meridane.ini on Windows: read by kernel32's profile routine from the Windows folder, through
// the system's ANSI code page both ways.
#include <windows.h>

#include <string>

#include "app/startup/ProfileReader.h"
#include "app/win32/WideText.h"
#include "platform/win32/WinText.h"

namespace mae {

namespace {

std::string ToAnsi(std::u16string_view text) {
    return platform::win32::Narrow(win32::Wide(text), CP_ACP);
}

std::u16string FromAnsi(const char* text, size_t length) {
    std::wstring wide;
    platform::win32::Widen(std::string_view(text, length), CP_ACP, 0, wide);
    return win32::FromWide(wide);
}

}  // namespace

std::string WindowsFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return "C:\\Windows";
    return platform::win32::Utf8(std::wstring_view(folder, length));
}

std::u16string ReadProfileString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue, size_t bufferSize,
                                 std::string_view fileName) {
    // The routine counts its buffer in 32 bits; a buffer of at least one place holds the NUL.
    const DWORD size = static_cast<DWORD>(bufferSize < 1            ? 1
                                          : bufferSize > 0x7fffffff ? 0x7fffffff
                                                                    : bufferSize);
    std::string buffer(size, '\0');
    const DWORD copied = GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(),
                                                  ToAnsi(defaultValue).c_str(), buffer.data(), size,
                                                  std::string(fileName).c_str());
    // The count never passes the buffer's last place, whatever the routine returned.
    return FromAnsi(buffer.data(), copied < size ? copied : size - 1);
}

}  // namespace mae
