// Windows shows no per-process thread and descriptor counts the tests could
// compare, and one process cannot limit another's: the checks that need
// them skip.
#include "support/server_fixture.h"

std::optional<ResourceCounts> CountResources(long)
{
    return std::nullopt;
}

std::optional<long> CpuTimeMs(long)
{
    return std::nullopt;
}

TightLimit::TightLimit(long pid, Kind, long) : FPid(pid) {}

TightLimit::~TightLimit() = default;
