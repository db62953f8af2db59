#include "support/lock_namespace.h"

void UsePrivateLockNamespace()
{
    // Kernel object names have no per-program namespace to choose here; the
    // Windows test programs share their locks.
}
