#include "support/server_fixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/file_io.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/port_file.h"
#include "support/standin.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

void ConfigureChannels(CliServer& server, std::uint16_t remoconPort)
{
    server.settings.RemoconPort = std::to_string(remoconPort);
    // "ＢＳ日テレ" in code page 932 among plain names.
    server.channels = {{"Sogo2", 0}, {"\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C", 1}, {"Sogo1", 2}, {"Shop", 3}};
    server.aliases = {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024),
                      AliasRow(3, 2, 4, 1, 55)};
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::size_t CountLines(const std::vector<std::string>& lines, const std::string& line)
{
    std::size_t n = 0;
    for (const std::string& l : lines)
        n += l == line ? 1 : 0;
    return n;
}

std::size_t CountText(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

std::optional<ResourceCounts> CountResources(long pid)
{
#ifdef __linux__
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
#else
    (void)pid;
    return std::nullopt;
#endif
}

std::optional<long> CpuTimeMs(long pid)
{
#ifdef __linux__
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
#else
    (void)pid;
    return std::nullopt;
#endif
}

TightLimit::TightLimit(long pid, Kind kind, long headroom) : FPid(pid)
{
#ifdef __linux__
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
#else
    (void)kind;
    (void)headroom;
#endif
}

TightLimit::~TightLimit()
{
    Release();
}

void TightLimit::Release()
{
#ifdef __linux__
    if (!FApplied)
        return;
    const rlimit old{static_cast<rlim_t>(FOldSoft), static_cast<rlim_t>(FOldHard)};
    ::prlimit(static_cast<pid_t>(FPid), static_cast<__rlimit_resource>(FResource), &old, nullptr);
#endif
    FApplied = false;
}

LaunchableStandIn::LaunchableStandIn() : FPort(FreePort())
{
    const std::string name = "EpgStub-" + FDir.Path().filename().string() +
#ifdef _WIN32
                             ".exe";
#else
                             "";
#endif
    FExe = FDir.File(name);
    std::filesystem::copy_file(ToolPath("vernwick-standin"), FExe);
}

LaunchableStandIn::~LaunchableStandIn()
{
    if (FOwn.Running())
        FOwn.Terminate();
    if (RunningByName())
        EndLetGoCopy();
}

bool LaunchableStandIn::EndLetGoCopy()
{
    // The port it listens on, which its parameters may have moved.
    std::uint16_t port = FPort;
    if (const auto text = ReadWholeFile(FDir.File("launched.port")))
        port = static_cast<std::uint16_t>(std::stoi(*text));
    ViewerClient direct;
    if (direct.Connect(port))
        direct.Ask("GetNextPgInfo", 1000);
    return EndsWithin(5000);
}

void LaunchableStandIn::Configure(CliServer& server, const std::string& extraParams)
{
    ConfigureChannels(server, FPort);
    server.settings.EpgDataCapBonAutoLaunch = true;
    server.settings.EpgDataCapBonExePath = FExe;
    server.settings.EpgDataCapBonExeParam = "--port " + std::to_string(FPort) + " --exit-on GetNextPgInfo --log " +
                                            QuoteArgument(FDir.File("requests.log")) + " --port-file " +
                                            QuoteArgument(FDir.File("launched.port")) + extraParams;
}

bool LaunchableStandIn::StartOwn()
{
    if (!FOwn.Start(FExe, {"--port", std::to_string(FPort), "--port-file", FDir.File("own.port")}))
        return false;
    return WaitForPortFile(FDir.File("own.port"), FOwn, 10000).has_value();
}

bool LaunchableStandIn::RunningByName()
{
    CEpgDataCapBonManager probe(FExe, "", "", nullptr);
    return probe.FindRunningProcess();
}

bool LaunchableStandIn::EndsWithin(int ms)
{
    return WaitFor([this] { return !RunningByName(); }, ms);
}

std::vector<std::string> LaunchableStandIn::LogLines() const
{
    return StandInLogLines(FDir.File("requests.log"));
}
