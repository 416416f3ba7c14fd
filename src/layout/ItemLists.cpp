#include "layout/ItemLists.h"

namespace mae {

std::vector<std::u16string> SplitItemList(std::u16string_view list) {
    std::vector<std::u16string> items;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(u',', start);
        if (comma == std::u16string_view::npos) {
            items.emplace_back(list.substr(start));
            return items;
        }
        items.emplace_back(list.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace mae
