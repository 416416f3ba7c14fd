#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "layout/ItemLayout.h"

namespace mae {

class Connection;
class Recordset;

enum class LayoutKind { Consolidated, Abstract };

// Looks every item up in the control table, one statement per item on layoutRecordset, and
// builds the layout (one entry per item, in list order) and the select list of the query.
void LoadLayout(LayoutKind kind, const std::vector<std::u16string>& itemNumbers,
                Connection& control, std::u16string_view controlTableName,
                Recordset& layoutRecordset, Layout& layout, std::u16string& selectList);

}  // namespace mae
