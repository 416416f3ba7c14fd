#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mae {

// Where one NAACCR item comes from and where it goes in the record.
struct ItemLayout {
    std::u16string ItemNumber;  // as split from the item list, e.g. u"20"
    std::u16string FieldName;   // registry column; empty when the item has no layout row
    int16_t ColumnStart = 0;    // 1-based start column in the record
    int16_t FieldLength = 0;
    std::u16string Prompting;  // "X" (exactly) marks a text item taken from Remarks

    bool IsTextEntry() const { return Prompting == u"X"; }
    // The name the query's result gives the column FieldName selects: its last part, without the
    // brackets or quotes around it ("Patients.[Patient Id]" gives "Patient Id"); a plain name is
    // FieldName itself ("[a]]b]" gives "a]b").
    std::u16string ColumnName() const;
    // Item 20 (Patient ID Number) is zero-padded on the left by the writers.
    bool IsItem20() const;
};

using Layout = std::vector<ItemLayout>;

}  // namespace mae
