#pragma once

#include <string>
#include <string_view>

#include "common/RuntimeError.h"

namespace mae {

// What start-up gives [Databases] Control when Meridane.ini has no such value (or is missing):
// no driver accepts it, and the connection fails to open.
inline constexpr std::u16string_view ControlNotAvailable = u"Not Available";

// What the system the program runs on can add to a connection's failure to open, as a sentence;
// "" when nothing. On Windows: that the ODBC driver or data source the string names is installed
// for programs of the other bitness only, or, for ControlNotAvailable, which Meridane.ini was
// looked for and is missing or lacks the value (src/app/win32/RegistryViews.cpp). Never throws;
// never holds a value of the string but a driver's or data source's name.
std::string ConnectionFailureHint(const RuntimeError& failure,
                                  std::u16string_view connectionString) noexcept;

}  // namespace mae
