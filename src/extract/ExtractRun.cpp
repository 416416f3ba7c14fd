#include "extract/ExtractRun.h"

// Being written.
namespace mae {}
