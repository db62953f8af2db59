// The channel setup dialog beside "vernwick-cli.exe scan", in one run under
// the same system and against the same stand-in tree of 1,000 services: the
// time from the press of "チャンネルファイルの作成" until the dialog shows every
// row with its scan ended, and the time the command line takes for the same
// scan. The ratio says whether drawing the list adds much to the scan itself.
// Then how long the window takes at worst to answer while the rows pour in,
// and what 50 openings of the dialog and 50 trips to the tray and back leave
// behind in memory.
// Run it through tests/gui/run-gui-tests.sh --once.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_layout.h"
#include "common/file_io.h"
#include "gui/gui_driver.h"
#include "gui/vernwick_app.h"
#include "net/socket.h"
#include "support/run_tool.h"
#include "support/standin.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rounds = 5;
constexpr int Spaces = 10, ChannelsPerSpace = 10, ServicesPerChannel = 10;
constexpr int Rows = Spaces * ChannelsPerSpace * ServicesPerChannel;
constexpr int WaitMs = 120000;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string ThousandServices()
{
    std::string tree = "bon\tBonDriver_Bench.dll\t0\n";
    int number = 0;
    for (int s = 0; s < Spaces; ++s) {
        tree += "space\tSpace " + std::to_string(s) + "\t" + std::to_string(s) + "\n";
        for (int c = 0; c < ChannelsPerSpace; ++c) {
            tree += "ch\t" + std::to_string(13 + c) + "ch\t" + std::to_string(c) + "\n";
            for (int v = 0; v < ServicesPerChannel; ++v, ++number)
                tree += "service\tService " + std::to_string(number) + "\t" + std::to_string(1000 + number) + "\n";
        }
    }
    return tree;
}

// The process's committed private memory (Wine counts no handles).
double PrivateKiB(DWORD pid)
{
    double kib = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (process && GetProcessMemoryInfo(process, &counters, sizeof counters))
        kib = static_cast<double>(counters.PagefileUsage) / 1024;
    if (process)
        CloseHandle(process);
    return kib;
}

// From the press to every row on screen with the scan ended; -1 when it did
// not get there. rows: how many the scan finds. slowestAnswerMs, when given:
// the longest the window took to answer a message meanwhile.
double TimeDialog(VernwickApp& app, int rows, double* slowestAnswerMs = nullptr)
{
    using namespace ChannelSetupLayout;
    const auto start = Clock::now();
    gui::PostClick(app.Control(MainFormLayout::MakeChannelBtn));
    const HWND dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
    if (!dialog)
        return -1;
    gui::RemoteListView list(GetDlgItem(dialog, ChannelListView));
    const bool done = WaitFor([&] {
        if (slowestAnswerMs) {
            const auto asked = Clock::now();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, WaitMs, &ignored);
            *slowestAnswerMs = std::max(*slowestAnswerMs, Ms(Clock::now() - asked));
        }
        return gui::Visible(GetDlgItem(dialog, ChListSizeLb)) && list.Count() == rows;
    }, WaitMs);
    const double ms = Ms(Clock::now() - start);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    WaitFor([&] { return !gui::Visible(dialog); }, WaitMs);
    return done ? ms : -1;
}

} // namespace

int main()
{
    SocketStartup();
    StandIn standin;
    if (!ReplaceFileAtomically(standin.File("tree.txt"), ThousandServices()) ||
        !standin.Start({"--tree", standin.File("tree.txt")})) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }
    const std::string ini = "[Parameter]\r\nRemoconPort=" + std::to_string(standin.Port()) + "\r\n";

    VernwickApp app;
    app.WriteIni(ini);
    if (!app.Start()) {
        std::fprintf(stderr, "Vernwick.exe did not start\n");
        return 1;
    }
    TempDir work;
    if (!ReplaceFileAtomically(work.File("Vernwick.ini"), ini))
        return 1;

    std::vector<double> dialog, cli;
    double slowestAnswer = 0;
    for (int round = 0; round < Rounds; ++round) {
        const double shown = TimeDialog(app, Rows, round == 0 ? &slowestAnswer : nullptr);
        if (shown < 0) {
            std::fprintf(stderr, "the dialog did not show %d rows\n", Rows);
            return 1;
        }
        dialog.push_back(shown);

        const auto start = Clock::now();
        const ToolRun scan = RunTool(work, "vernwick-cli", {"scan", "--ini", work.File("Vernwick.ini")});
        cli.push_back(Ms(Clock::now() - start));
        const auto lines = Lines(scan.out);
        if (scan.status != 0 || lines.size() != Rows + 1) {
            std::fprintf(stderr, "vernwick-cli scan failed (status %d, %zu lines)\n", scan.status.value_or(-1),
                         lines.size());
            return 1;
        }
    }
    // What 50 openings (of the stand-in's own nine services) and 50 trips to
    // the tray leave behind, after 10 of each to settle.
    StandIn small;
    if (!small.Start())
        return 1;
    SetWindowTextW(app.Control(MainFormLayout::RemoconPortEd), std::to_wstring(small.Port()).c_str());
    double before = 0, afterDialogs = 0, beforeTray = 0, afterTray = 0;
    for (int i = 0; i < 60; ++i) {
        if (i == 10)
            before = PrivateKiB(app.Pid());
        if (TimeDialog(app, 9) < 0) {
            std::fprintf(stderr, "the dialog did not open\n");
            return 1;
        }
    }
    afterDialogs = PrivateKiB(app.Pid());
    for (int i = 0; i < 60; ++i) {
        if (i == 10)
            beforeTray = PrivateKiB(app.Pid());
        PostMessageW(app.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        const bool hidden = WaitFor([&] { return !gui::Visible(app.Window()); }, WaitMs);
        PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_LBUTTONDOWN);
        if (!hidden || !WaitFor([&] { return gui::Visible(app.Window()); }, WaitMs)) {
            std::fprintf(stderr, "the window did not go to the tray and back\n");
            return 1;
        }
    }
    afterTray = PrivateKiB(app.Pid());
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    if (!app.WaitForExit(20000))
        app.Kill();

    std::printf("The channel setup dialog beside vernwick-cli.exe scan, %d services, medians of %d rounds\n\n", Rows,
                Rounds);
    std::printf("%-40s %10.0f ms\n", "dialog: press to every row shown", Median(dialog));
    std::printf("%-40s %10.0f ms\n", "vernwick-cli.exe scan: start to end", Median(cli));
    std::printf("%-40s %10.2f\n", "ratio", Median(dialog) / Median(cli));
    std::printf("%-40s %10.0f ms\n", "slowest answer of the window meanwhile", slowestAnswer);
    std::printf("\nWhat 50 more of each leave behind in private memory\n\n");
    std::printf("%-40s %+10.0f KiB of %.0f\n", "dialog openings", afterDialogs - before, afterDialogs);
    std::printf("%-40s %+10.0f KiB of %.0f\n", "trips to the tray and back", afterTray - beforeTray, afterTray);
    SocketCleanup();
    return 0;
}
