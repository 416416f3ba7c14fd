#include "extract/OutputFiles.h"

#include "platform/FileSystem.h"

namespace mae {

std::string JoinPath(const std::string& folder, const std::string& name) {
    return platform::JoinPath(folder, name);
}

}  // namespace mae
