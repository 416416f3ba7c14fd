// The PC's ANSI code page, as the platform converts to it.
#include "platform/System.h"

#include <windows.h>

namespace mae::platform {

bool IsWindows() noexcept { return true; }

bool AnsiCodePageBytes(unsigned char* bytes, size_t count) noexcept {
    for (size_t u = 0; u < count && u <= 0xFFFF; ++u) {
        const wchar_t unit = static_cast<wchar_t>(u);
        char converted[8] = {};
        const int n =
            WideCharToMultiByte(CP_ACP, 0, &unit, 1, converted, sizeof converted, nullptr, nullptr);
        bytes[u] = n == 1 ? static_cast<unsigned char>(converted[0]) : '?';
    }
    return true;
}

bool AnsiCodePageDoubleBytes(uint16_t* codes, size_t count) noexcept {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) return false;
    bool any = false;
    for (size_t u = 0; u < count && u <= 0xFFFF; ++u) {
        const wchar_t unit = static_cast<wchar_t>(u);
        unsigned char converted[8] = {};
        const int n = WideCharToMultiByte(CP_ACP, 0, &unit, 1, reinterpret_cast<char*>(converted),
                                          sizeof converted, nullptr, nullptr);
        codes[u] = n == 2 ? static_cast<uint16_t>((converted[0] << 8) | converted[1]) : 0;
        any = any || codes[u] != 0;
    }
    return any;
}

}  // namespace mae::platform
