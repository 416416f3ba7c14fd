#include "app/ProfileReader.h"

// Being written.
namespace mae {}
