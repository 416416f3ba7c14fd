// The SQLite driver's UTF-8 reading on arbitrary bytes: what was in the output before stays, no
// more units than bytes come out and none of them is 0, ASCII is widened as it is, and an ASCII
// prefix of any length (which moves where the 16-byte steps fall) changes nothing after it.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "db/DriverText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t prefixLength = data[0] % 40;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    std::u16string out = u"kept";
    mae::AppendSqliteDriverText(bytes, out);
    MAE_FUZZ_CHECK(out.compare(0, 4, u"kept") == 0);
    const std::u16string text = out.substr(4);
    const size_t end = std::min(bytes.size(), bytes.find('\0'));
    MAE_FUZZ_CHECK(text.size() <= end);
    MAE_FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);

    bool ascii = true;
    for (size_t i = 0; i < end; ++i) ascii = ascii && static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii) {
        MAE_FUZZ_CHECK(text.size() == end);
        for (size_t i = 0; i < end; ++i) MAE_FUZZ_CHECK(text[i] == static_cast<char16_t>(bytes[i]));
    }

    const std::string prefix(prefixLength, 'p');
    std::u16string shifted;
    mae::AppendSqliteDriverText(prefix + std::string(bytes), shifted);
    MAE_FUZZ_CHECK(shifted == std::u16string(prefixLength, u'p') + text);
    return 0;
}
