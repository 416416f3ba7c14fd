#include "output/RecordWriters.h"

// Being written.
namespace mae {}
