#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "layout/ItemLayout.h"

namespace mae {

class Connection;
class Recordset;

enum class LayoutKind { Consolidated, Abstract };

// The layout table's name as it is pasted into the lookups: without its trailing blanks, empty
// when empty (the lookup then names no table and is refused); error 5 when it is not a name
// (layout/Identifier.h), saying that naaccrparameters named it.
std::u16string CheckedTableName(std::u16string_view controlTableName);

// Looks every item up in the control table, one statement per item on layoutRecordset, and
// builds the layout (one entry per item, in list order) and the select list of the query. The
// table's name and each column item's FieldName must be names: error 5 otherwise, before any
// statement names them.
void LoadLayout(LayoutKind kind, const std::vector<std::u16string>& itemNumbers,
                Connection& control, std::u16string_view controlTableName,
                Recordset& layoutRecordset, Layout& layout, std::u16string& selectList);

}  // namespace mae
