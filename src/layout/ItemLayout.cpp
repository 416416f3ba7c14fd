#include "layout/ItemLayout.h"

#include "db/Value.h"

namespace mae {

bool ItemLayout::IsItem20() const {
    // Writers ask this for every entry of every record: plain digit strings are compared
    // directly, anything else ("20.0", " 20") goes through the number conversion.
    bool digitsOnly = !ItemNumber.empty();
    for (char16_t c : ItemNumber) digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    if (digitsOnly) {
        std::u16string_view digits(ItemNumber);
        while (digits.size() > 1 && digits.front() == u'0') digits.remove_prefix(1);
        return digits == u"20";
    }
    auto number = ParseNumber(ItemNumber);
    return number && *number == 20.0;
}

std::u16string_view ItemLayout::ColumnName() const {
    std::u16string_view name(FieldName);
    // A part in brackets or quotes holds no '.' (layout/Identifier.h), so the last one ends it.
    if (const size_t dot = name.rfind(u'.'); dot != std::u16string_view::npos) {
        name.remove_prefix(dot + 1);
    }
    if (name.size() >= 2 && ((name.front() == u'[' && name.back() == u']') ||
                             (name.front() == u'"' && name.back() == u'"'))) {
        name = name.substr(1, name.size() - 2);
    }
    return name;
}

}  // namespace mae
