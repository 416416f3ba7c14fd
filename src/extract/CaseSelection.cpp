#include "extract/CaseSelection.h"

// Being written.
namespace mae {}
