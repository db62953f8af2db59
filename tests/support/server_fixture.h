#pragma once
// Shared pieces of the patch server's end-to-end tests: the channel set over
// the stand-in's tree, polling and counting, the server process's threads and
// descriptors, and a copy of the stand-in that the server launches as
// EpgDataCap_Bon.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "process/child_process.h"
#include "support/cli_server.h"
#include "support/temp_dir.h"

// Four channels over services of the stand-in's built-in tree, on both of
// its BonDrivers; the second one's name is Japanese (code page 932).
void ConfigureChannels(CliServer& server, std::uint16_t remoconPort);

// Polls condition every 10 ms; false when it is still false after timeoutMs.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);
std::size_t CountLines(const std::vector<std::string>& lines, const std::string& line);
std::size_t CountText(const std::string& text, const std::string& needle);
// Milliseconds since start.
long ElapsedMs(std::chrono::steady_clock::time_point start);

// Threads and open sockets of a running process; nothing where the system
// does not show them (only Linux does, through /proc).
struct ResourceCounts {
    std::size_t threads = 0;
    std::size_t sockets = 0;
    std::size_t descriptors = 0;
    bool operator==(const ResourceCounts&) const = default;
};
std::optional<ResourceCounts> CountResources(long pid);
// CPU time (user and system) a process has used, in milliseconds; nothing
// where the system does not show it.
std::optional<long> CpuTimeMs(long pid);

// Holds a running process to what it has now: its address space plus
// headroom kB, or its open descriptors plus headroom (none at or above the
// lowest free number) until its end. Only where the system can limit
// another process (Linux); Applied tells.
class TightLimit {
public:
    enum Kind { AddressSpace, Descriptors };
    TightLimit(long pid, Kind kind, long headroom);
    ~TightLimit();
    TightLimit(const TightLimit&) = delete;
    TightLimit& operator=(const TightLimit&) = delete;
    bool Applied() const { return FApplied; }

private:
    long FPid;
    int FResource = 0;
    bool FApplied = false;
    unsigned long long FOldSoft = 0, FOldHard = 0;
};

// A copy of the stand-in under a file name of its own, used as the
// EpgDataCap_Bon executable, so that the by-name search cannot see the
// stand-ins of tests running beside this one.
class LaunchableStandIn {
public:
    LaunchableStandIn();
    ~LaunchableStandIn();
    LaunchableStandIn(const LaunchableStandIn&) = delete;
    LaunchableStandIn& operator=(const LaunchableStandIn&) = delete;

    // The server launches this copy, on Port(), logging to a file of its own,
    // with "--exit-on GetNextPgInfo" so that a copy let go can be ended.
    void Configure(CliServer& server, const std::string& extraParams = "");
    // Starts a copy as if the user had, before any viewer came.
    bool StartOwn();
    ChildProcess& Own() { return FOwn; }
    // Ends a launched copy that the server let go of, or that was left
    // behind by a server that could only be ended by force.
    bool EndLetGoCopy();
    bool RunningByName();
    bool EndsWithin(int ms);
    std::vector<std::string> LogLines() const;
    std::uint16_t Port() const { return FPort; }
    const std::string& Exe() const { return FExe; }
    std::string File(const std::string& name) const { return FDir.File(name); }

private:
    TempDir FDir;
    std::uint16_t FPort;
    std::string FExe;
    ChildProcess FOwn;
};
