#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/ConnectionString.h"

namespace mae {

// Which platform's driver names to look for.
enum class DriverPlatform { Windows, Linux };
DriverPlatform HostDriverPlatform() noexcept;

// The installed ODBC drivers' names; asked for only when a provider needs a driver.
using DriverList = std::function<std::vector<std::u16string>()>;

// The ODBC connection string for a connection string as ADO takes it. Without a Provider key the
// text is ODBC already and is returned unchanged. With one, it is rewritten for the ODBC driver
// of the same database, by the provider's family in the table of providers (Providers.cpp):
// MSDASQL (ODBC itself), the SQL Server providers and the Access providers.
// Throws RuntimeError: err::BadInitString when the text holds a NUL character (in either form)
// or cannot be parsed, err::ProviderNotFound
// when the provider is not one of those or none of its drivers is installed. No message holds
// a value of the string other than the provider's name.
std::u16string OdbcConnectionString(std::u16string_view text, const DriverList& installed,
                                    DriverPlatform platform = HostDriverPlatform());

}  // namespace mae
