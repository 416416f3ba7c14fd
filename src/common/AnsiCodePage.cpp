#include "common/AnsiCodePage.h"

#include "common/Simd.h"
#include "common/Windows1252.h"
#include "platform/System.h"

namespace mae {

namespace {

// The system's own code page where it has one (the Windows edition), else what a Windows-1252
// PC writes. The code page is fixed for the life of the process: the table is built once, on
// first use, in place.
struct FileCodePage {
    AnsiTable bytes;
    bool system;
    FileCodePage() noexcept : system(platform::AnsiCodePageBytes(bytes.data(), bytes.size())) {}
};

// The same for the units the code page writes as two bytes; built once, where there are any.
struct DoubleBytePage {
    DoubleByteTable codes;
    bool any;
    DoubleBytePage() noexcept
        : any(platform::AnsiCodePageDoubleBytes(codes.data(), codes.size())) {}
};

}  // namespace

const DoubleByteTable* AnsiDoubleBytes() noexcept {
    static const DoubleBytePage page;
    return page.any ? &page.codes : nullptr;
}

const AnsiTable& AnsiBytes() noexcept {
    static const FileCodePage page;
    return page.system ? page.bytes : Windows1252Bytes();
}

void EncodeAnsi(std::u16string_view text, std::string& out) {
    const size_t start = out.size();
    out.resize(start + text.size());
    EncodeAnsi(text, out.data() + start);
}

void EncodeAnsi(std::u16string_view text, char* dst) noexcept {
    const char16_t* src = text.data();
    const size_t n = text.size();
    const AnsiTable& table = AnsiBytes();
    size_t i = 0;
    // Record text is mostly ASCII, which every ANSI code page keeps as it is: 16 units at a time
    // are narrowed at once when none of them is above 0x7F; a block holding another unit goes
    // through the table.
    for (; i + 16 <= n; i += 16) {
        if (simd::Ascii16(src + i)) {
            simd::NarrowAscii16(src + i, dst + i);
        } else {
            for (size_t j = i; j < i + 16; ++j) dst[j] = static_cast<char>(table[src[j]]);
        }
    }
    for (; i < n; ++i) dst[i] = static_cast<char>(table[src[i]]);
}

std::string EncodeAnsi(std::u16string_view text) {
    std::string out;
    EncodeAnsi(text, out);
    return out;
}

}  // namespace mae
