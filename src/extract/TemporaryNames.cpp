#include "extract/TemporaryNames.h"

#include <atomic>
#include <charconv>
#include <cstdio>

#include "extract/OutputFiles.h"
#include "platform/FileSystem.h"
#include "platform/RunSignals.h"

namespace mae {

namespace {

constexpr std::string_view TemporarySuffix = ".tmp";

constexpr std::string_view OwnNames[] = {ConsolidatedFileName, AbstractFileName, LogFileName,
                                         SelectFileName, JournalName};

std::string Hex(unsigned long long value) {
    char text[17];
    std::snprintf(text, sizeof text, "%llx", value);
    return text;
}

// Whether text is a number in base (digits and lower-case letters only, no sign) that fits in
// value; value is then that number.
template <typename T>
bool Number(std::string_view text, int base, T& value) {
    if (text.empty() || text.find_first_not_of("0123456789abcdef") != std::string_view::npos) {
        return false;
    }
    T number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (error != std::errc{} || end != text.data() + text.size()) return false;
    value = number;
    return true;
}

}  // namespace

std::string TemporaryNames::Make(std::string_view own) const {
    // One count for the whole process: two runs' names never meet, even without a lock.
    static std::atomic<unsigned> counter{0};
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about a chain of + here.
    std::string temporary(".");
    temporary.append(own).append(".").append(std::to_string(m_process));
    temporary.append("-").append(Hex(m_lock));
    temporary.append("-").append(std::to_string(counter++)).append(TemporarySuffix);
    return temporary;
}

bool TemporaryNames::RunIsGone(const TemporaryParts& parts) const {
    if (!parts.carriesRun) return true;
    if (m_lock != 0 && parts.lock == m_lock) return true;
    return !platform::ProcessIsRunning(parts.process);
}

bool TemporaryNames::Parse(std::string_view name, TemporaryParts& parts) {
    if (!name.ends_with(TemporarySuffix) || !name.starts_with('.')) return false;
    for (std::string_view own : OwnNames) {
        // "." own "." ...
        if (!(name.size() >= own.size() + 2 + TemporarySuffix.size() &&
              name.substr(1).starts_with(own) && name[own.size() + 1] == '.')) {
            continue;
        }
        parts = TemporaryParts{};
        parts.own = own;
        const std::string_view middle =
            name.substr(own.size() + 2, name.size() - own.size() - 2 - TemporarySuffix.size());
        // process "-" lock "-" n: decimal, lower-case hexadecimal, decimal; nothing else.
        const size_t first = middle.find('-');
        const size_t second = middle.find('-', first == std::string_view::npos ? 0 : first + 1);
        unsigned long process = 0;
        unsigned long long lock = 0;
        unsigned count = 0;
        if (first != std::string_view::npos && second != std::string_view::npos &&
            Number(middle.substr(0, first), 10, process) &&
            Number(middle.substr(first + 1, second - first - 1), 16, lock) &&
            Number(middle.substr(second + 1), 10, count)) {
            parts.carriesRun = true;
            parts.process = process;
            parts.lock = lock;
        }
        return true;
    }
    return false;
}

bool TemporaryNames::StandsFor(std::string_view name, std::string_view own) {
    TemporaryParts parts;
    return Parse(name, parts) && parts.carriesRun && parts.own == own;
}

bool TemporaryNames::IsOwnFinalName(std::string_view name) {
    for (std::string_view own : OwnNames) {
        if (name == own && own != JournalName) return true;
    }
    return false;
}

TemporarySlot::TemporarySlot(const std::string& path) : m_slot(platform::RememberTemporary(path)) {}

TemporarySlot& TemporarySlot::operator=(TemporarySlot&& other) noexcept {
    if (this != &other) {
        Release();
        m_slot = other.m_slot;
        other.m_slot = -1;
    }
    return *this;
}

void TemporarySlot::Release() noexcept {
    if (m_slot >= 0) platform::ForgetTemporary(m_slot);
    m_slot = -1;
}

}  // namespace mae
