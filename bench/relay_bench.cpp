// Measures the patch server ("vernwick-cli serve") against the stand-in
// EpgDataCap_Bon reached directly, side by side in one run: latency of each
// command kind, GetBonList while another viewer's switch is in flight,
// throughput of the virtual tuner's answers with several viewers, an honest
// viewer beside viewers that never read, resident memory with 64 viewers, CPU
// time and wake-ups while idle, and how long a stop takes. With --baseline,
// another build of vernwick-cli (the one before a change) is measured in the
// same run beside this one.
//
//   relay_bench [--baseline PATH] [--stop-rounds N] [--only SECTION]
//   SECTION: latency, inflight, throughput, never-readers, idle, stop
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
#include "net/socket_platform.h"
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

// A viewer's connection, made as another program makes it: without the
// "hostent" lock, which the server under test shares, so that a connect
// waiting for a full backlog cannot hold up the server's own connect.
std::unique_ptr<CNetRemocon> Connect(std::uint16_t port)
{
    const auto loopback = socket_platform::ResolveIPv4("127.0.0.1");
    const socket_t s = socket_platform::CreateStreamSocket();
    if (s == InvalidSocket)
        return nullptr;
    if (!loopback || loopback->empty() || socket_platform::Connect(s, loopback->front(), port, ConnectTimeoutMs,
                                                                   InvalidSocket) != 0) {
        CloseSocket(s);
        return nullptr;
    }
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

void Report(const char* what, Percentiles relay, Percentiles direct, const Percentiles* before = nullptr)
{
    std::printf("%-34s relay p50 %7.3f ms p99 %7.3f ms | direct p50 %7.3f ms p99 %7.3f ms | p50 +%.3f ms (x%.2f)",
                what, relay.p50, relay.p99, direct.p50, direct.p99, relay.p50 - direct.p50,
                direct.p50 > 0 ? relay.p50 / direct.p50 : 0.0);
    if (before)
        std::printf(" | before p50 %7.3f ms p99 %7.3f ms, +%.3f ms", before->p50, before->p99, before->p50 - direct.p50);
    std::printf("\n");
}

// A server with the two channels below on the stand-in at port, run from
// program (this build when empty), with extra settings-file lines.
bool StartServer(CliServer& server, const std::string& program, std::uint16_t port, int chListReplyLimit = 4095)
{
    if (!program.empty())
        server.SetProgram(program);
    server.settings.RemoconPort = std::to_string(port);
    server.settings.ChListReplyLimit = chListReplyLimit;
    server.channels = {{"A", 0}, {"B", 1}};
    server.aliases = {Row(0, "A", 0, 0, 3, 1024), Row(1, "B", 2, 1, 5, 141)};
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the server: %s\n", server.Errors().c_str());
        return false;
    }
    return true;
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
    std::vector<std::string> faults; // the stand-in's, instead of a silent SetService
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
        if (!standin.Start(c.faults.empty() ? std::vector<std::string>{"--silent-on", "SetService"} : c.faults))
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
    // The upstream's faults count its requests: the link's own four come
    // first, then the stop's re-selection.
    const StopCase cases[] = {
        {"64 viewers", false, false, {}},
        {"64 viewers, a request hanging", true, false, {}},
        {"64 viewers, EpgDataCap_Bon launched", false, true, {}},
        {"64 viewers, upstream gone silent", false, false, {"--silent-on", "GetBonList", "--fault-at", "5"}},
        {"64 viewers, upstream answering in 12 s", false, false, {"--delay", "GetBonList=12000", "--fault-at", "5"}},
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

// Latency of each command kind through this build, the baseline and directly.
void ReportLatency(const std::string& baseline)
{
    StandIn standin;
    CliServer server, before;
    if (!standin.Start() || !StartServer(server, "", standin.Port()) ||
        (!baseline.empty() && !StartServer(before, baseline, standin.Port())))
        return;
    auto relay = Connect(server.Port());
    auto old = baseline.empty() ? nullptr : Connect(before.Port());
    auto direct = Connect(standin.Port());
    if (!relay || !direct || (!baseline.empty() && !old))
        return;
    constexpr int Rounds = 400;
    NamedNumberList list;
    std::int32_t current = 0;
    std::printf("latency, %d rounds each\n", Rounds);
    const auto row = [&](const char* what, const std::function<void(CNetRemocon&, int)>& once, int rounds) {
        const Percentiles now = Measure(rounds, [&](int i) { once(*relay, i); });
        const Percentiles straight = Measure(rounds, [&](int i) { once(*direct, i); });
        if (old) {
            const Percentiles was = Measure(rounds, [&](int i) { once(*old, i); });
            Report(what, now, straight, &was);
        } else {
            Report(what, now, straight);
        }
    };
    row("GetBonList (virtual tuner)", [&](CNetRemocon& l, int) { l.GetBonList(list, &current); }, Rounds);
    row("SetService (forwarded status)", [&](CNetRemocon& l, int) { l.SetService(1024); }, Rounds);
    row("GetServiceList (forwarded list)", [&](CNetRemocon& l, int) { l.GetServiceList(list, &current); }, Rounds);
    {
        // The same switch made straight against the stand-in.
        const socket_t s = ConnectSocket("127.0.0.1", standin.Port());
        CPatchedNetRemocon straight(server.channels, server.aliases, s, true, true);
        const auto viaRelay = Measure(Rounds / 4, [&](int i) { relay->SetCh(i % 2); });
        const auto viaDirect = Measure(Rounds / 4, [&](int i) { straight.SetCh(i % 2); });
        if (old) {
            const auto viaBefore = Measure(Rounds / 4, [&](int i) { old->SetCh(i % 2); });
            Report("SetCh (full channel switch)", viaRelay, viaDirect, &viaBefore);
        } else {
            Report("SetCh (full channel switch)", viaRelay, viaDirect);
        }
    }
}

// A new viewer's start-up (connect and GetBonList) while another viewer's
// channel switch is in flight: EpgDataCap_Bon takes 300 ms to open another
// BonDriver, and the other viewer switches back and forth without a pause.
Percentiles StartUpDuringSwitches(std::uint16_t port, std::uint16_t switchPort, int rounds)
{
    std::atomic<bool> stop{false};
    std::thread switching([&] {
        auto link = Connect(switchPort);
        for (int i = 0; link && !stop; ++i)
            link->SetCh(i % 2);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Percentiles p = Measure(rounds, [&](int) {
        ViewerClient viewer;
        if (viewer.Connect(port))
            viewer.Ask("GetBonList", 15000, 0);
    });
    stop = true;
    switching.join();
    return p;
}

void ReportInFlight(const std::string& baseline)
{
    StandIn standin;
    CliServer server, before;
    if (!standin.Start({"--delay", "SetBon=300"}) || !StartServer(server, "", standin.Port()) ||
        (!baseline.empty() && !StartServer(before, baseline, standin.Port())))
        return;
    constexpr int Rounds = 100;
    std::printf("\nconnect and GetBonList while another viewer's switch is in flight (300 ms), %d rounds\n",
                Rounds);
    // Direct: the stand-in answers each connection on its own, like the
    // virtual tuner should.
    const Percentiles direct = StartUpDuringSwitches(standin.Port(), standin.Port(), Rounds);
    const Percentiles now = StartUpDuringSwitches(server.Port(), server.Port(), Rounds);
    if (!baseline.empty()) {
        const Percentiles was = StartUpDuringSwitches(before.Port(), before.Port(), Rounds);
        Report("GetBonList during a switch", now, direct, &was);
    } else {
        Report("GetBonList during a switch", now, direct);
    }
}

void ReportThroughput(const std::string& baseline)
{
    StandIn standin;
    CliServer server, before;
    if (!standin.Start() || !StartServer(server, "", standin.Port()) ||
        (!baseline.empty() && !StartServer(before, baseline, standin.Port())))
        return;
    std::printf("\nthroughput of GetBonList (raw exchanges), 2 s each\n");
    for (const int viewers : {1, 8, 64}) {
        const double through = Throughput(server.Port(), viewers, 2.0);
        const double straight = Throughput(standin.Port(), viewers, 2.0);
        std::printf("%2d viewers: relay %9.0f/s | direct %9.0f/s (x%.2f)", viewers, through, straight,
                    straight > 0 ? through / straight : 0.0);
        if (!baseline.empty()) {
            const double was = Throughput(before.Port(), viewers, 2.0);
            std::printf(" | before %9.0f/s (x%.2f)", was, straight > 0 ? was / straight : 0.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

// An honest viewer's exchanges (GetBonList, GetServiceList, SetCh in turn)
// beside 8 viewers that keep asking for a 200 kB channel list and never read;
// at most 60 exchanges or 40 s.
Percentiles HonestBesideNeverReaders(const std::string& program, std::uint16_t standinPort)
{
    CliServer server;
    if (!program.empty())
        server.SetProgram(program);
    server.settings.RemoconPort = std::to_string(standinPort);
    server.settings.ChListReplyLimit = 0;
    for (int i = 0; i < 4000; ++i) {
        server.channels.push_back({"Channel number " + std::to_string(i) + " with a long name for its size",
                                   static_cast<std::uint32_t>(i)});
        server.aliases.push_back(Row(i, "A", 0, 0, 3, 1024));
    }
    if (!server.Start())
        return {};
    ViewerClient honest, hostile[8];
    if (!honest.Connect(server.Port()))
        return {};
    std::string padded = "GetChList";
    padded.resize(RequestBufferSize - 1, '\0');
    for (ViewerClient& h : hostile) {
        if (!h.Connect(server.Port()))
            return {};
        for (int i = 0; i < 80; ++i)
            h.Send(padded);
    }
    const char* requests[] = {"GetBonList", "GetServiceList", "SetCh:0"};
    const auto until = Clock::now() + std::chrono::seconds(40);
    std::vector<double> times;
    for (int i = 0; i < 60 && Clock::now() < until; ++i) {
        const auto start = Clock::now();
        honest.Ask(requests[i % 3], 30000, 0);
        times.push_back(Ms(Clock::now() - start));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

void ReportNeverReaders(const std::string& baseline)
{
    StandIn standin;
    if (!standin.Start())
        return;
    std::printf("\nan honest viewer beside 8 that never read, p50 and p99 of its exchanges\n");
    const Percentiles now = HonestBesideNeverReaders("", standin.Port());
    std::printf("%-38s now    p50 %8.1f ms p99 %8.1f ms", "honest viewer", now.p50, now.p99);
    if (!baseline.empty()) {
        const Percentiles was = HonestBesideNeverReaders(baseline, standin.Port());
        std::printf(" | before p50 %8.1f ms p99 %8.1f ms", was.p50, was.p99);
    }
    std::printf("\n");
    std::fflush(stdout);
}

void ReportIdle()
{
    StandIn standin;
    CliServer server;
    if (!standin.Start() || !StartServer(server, "", standin.Port()))
        return;
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
}

} // namespace

int main(int argc, char** argv)
{
    std::string baseline;
    int stopRounds = 3;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--baseline" && i + 1 < argc) {
            baseline = argv[++i];
        } else if (arg == "--stop-rounds" && i + 1 < argc) {
            stopRounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--stop-only") {
            only = "stop";
        } else {
            std::fprintf(stderr, "usage: relay_bench [--baseline PATH] [--stop-rounds N] [--only SECTION]\n");
            return 2;
        }
    }
    SocketStartup();
    const auto wanted = [&](const char* section) { return only.empty() || only == section; };
    if (wanted("latency"))
        ReportLatency(baseline);
    if (wanted("inflight"))
        ReportInFlight(baseline);
    if (wanted("throughput"))
        ReportThroughput(baseline);
    if (wanted("never-readers"))
        ReportNeverReaders(baseline);
    if (wanted("idle"))
        ReportIdle();
    if (wanted("stop"))
        ReportStops(baseline, stopRounds);
    return 0;
}
