#include "db/Connection.h"

// Being written.
namespace mae {}
