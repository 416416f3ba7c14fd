#include "layout/LayoutLoader.h"

// Being written.
namespace mae {}
