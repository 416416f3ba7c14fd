#include "app/ConnectionStringProvider.h"

// Being written.
namespace mae {}
