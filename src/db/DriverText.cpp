#include "db/DriverText.h"

#include "common/Simd.h"

namespace mae {

namespace {

bool IsContinuation(std::string_view bytes, size_t at) noexcept {
    return at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
}

unsigned Low6(std::string_view bytes, size_t at) noexcept {
    return static_cast<unsigned char>(bytes[at]) & 0x3Fu;
}

}  // namespace

void AppendSqliteDriverText(std::string_view bytes, std::u16string& out) {
    // The driver measures its text with strlen: a NUL byte ends it.
    if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
    }
    const size_t start = out.size();
    out.resize(start + bytes.size());  // never more units than bytes
    char16_t* dst = out.data() + start;
    size_t n = 0;  // units written
    size_t i = 0;
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
    while (i < bytes.size()) {
        // Registry text is mostly ASCII: 16 bytes without a high bit are widened at once.
        while (i + 16 <= bytes.size() && simd::WidenAscii16(src + i, dst + n)) {
            i += 16;
            n += 16;
        }
        if (i == bytes.size()) break;
        const unsigned c = src[i];
        unsigned long unit = c;
        size_t used = 1;
        if (c < 0x80) {
            // as is
        } else if (c <= 0xC1 || c >= 0xF5) {
            ++i;  // a byte that cannot start a sequence is dropped
            continue;
        } else if (c < 0xE0) {
            if (IsContinuation(bytes, i + 1)) {
                unit = ((c & 0x1Fu) << 6) | Low6(bytes, i + 1);
                used = 2;
            }
        } else if (c < 0xF0) {
            if (IsContinuation(bytes, i + 1) && IsContinuation(bytes, i + 2)) {
                unit = ((c & 0x0Fu) << 12) | (Low6(bytes, i + 1) << 6) | Low6(bytes, i + 2);
                used = 3;
            }
        } else if (IsContinuation(bytes, i + 1) && IsContinuation(bytes, i + 2) &&
                   IsContinuation(bytes, i + 3)) {
            // Only two bits of the lead byte count, as in the driver: F4 80 80 80 comes out as 0.
            unsigned long code = ((c & 0x03u) << 18) | (Low6(bytes, i + 1) << 12) |
                                 (Low6(bytes, i + 2) << 6) | Low6(bytes, i + 3);
            used = 4;
            if (code >= 0x10000) {
                code -= 0x10000;
                dst[n++] = static_cast<char16_t>(0xD800 | ((code >> 10) & 0x3FF));
                code = 0xDC00 | (code & 0x3FF);
            }
            unit = code;
        }
        if (unit == 0) break;  // the driver's text ends at a 0 unit
        dst[n++] = static_cast<char16_t>(unit);
        i += used;
    }
    out.resize(start + n);
}

}  // namespace mae
