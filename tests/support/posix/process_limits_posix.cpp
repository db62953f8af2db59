// A process's threads, descriptors, CPU time and limits, read and set
// through /proc and prlimit (Linux).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

#include "common/file_io.h"
#include "support/server_fixture.h"

std::optional<ResourceCounts> CountResources(long pid)
{
    namespace fs = std::filesystem;
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    ResourceCounts counts;
    for (const auto& e : fs::directory_iterator(proc / "task", error))
        counts.threads += e.is_directory() ? 1 : 0;
    for (const auto& e : fs::directory_iterator(proc / "fd", error)) {
        ++counts.descriptors;
        counts.sockets += fs::read_symlink(e.path(), error).string().rfind("socket:", 0) == 0 ? 1 : 0;
    }
    if (error)
        return std::nullopt;
    return counts;
}

std::optional<long> CpuTimeMs(long pid)
{
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
    // After the command name: the state (field 3), ..., utime and stime (14, 15).
    const std::size_t close = stat.rfind(')');
    unsigned long user = 0, system = 0;
    if (close == std::string::npos ||
        std::sscanf(stat.c_str() + close + 1, " %*c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %lu %lu", &user, &system) != 2)
        return std::nullopt;
    return static_cast<long>((user + system) * 1000 / static_cast<unsigned long>(sysconf(_SC_CLK_TCK)));
}

TightLimit::TightLimit(long pid, Kind kind, long headroom) : FPid(pid)
{
    rlimit old{};
    rlim_t wanted = 0;
    if (kind == AddressSpace) {
        FResource = RLIMIT_AS;
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("VmSize:", 0) == 0)
                wanted = static_cast<rlim_t>(std::stol(line.substr(7)) + headroom) * 1024;
        }
    } else {
        // The lowest free number is the next descriptor's, so that one is
        // the first refused.
        FResource = RLIMIT_NOFILE;
        const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
        long lowestFree = 0;
        while (std::filesystem::exists(fds / std::to_string(lowestFree)))
            ++lowestFree;
        if (std::filesystem::exists(fds))
            wanted = static_cast<rlim_t>(lowestFree + headroom);
    }
    if (wanted == 0 || ::prlimit(static_cast<pid_t>(pid), static_cast<__rlimit_resource>(FResource), nullptr, &old) != 0)
        return;
    FOldSoft = old.rlim_cur;
    FOldHard = old.rlim_max;
    const rlimit tight{wanted, old.rlim_max};
    FApplied = ::prlimit(static_cast<pid_t>(pid), static_cast<__rlimit_resource>(FResource), &tight, nullptr) == 0;
}

TightLimit::~TightLimit()
{
    const rlimit old{static_cast<rlim_t>(FOldSoft), static_cast<rlim_t>(FOldHard)};
    if (FApplied)
        ::prlimit(static_cast<pid_t>(FPid), static_cast<__rlimit_resource>(FResource), &old, nullptr);
}
