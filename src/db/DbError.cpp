#include "db/DbError.h"

// Being written.
namespace mae {}
