#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/lock_namespace.h"
#include "support/temp_dir.h"

void UsePrivateLockNamespace()
{
    // The locks live in a folder under XDG_RUNTIME_DIR, which must be the
    // user's alone; children inherit the variable.
    static TempDir runtime;
    std::filesystem::permissions(runtime.Path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
}
