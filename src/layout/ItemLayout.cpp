#include "layout/ItemLayout.h"

// Being written.
namespace mae {}
