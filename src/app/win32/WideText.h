#pragma once
// The program's texts (UTF-16 as char16_t, UTF-8 as char) for the W API (wchar_t, UTF-16).

#include <string>
#include <string_view>

#include "common/Text.h"

namespace mae::win32 {

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline std::wstring WideFromUtf8(std::string_view text) { return Wide(FromUtf8(text)); }
inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace mae::win32
