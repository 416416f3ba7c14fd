// The Linux edition has no ANSI code page: it writes what a Windows-1252 PC writes.
#include "common/AnsiCodePage.h"
#include "common/Windows1252.h"

namespace mae {

const AnsiTable& AnsiBytes() noexcept { return Windows1252Bytes(); }

}  // namespace mae
