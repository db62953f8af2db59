#include "support/tool_path.h"

#include "common/file_io.h"

std::string ToolPath(const std::string& name)
{
#ifdef _WIN32
    return ExecutableDir() + name + ".exe";
#else
    return ExecutableDir() + name;
#endif
}
