#include "db/Value.h"

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae {

namespace {

[[noreturn]] void ThrowNull() { throw ErrorOf(err::InvalidNull); }

[[noreturn]] void ThrowMismatch(const Value& v) {
    std::string shown = ToUtf8(v.text());
    if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
    throw ErrorOf(err::TypeMismatch, "'" + shown + "' is not a number");
}

[[noreturn]] void ThrowOverflow(const std::u16string& shown) {
    throw ErrorOf(err::Overflow, ToUtf8(shown) + " does not fit");
}

template <typename Int>
Int ToInteger(const Value& v) {
    constexpr auto lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr auto hi = static_cast<double>(std::numeric_limits<Int>::max());
    switch (v.kind()) {
        case Value::Kind::Null:
            ThrowNull();
        case Value::Kind::Integer:
            if (v.integer() < static_cast<int64_t>(std::numeric_limits<Int>::min()) ||
                v.integer() > static_cast<int64_t>(std::numeric_limits<Int>::max())) {
                ThrowOverflow(DecimalText(v.integer()));
            }
            return static_cast<Int>(v.integer());
        default:
            break;
    }
    double d = ToDouble(v);
    // A value halfway between two integers goes to the even one (0.5 gives 0, 1.5 and 2.5 give
    // 2): the same stored value gives the same whole number in every conversion of the program.
    double r = std::nearbyint(d);
    if (std::abs(d - std::trunc(d)) == 0.5) r = 2.0 * std::round(d / 2.0);
    if (!(r >= lo && r <= hi)) ThrowOverflow(NumberText(d));
    return static_cast<Int>(r);
}

}  // namespace

std::optional<double> ParseNumber(std::u16string_view text) {
    text = Trim(text);
    const size_t e = text.size();
    if (e == 0 || e > 64) return std::nullopt;
    std::string ascii;
    size_t i = 0;
    auto digits = [&]() {
        size_t n = 0;
        while (i < e && text[i] >= u'0' && text[i] <= u'9') {
            ascii += static_cast<char>(text[i++]);
            ++n;
        }
        return n;
    };
    if (text[i] == u'+' || text[i] == u'-') ascii += static_cast<char>(text[i++]);
    size_t whole = digits();
    size_t frac = 0;
    if (i < e && text[i] == u'.') {
        ascii += '.';
        ++i;
        frac = digits();
    }
    if (whole + frac == 0) return std::nullopt;
    if (i < e && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < e && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
        if (digits() == 0) return std::nullopt;
    }
    if (i != e) return std::nullopt;
    return std::strtod(ascii.c_str(), nullptr);
}

std::u16string NumberText(double v) {
    if (v == 0) return u"0";
    if (std::isnan(v)) return u"NaN";
    if (std::isinf(v)) return v > 0 ? u"Infinity" : u"-Infinity";
    if (std::trunc(v) == v && std::abs(v) < 1e15) return DecimalText(static_cast<long long>(v));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s = buf;
    // Drop trailing zeros of the fraction and a leading zero of the exponent ("E+05" -> "E+5").
    size_t epos = s.find('E');
    std::string mant = epos == std::string::npos ? s : s.substr(0, epos);
    std::string expo = epos == std::string::npos ? "" : s.substr(epos);
    if (mant.find('.') != std::string::npos) {
        while (!mant.empty() && mant.back() == '0') mant.pop_back();
        if (!mant.empty() && mant.back() == '.') mant.pop_back();
    }
    if (expo.size() > 2) {
        std::string digitsPart = expo.substr(2);
        while (digitsPart.size() > 1 && digitsPart[0] == '0') digitsPart.erase(0, 1);
        expo = expo.substr(0, 2) + digitsPart;
    }
    s = mant + expo;
    return std::u16string(s.begin(), s.end());
}

std::u16string ConcatText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null:
            return {};
        case Value::Kind::Integer:
            return DecimalText(v.integer());
        case Value::Kind::Real:
            return NumberText(v.real());
        case Value::Kind::Text:
            return v.text();
    }
    return {};
}

std::u16string DirectText(const Value& v) {
    if (v.isNull()) ThrowNull();
    return ConcatText(v);
}

double ToDouble(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null:
            ThrowNull();
        case Value::Kind::Integer:
            return static_cast<double>(v.integer());
        case Value::Kind::Real:
            return v.real();
        case Value::Kind::Text:
            if (auto d = ParseNumber(v.text())) return *d;
            ThrowMismatch(v);
    }
    ThrowNull();
}

int16_t ToInt16(const Value& v) { return ToInteger<int16_t>(v); }
int32_t ToInt32(const Value& v) { return ToInteger<int32_t>(v); }

}  // namespace mae
