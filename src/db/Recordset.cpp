#include "db/Recordset.h"

// Being written.
namespace mae {}
