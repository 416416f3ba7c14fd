// Meridane.ini on Windows: read by kernel32's profile routine from the Windows folder, through
// the system's ANSI code page both ways.
#include <windows.h>

#include <string>

#include "app/startup/ProfileReader.h"

namespace mae {

namespace {

std::string ToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::u16string FromAnsi(const char* text, size_t length) {
    if (length == 0) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    std::u16string out(static_cast<size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length),
                            reinterpret_cast<wchar_t*>(out.data()), size);
    }
    return out;
}

}  // namespace

std::string WindowsFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return "C:\\Windows";
    const int size = WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
    return out;
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
