#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/Value.h"

namespace mae {

// The columns of a result: their names in order and which of them hold numbers. A statement's
// columns are described once (once for every execution of a prepared one) and shared, read only,
// by every row read from it, on any thread.
class ColumnSet {
  public:
    ColumnSet() = default;
    // Columns of those names, none of them numeric.
    explicit ColumnSet(const std::vector<std::u16string>& names);

    void Add(std::u16string name, bool numeric);
    size_t Count() const noexcept { return m_names.size(); }
    const std::u16string& name(size_t position) const { return m_names.at(position); }
    bool isNumeric(size_t position) const { return m_numeric.at(position); }
    // Position of the first column of that name, letter case ignored; -1 when there is none.
    int Find(std::u16string_view name) const noexcept;
    // As Find, but error 3265 naming the column when there is none.
    int Position(std::u16string_view name) const;

  private:
    // Names compare with the ASCII letters' case ignored, found without a lower-case copy.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view name) const noexcept;
    };
    struct NameEqual {
        using is_transparent = void;
        bool operator()(std::u16string_view a, std::u16string_view b) const noexcept;
    };

    std::vector<std::u16string> m_names;
    std::vector<bool> m_numeric;
    std::unordered_map<std::u16string, int, NameHash, NameEqual> m_byName;  // first position
};

// One record: its values in column order and the columns they are. A row owns its values, so it
// can be handed to another thread, and its storage serves again for a later row.
struct Row {
    std::vector<Value> values;
    std::shared_ptr<const ColumnSet> columns;
};

// Error 3265; detail, when given, says which name or position.
[[noreturn]] void ThrowItemNotFound(const std::string& detail = {});
// Error 3265 for a column name the result does not have.
[[noreturn]] void ThrowNoColumn(std::u16string_view name);

}  // namespace mae
