#pragma once

#include <string>
#include <string_view>

#include "common/RuntimeError.h"

namespace mae {

// What the system the program runs on can add to a connection's failure to open, as a sentence;
// "" when nothing. On Windows: that the ODBC driver or data source the string names is installed
// for programs of the other bitness only (src/app/win32/RegistryViews.cpp). Never throws; never
// holds a value of the string but a driver's or data source's name.
std::string ConnectionFailureHint(const RuntimeError& failure,
                                  std::u16string_view connectionString) noexcept;

}  // namespace mae
