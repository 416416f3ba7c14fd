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

}  // namespace mae::platform
