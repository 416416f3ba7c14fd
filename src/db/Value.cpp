#include "db/Value.h"

// Being written.
namespace mae {}
