#include "output/ScrubNonAscii.h"

// Being written.
namespace mae {}
