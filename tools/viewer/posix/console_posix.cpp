#include "tools/viewer/console.h"

// Terminals here take UTF-8 already.
void UseUtf8Console() {}
