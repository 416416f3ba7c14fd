#include "extract/TemporaryNames.h"

#include <atomic>
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
        if (!(name.substr(1).starts_with(own) && name.size() > own.size() + 1 &&
              name[own.size() + 1] == '.')) {
            continue;
        }
        parts = TemporaryParts{};
        parts.own = own;
        const std::string middle(
            name.substr(own.size() + 2, name.size() - own.size() - 2 - TemporarySuffix.size()));
        unsigned long process = 0;
        unsigned long long lock = 0;
        unsigned n = 0;
        int used = 0;
        if (std::sscanf(middle.c_str(), "%lu-%llx-%u%n", &process, &lock, &n, &used) == 3 &&
            used == static_cast<int>(middle.size()) &&
            middle.find_first_not_of("0123456789abcdef-") == std::string::npos) {
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
