// A process's threads, descriptors, CPU time and limits, read and set
// through /proc and prlimit (Linux).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

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
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long ticks = 0;
    // Fields 14 and 15 (utime, stime); the state is field 3.
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i >= 14)
            ticks += std::stol(field);
    }
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
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
        std::error_code error;
        std::vector<long> open;
        for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
            open.push_back(std::stol(e.path().filename().string()));
        std::sort(open.begin(), open.end());
        long lowestFree = 0;
        for (const long fd : open)
            lowestFree += fd == lowestFree ? 1 : 0;
        if (!error)
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
    Release();
}

void TightLimit::Release()
{
    if (!FApplied)
        return;
    const rlimit old{static_cast<rlim_t>(FOldSoft), static_cast<rlim_t>(FOldHard)};
    ::prlimit(static_cast<pid_t>(FPid), static_cast<__rlimit_resource>(FResource), &old, nullptr);
    FApplied = false;
}
