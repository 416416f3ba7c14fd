#include "extract/ExclusionTests.h"

// Being written.
namespace mae {}
