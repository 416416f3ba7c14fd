#include "app/startup/WindowFacts.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace mae {

namespace {

int ToBarInt(float value) noexcept {
    if (!(value > 0.0f)) return 0;
    if (value >= static_cast<float>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

}  // namespace

void ProgressPosition::SetMax(float max) noexcept {
    m_max = std::max(ToBarInt(max), 1);
    m_value = std::min(m_value, m_max);
}

void ProgressPosition::SetValue(float value) noexcept {
    m_value = std::min(ToBarInt(value), m_max);
}

bool ProgressThrottle::Passes(float value) noexcept {
    const auto now = std::chrono::steady_clock::now();
    if (value < m_max && m_passedOne && now - m_lastPassed < m_interval) return false;
    m_passedOne = true;
    m_lastPassed = now;
    return true;
}

RunTimeErrorNumber::RunTimeErrorNumber(int32_t number) noexcept {
    if (number < 0) {
        std::snprintf(text, sizeof text, "%ld (%08lx)", static_cast<long>(number),
                      static_cast<unsigned long>(static_cast<uint32_t>(number)));
    } else {
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(number));
    }
}

std::string RunTimeErrorText(int32_t number, std::string_view description,
                             std::string_view lineBreak) {
    std::string text = "Run-time error '";
    text += RunTimeErrorNumber(number).text;
    text += "':";
    text += lineBreak;
    text += lineBreak;
    text += description;
    return text;
}

}  // namespace mae
