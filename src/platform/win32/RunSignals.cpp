// A windowed Windows program is ended by the window's own close or by TerminateProcess, which no
// handler sees: nothing to set up. Temporary files a killed run leaves are removed by the next.
#include "platform/RunSignals.h"

namespace mae::platform {

RunSignalGuard::RunSignalGuard() = default;
RunSignalGuard::~RunSignalGuard() = default;

int RememberTemporary(const std::string&) { return -1; }
void ForgetTemporary(int) noexcept {}

PutInPlaceGuard::PutInPlaceGuard() = default;
PutInPlaceGuard::~PutInPlaceGuard() = default;

}  // namespace mae::platform
