#include "layout/ItemLayout.h"

#include "db/Value.h"

namespace mae {

bool ItemLayout::IsItem20() const {
    auto number = ParseNumber(ItemNumber);
    return number && *number == 20.0;
}

}  // namespace mae
