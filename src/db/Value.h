#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mae {

// A field's value as the database gave it: Null, a whole number, a real number or a text.
class Value {
  public:
    enum class Kind { Null, Integer, Real, Text };

    Value() = default;
    explicit Value(int64_t v) : m_kind(Kind::Integer), m_int(v) {}
    explicit Value(double v) : m_kind(Kind::Real), m_real(v) {}
    explicit Value(std::u16string v) : m_kind(Kind::Text), m_text(std::move(v)) {}

    Kind kind() const noexcept { return m_kind; }
    bool isNull() const noexcept { return m_kind == Kind::Null; }
    int64_t integer() const noexcept { return m_int; }
    double real() const noexcept { return m_real; }
    const std::u16string& text() const noexcept { return m_text; }

    // In-place setters for the row layer: a value reused row after row keeps its text's storage.
    void SetNull() noexcept { m_kind = Kind::Null; }
    void SetInteger(int64_t v) noexcept {
        m_kind = Kind::Integer;
        m_int = v;
    }
    void SetReal(double v) noexcept {
        m_kind = Kind::Real;
        m_real = v;
    }
    // Makes the value an empty text and hands out its storage to be filled.
    std::u16string& SetText() noexcept {
        m_kind = Kind::Text;
        m_text.clear();
        return m_text;
    }

  private:
    Kind m_kind = Kind::Null;
    int64_t m_int = 0;
    double m_real = 0;
    std::u16string m_text;
};

// Text by concatenation with the empty text: Null gives "", numbers their decimal text.
std::u16string ConcatText(const Value& v);
// Text taken directly: as ConcatText, but Null is error 94 (Invalid use of Null).
std::u16string DirectText(const Value& v);
// Number: a number as is, a text that reads as a number (blanks around it allowed).
// Null is error 94, any other text error 13 (Type mismatch).
double ToDouble(const Value& v);
// 16-bit integer: nearest integer, halves to even. Null 94, non-number 13, outside -32768..32767 6.
int16_t ToInt16(const Value& v);
// 32-bit integer, same rules with the range -2147483648..2147483647.
int32_t ToInt32(const Value& v);

// Reads a decimal number from text ("07", " 12 ", "-3.5", "1E3"); nullopt when it is not one.
std::optional<double> ParseNumber(std::u16string_view text);
// Decimal text of a number: whole numbers without ".0", others with up to 15 significant digits.
std::u16string NumberText(double v);

}  // namespace mae
