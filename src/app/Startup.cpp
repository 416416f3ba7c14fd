#include "app/Startup.h"

// Being written.
namespace mae {}
