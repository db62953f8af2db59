// Measures the patch server ("vernwick-cli serve") against the stand-in
// EpgDataCap_Bon reached directly, side by side in one run: latency of each
// command kind, throughput with several viewers, resident memory with 64
// viewers, CPU time and wake-ups while idle, and how long a stop takes, beside
// the same stop of another build of vernwick-cli given with --baseline.
//
//   relay_bench [--baseline PATH] [--stop-rounds N] [--stop-only]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "net/socket.h"
#include "remocon/net_remocon.h"
#include "remocon/patched_net_remocon.h"
#include "process/child_process.h"
#include "support/cli_server.h"
#include "support/port_file.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Percentiles {
    double p50 = 0, p99 = 0;
};

Percentiles Measure(int rounds, const std::function<void(int)>& once)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        once(i);
        times.push_back(Ms(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

std::unique_ptr<CNetRemocon> Connect(std::uint16_t port)
{
    const socket_t s = ConnectSocket("127.0.0.1", port);
    if (s == InvalidSocket)
        return nullptr;
    return std::make_unique<CNetRemocon>(s, true);
}

BON_ALIAS Row(std::int32_t index, const char* name, std::uint32_t bn, std::uint32_t spc, std::uint32_t ch,
              std::uint32_t srv)
{
    BON_ALIAS a;
    a.index = index;
    a.srv = {name, srv};
    a.bn = {bn == 0 ? "BonDriver_PT3-T.dll" : "BonDriver_PT3-S.dll", bn};
    a.spc = {"space", spc};
    a.ch = {"ch", ch};
    return a;
}

void Report(const char* what, Percentiles relay, Percentiles direct)
{
    std::printf("%-34s relay p50 %7.3f ms p99 %7.3f ms | direct p50 %7.3f ms p99 %7.3f ms | p50 +%.3f ms (x%.2f)\n",
                what, relay.p50, relay.p99, direct.p50, direct.p99, relay.p50 - direct.p50,
                direct.p50 > 0 ? relay.p50 / direct.p50 : 0.0);
}

double Throughput(std::uint16_t port, int viewers, double seconds)
{
    std::vector<std::unique_ptr<CNetRemocon>> links;
    for (int i = 0; i < viewers; ++i) {
        links.push_back(Connect(port));
        if (!links.back())
            return 0;
    }
    std::atomic<long> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (auto& link : links) {
        threads.emplace_back([&, l = link.get()] {
            // Raw exchanges: each reply comes in one piece, and the client's
            // quiet period would measure the client rather than the server.
            char reply[1024];
            while (!stop.load()) {
                if (l->Send("GetBonList", 10) != 10 || l->Recv(reply, sizeof reply) <= 0)
                    break;
                done.fetch_add(1);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads)
        t.join();
    return static_cast<double>(done.load()) / seconds;
}

long ProcKb(long pid, const char* key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

// utime + stime in clock ticks.
long CpuTicks(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream rest(all.substr(all.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

// Voluntary plus involuntary context switches of each thread.
std::map<std::string, long> Wakeups(long pid)
{
    std::map<std::string, long> result;
    const std::string base = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(base)) {
        std::ifstream in(task.path() / "status");
        std::string line;
        long n = 0;
        while (std::getline(in, line)) {
            if (line.find("ctxt_switches:") != std::string::npos)
                n += std::stol(line.substr(line.find(':') + 1));
        }
        result[task.path().filename().string()] = n;
    }
    return result;
}

struct StopCase {
    const char* name;
    bool hanging;    // a viewer's request to EpgDataCap_Bon is waiting for its reply
    bool autoLaunch; // EpgDataCap_Bon launched by the server, and ended at the stop
};

// From the stop request (SIGTERM) to the end of the server process, with 64
// viewers connected; -1 when the run could not be set up.
double StopMs(const std::string& program, const StopCase& c)
{
    StandIn standin;
    LaunchableStandIn epg;
    CliServer server;
    if (!program.empty())
        server.SetProgram(program);
    if (c.autoLaunch) {
        epg.Configure(server);
    } else {
        // EpgDataCap_Bon never answers SetService (the usual 15 s reply bound).
        if (!standin.Start({"--silent-on", "SetService"}))
            return -1;
        ConfigureChannels(server, standin.Port());
    }
    if (!server.Start())
        return -1;
    std::vector<std::unique_ptr<ViewerClient>> viewers;
    for (int i = 0; i < 64; ++i) {
        viewers.push_back(std::make_unique<ViewerClient>());
        if (!viewers.back()->Connect(server.Port()) || !viewers.back()->Ask("GetBonList", 15000, 2))
            return -1;
    }
    if (c.hanging) {
        viewers.front()->Send("SetService:1025");
        if (!WaitFor([&] { return !standin.Requests().empty() && standin.Requests().back() == "SetService:1025"; },
                     5000))
            return -1;
    }
    const auto start = Clock::now();
    if (!server.RequestStop() || !server.WaitForExit(60000))
        return -1;
    return Ms(Clock::now() - start);
}

// How long the stand-in itself takes to end when asked, with a link open:
// the part of a stop with auto-launch that is EpgDataCap_Bon's own.
double StandInCloseMs()
{
    TempDir dir;
    ChildProcess child;
    if (!child.Start(ToolPath("vernwick-standin"), {"--port", "0", "--port-file", dir.File("port")}))
        return -1;
    const auto port = WaitForPortFile(dir.File("port"), child, 10000);
    ViewerClient link;
    if (!port || !link.Connect(*port) || !link.Ask("GetBonList", 5000, 2))
        return -1;
    const auto start = Clock::now();
    if (!child.RequestStop() || !child.Wait(10000))
        return -1;
    return Ms(Clock::now() - start);
}

void ReportStops(const std::string& baseline, int rounds)
{
    const StopCase cases[] = {
        {"64 viewers", false, false},
        {"64 viewers, a request hanging", true, false},
        {"64 viewers, EpgDataCap_Bon launched", false, true},
    };
    std::printf("\nstop (SIGTERM to exit), %d rounds each, median and max\n", rounds);
    for (const StopCase& c : cases) {
        const auto measure = [&](const std::string& program) {
            std::vector<double> times;
            for (int i = 0; i < rounds; ++i)
                times.push_back(StopMs(program, c));
            std::sort(times.begin(), times.end());
            return std::pair(times[times.size() / 2], times.back());
        };
        const auto now = measure("");
        std::printf("%-38s now    %8.1f ms (max %8.1f)", c.name, now.first, now.second);
        if (!baseline.empty()) {
            const auto before = measure(baseline);
            std::printf(" | before %8.1f ms (max %8.1f) | x%.3f", before.first, before.second,
                        before.first > 0 ? now.first / before.first : 0.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::vector<double> closes;
    for (int i = 0; i < rounds; ++i)
        closes.push_back(StandInCloseMs());
    std::sort(closes.begin(), closes.end());
    std::printf("%-38s        %8.1f ms (max %8.1f)\n", "the stand-in's own end when asked", closes[closes.size() / 2],
                closes.back());
}

} // namespace

int main(int argc, char** argv)
{
    std::string baseline;
    int stopRounds = 3;
    bool stopOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--baseline" && i + 1 < argc) {
            baseline = argv[++i];
        } else if (arg == "--stop-rounds" && i + 1 < argc) {
            stopRounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--stop-only") {
            stopOnly = true;
        } else {
            std::fprintf(stderr, "usage: relay_bench [--baseline PATH] [--stop-rounds N] [--stop-only]\n");
            return 2;
        }
    }
    SocketStartup();
    if (stopOnly) {
        ReportStops(baseline, stopRounds);
        return 0;
    }
    StandIn standin;
    if (!standin.Start()) {
        std::fprintf(stderr, "cannot start the stand-in\n");
        return 1;
    }
    CliServer server;
    server.settings.RemoconPort = std::to_string(standin.Port());
    server.channels = {{"A", 0}, {"B", 1}};
    server.aliases = {Row(0, "A", 0, 0, 3, 1024), Row(1, "B", 2, 1, 5, 141)};
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the server: %s\n", server.Errors().c_str());
        return 1;
    }
    auto relay = Connect(server.Port());
    auto direct = Connect(standin.Port());
    if (!relay || !direct)
        return 1;
    constexpr int Rounds = 400;
    NamedNumberList list;
    std::int32_t current = 0;

    std::printf("latency, %d rounds each\n", Rounds);
    Report("GetBonList (virtual tuner)", Measure(Rounds, [&](int) { relay->GetBonList(list, &current); }),
           Measure(Rounds, [&](int) { direct->GetBonList(list, &current); }));
    Report("SetService (forwarded status)", Measure(Rounds, [&](int) { relay->SetService(1024); }),
           Measure(Rounds, [&](int) { direct->SetService(1024); }));
    Report("GetServiceList (forwarded list)", Measure(Rounds, [&](int) { relay->GetServiceList(list, &current); }),
           Measure(Rounds, [&](int) { direct->GetServiceList(list, &current); }));
    {
        // The same switch made straight against the stand-in.
        const socket_t s = ConnectSocket("127.0.0.1", standin.Port());
        CPatchedNetRemocon straight(server.channels, server.aliases, s, true, true);
        Report("SetCh (full channel switch)", Measure(Rounds / 4, [&](int i) { relay->SetCh(i % 2); }),
               Measure(Rounds / 4, [&](int i) { straight.SetCh(i % 2); }));
    }

    std::printf("\nthroughput of GetBonList (raw exchanges), 2 s each\n");
    for (const int viewers : {1, 8, 64}) {
        const double through = Throughput(server.Port(), viewers, 2.0);
        const double straight = Throughput(standin.Port(), viewers, 2.0);
        std::printf("%2d viewers: relay %9.0f/s | direct %9.0f/s (x%.2f)\n", viewers, through, straight,
                    straight > 0 ? through / straight : 0.0);
    }

    std::vector<std::unique_ptr<CNetRemocon>> viewers;
    for (int i = 0; i < 64; ++i)
        viewers.push_back(Connect(server.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("\nresident memory with 64 viewers: server %ld kB | stand-in %ld kB\n", ProcKb(server.Id(), "VmRSS:"),
                ProcKb(standin.Id(), "VmRSS:"));
    viewers.resize(1);

    std::this_thread::sleep_for(std::chrono::seconds(4)); // the 63 sessions end
    const long ticks = CpuTicks(server.Id());
    const auto before = Wakeups(server.Id());
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const long used = CpuTicks(server.Id()) - ticks;
    const auto after = Wakeups(server.Id());
    std::printf("\nidle 10 s with one viewer: CPU %.3f s, %zu threads\n",
                static_cast<double>(used) / static_cast<double>(sysconf(_SC_CLK_TCK)), after.size());
    for (const auto& [tid, n] : after) {
        const auto was = before.find(tid);
        const long delta = was == before.end() ? n : n - was->second;
        std::printf("  thread %s: %ld wake-ups (%.2f per 3 s)\n", tid.c_str(), delta, delta * 3.0 / 10.0);
    }
    viewers.clear();
    relay.reset();
    direct.reset();
    ReportStops(baseline, stopRounds);
    return 0;
}
