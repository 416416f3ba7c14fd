#pragma once

#include <string>

namespace mae {

// The host product's component that knows the registry database. On Windows it is the host's
// COM class (win32/ConnectionStringProvider.cpp); on Linux a stand-in
// (ConnectionStringProviderStandIn.cpp) reads Meridane.ini, section Databases, key Registry,
// whole, and a missing key fails as an unregistered component would: error 429.
class ConnectionStringProvider {
  public:
    std::u16string GetConnectionString() const;
};

}  // namespace mae
