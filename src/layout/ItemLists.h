#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mae {

// The NAACCR item numbers of the consolidated record, comma-separated (57 items).
std::u16string ConsolidatedItemList();
// The NAACCR item numbers of the abstract record, comma-separated (82 items).
std::u16string AbstractItemList();
// Cuts a list at every ",", keeping empty pieces.
std::vector<std::u16string> SplitItemList(std::u16string_view list);

}  // namespace mae
