#include "output/Encoding.h"

// Being written.
namespace mae {}
