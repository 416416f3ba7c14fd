#pragma once

#include <string>

namespace mae {

// Stands in for the host product's component that knows the registry database: reads
// Meridane.ini, section Databases, key Registry, whole. A missing key fails as an unregistered
// component would: error 429.
class ConnectionStringProvider {
  public:
    std::u16string GetConnectionString() const;
};

}  // namespace mae
