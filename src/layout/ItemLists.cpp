#include "layout/ItemLists.h"

// Being written.
namespace mae {}
