// The Windows edition writes the PC's ANSI code page, as the platform converts to it.
#include <windows.h>

#include "common/AnsiCodePage.h"

namespace mae {

namespace {

// Each unit converted alone, so a unit is always one byte: a surrogate pair is two '?', and a
// unit that a double-byte code page writes as two bytes becomes '?'. The code page is fixed for
// the life of the process, so the table is built once, on first use, in place.
struct PlatformTable {
    AnsiTable bytes;
    PlatformTable() noexcept {
        for (unsigned u = 0; u < bytes.size(); ++u) {
            const wchar_t unit = static_cast<wchar_t>(u);
            char converted[8] = {};
            const int n = WideCharToMultiByte(CP_ACP, 0, &unit, 1, converted, sizeof converted,
                                              nullptr, nullptr);
            bytes[u] = n == 1 ? static_cast<unsigned char>(converted[0]) : '?';
        }
    }
};

}  // namespace

const AnsiTable& AnsiBytes() noexcept {
    static const PlatformTable table;
    return table.bytes;
}

}  // namespace mae
