// Linux: one set of ODBC drivers per system, nothing to add.
#include "app/startup/ConnectionHint.h"

namespace mae {

std::string ConnectionFailureHint(const RuntimeError&, std::u16string_view) noexcept { return {}; }

}  // namespace mae
