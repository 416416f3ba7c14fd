#include "layout/ItemLayout.h"

#include "db/Value.h"
#include "layout/Identifier.h"

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

std::u16string ItemLayout::ColumnName() const { return ResultColumnName(FieldName); }

}  // namespace mae
