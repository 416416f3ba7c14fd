#include "output/ByteSink.h"

// Being written.
namespace mae {}
