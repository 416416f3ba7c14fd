#include "output/RecordBuffer.h"

// Being written.
namespace mae {}
