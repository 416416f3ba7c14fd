#include "extract/OutputFiles.h"

namespace mae {

std::string JoinPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

}  // namespace mae
