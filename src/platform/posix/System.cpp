// POSIX systems have no ANSI code page: the caller decides what its files are written in.
#include "platform/System.h"

namespace mae::platform {

bool IsWindows() noexcept { return false; }

bool AnsiCodePageBytes(unsigned char*, size_t) noexcept { return false; }

bool AnsiCodePageDoubleBytes(uint16_t*, size_t) noexcept { return false; }

}  // namespace mae::platform
