#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace mae::fuzz {

// Takes numbers and texts off the front of a fuzz input; past its end everything reads as zero
// or empty, so any input is a valid sequence of requests.
class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const noexcept { return m_pos >= m_size; }

    uint8_t Byte() { return empty() ? 0 : m_data[m_pos++]; }
    int16_t Int16() {
        const uint16_t low = Byte();
        const uint16_t high = Byte();
        return static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
    }
    int32_t Int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return static_cast<int32_t>(v);
    }
    // count UTF-16 units, each made of two bytes (low first), or of one byte when narrow, which
    // makes the ASCII and Latin-1 units the interesting code spends most of its time on likely.
    std::u16string Units(size_t count, bool narrow) {
        std::u16string out;
        for (size_t i = 0; i < count && !empty(); ++i) {
            out.push_back(narrow ? char16_t(Byte()) : static_cast<char16_t>(Int16()));
        }
        return out;
    }
    std::u16string Rest(bool narrow) { return Units(m_size, narrow); }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken expectation: print which one and abort, which libFuzzer records as a crash.
#define MAE_FUZZ_CHECK(cond)                                                              \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

}  // namespace mae::fuzz
