#include "db/Row.h"

#include <cstdint>
#include <utility>

#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae {

size_t ColumnSet::NameHash::operator()(std::u16string_view name) const noexcept {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char16_t c : name) hash = (hash ^ LowerAsciiLetter(c)) * 1099511628211ull;
    return static_cast<size_t>(hash);
}

bool ColumnSet::NameEqual::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    return EqualsIgnoreCase(a, b);
}

ColumnSet::ColumnSet(const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) Add(name, false);
}

void ColumnSet::Add(std::u16string name, bool numeric) {
    m_byName.try_emplace(name, static_cast<int>(m_names.size()));  // the first of a name stays
    m_names.push_back(std::move(name));
    m_numeric.push_back(numeric);
}

int ColumnSet::Find(std::u16string_view name) const noexcept {
    const auto it = m_byName.find(name);
    return it == m_byName.end() ? -1 : it->second;
}

int ColumnSet::Position(std::u16string_view name) const {
    const int position = Find(name);
    if (position < 0) ThrowNoColumn(name);
    return position;
}

void ThrowItemNotFound(const std::string& detail) {
    throw RuntimeError(err::ItemNotFound,
                       "Item cannot be found in the collection corresponding to the requested "
                       "name or ordinal" +
                           (detail.empty() ? std::string(".") : ": " + detail));
}

void ThrowNoColumn(std::u16string_view name) {
    ThrowItemNotFound("no column '" + ToUtf8(name) + "' in the query's result.");
}

}  // namespace mae
