#include "support/GeneratedRegistry.h"

namespace mae::test {

GeneratedRegistry::GeneratedRegistry(const gen::RegistryOptions& options)
    : m_summary(gen::WriteRegistryDatabase(registry(), options)) {
    gen::WriteControlDatabase(control());
}

void GeneratedRegistry::WriteIni(const std::string& scanText) const {
    gen::WriteIni(path(), control(), registry(), scanText);
}

}  // namespace mae::test
