// Vernwick.exe beside "vernwick-cli.exe serve", side by side in one run under
// the same system: the time from starting each to being ready (the window on
// screen; the server listening), and the memory of each while idle and with
// 8 viewers connected. Printed as ratios, since Wine's absolute numbers are
// not Windows'. Run it through tests/gui/run-gui-tests.sh --once.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/gui/main_form_layout.h"
#include "gui/gui_driver.h"
#include "gui/vernwick_app.h"
#include "net/socket.h"
#include "support/alias_rows.h"
#include "support/cli_server.h"
#include "support/free_port.h"
#include "support/standin.h"
#include "support/viewer_client.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rounds = 5;
constexpr int Viewers = 8;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Memory {
    double workingSetKiB = 0;
    double privateKiB = 0;
};

Memory MemoryOf(DWORD pid)
{
    Memory m;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (process && GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        m.workingSetKiB = static_cast<double>(counters.WorkingSetSize) / 1024;
        m.privateKiB = static_cast<double>(counters.PrivateUsage) / 1024;
    }
    if (process)
        CloseHandle(process);
    return m;
}

const NamedNumberList Channels = {{"Sogo2", 0}, {"Sogo1", 1}};
const BonAliasList Aliases = {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 0, 0, 3, 1024)};

void CloseApp(VernwickApp& app)
{
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    if (!app.WaitForExit(20000))
        app.Kill();
}

// Starts the window program with "/start" and returns when its window is on
// screen; *listening is when its server first accepted a connection.
double StartWindow(VernwickApp& app, std::uint16_t port, double* listeningMs)
{
    const auto start = Clock::now();
    if (!app.Start({"/start"}))
        return -1;
    WaitFor([&] { return gui::Visible(app.Window()); }, 10000);
    const double shown = Ms(Clock::now() - start);
    ViewerClient probe;
    WaitFor([&] { return probe.Connect(port); }, 10000);
    *listeningMs = Ms(Clock::now() - start);
    return shown;
}

bool ConnectViewers(std::vector<std::unique_ptr<ViewerClient>>& viewers, std::uint16_t port)
{
    for (int i = 0; i < Viewers; ++i) {
        viewers.push_back(std::make_unique<ViewerClient>());
        if (!viewers.back()->Connect(port) || !viewers.back()->Ask("GetBonList"))
            return false;
    }
    return true;
}

} // namespace

int main()
{
    SocketStartup();
    StandIn standin;
    if (!standin.Start()) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }

    std::vector<double> windowShown, windowListening, cliListening;
    Memory windowIdle, windowBusy, cliIdle, cliBusy;
    for (int round = 0; round < Rounds; ++round) {
        {
            VernwickApp app;
            const std::uint16_t port = FreePort();
            app.WriteIni("[Parameter]\r\nRemoconPort=" + std::to_string(standin.Port()) +
                         "\r\nServerPort=" + std::to_string(port) + "\r\n");
            app.WriteChannelFiles(Channels, Aliases);
            double listening = 0;
            windowShown.push_back(StartWindow(app, port, &listening));
            windowListening.push_back(listening);
            if (round == Rounds - 1) {
                Sleep(1000);
                windowIdle = MemoryOf(app.Pid());
                std::vector<std::unique_ptr<ViewerClient>> viewers;
                if (!ConnectViewers(viewers, port))
                    std::fprintf(stderr, "viewers could not all connect to the window's server\n");
                windowBusy = MemoryOf(app.Pid());
            }
            CloseApp(app);
        }
        {
            CliServer cli;
            cli.settings.RemoconPort = std::to_string(standin.Port());
            cli.channels = Channels;
            cli.aliases = Aliases;
            const auto start = Clock::now();
            if (!cli.Start()) {
                std::fprintf(stderr, "vernwick-cli serve did not start\n");
                return 1;
            }
            cliListening.push_back(Ms(Clock::now() - start));
            if (round == Rounds - 1) {
                Sleep(1000);
                cliIdle = MemoryOf(static_cast<DWORD>(cli.Id()));
                std::vector<std::unique_ptr<ViewerClient>> viewers;
                if (!ConnectViewers(viewers, cli.Port()))
                    std::fprintf(stderr, "viewers could not all connect to vernwick-cli\n");
                cliBusy = MemoryOf(static_cast<DWORD>(cli.Id()));
            }
            cli.RequestStop();
            cli.WaitForExit(20000);
        }
    }

    std::printf("Vernwick.exe beside vernwick-cli.exe serve, medians of %d starts\n\n", Rounds);
    std::printf("%-44s %12s %12s %8s\n", "", "Vernwick", "cli serve", "ratio");
    std::printf("%-44s %10.0f ms %9.0f ms %8.2f\n", "start to window on screen (cli: listening)",
                Median(windowShown), Median(cliListening), Median(windowShown) / Median(cliListening));
    std::printf("%-44s %10.0f ms %9.0f ms %8.2f\n", "start to server listening (/start)", Median(windowListening),
                Median(cliListening), Median(windowListening) / Median(cliListening));
    auto row = [](const char* what, double gui, double cli) {
        std::printf("%-44s %9.0f KiB %8.0f KiB %8.2f\n", what, gui, cli, cli > 0 ? gui / cli : 0.0);
    };
    row("working set, idle", windowIdle.workingSetKiB, cliIdle.workingSetKiB);
    row("working set, 8 viewers", windowBusy.workingSetKiB, cliBusy.workingSetKiB);
    if (windowIdle.privateKiB > 0) {  // Wine leaves it 0
        row("private bytes, idle", windowIdle.privateKiB, cliIdle.privateKiB);
        row("private bytes, 8 viewers", windowBusy.privateKiB, cliBusy.privateKiB);
    }
    SocketCleanup();
    return 0;
}
