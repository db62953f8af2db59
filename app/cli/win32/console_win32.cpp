#include <windows.h>

#include <atomic>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/cli/console.h"
#include "common/thread_base.h"

namespace console {

namespace {

std::atomic<bool> g_stop{false};
HANDLE g_stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    // Asked again while stopping: whoever asks will not wait, so neither
    // does the program. A copy of EpgDataCap_Bon it launched is let go.
    if (g_stop.exchange(true) && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        ExitProcess(STATUS_CONTROL_C_EXIT);
    // The handler runs on a thread of its own; the main loop sleeps until woken.
    MainThreadCalls::Wake();
    // Windows ends the process as soon as this returns from a close, log-off
    // or shut-down event; wait (bounded by the system's own limit) for the
    // orderly stop.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_stopped, 4500);
    return TRUE;
}

std::string Utf8(const wchar_t* wide)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
    text.pop_back(); // the terminating NUL
    return text;
}

} // namespace

void Setup()
{
    SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    // argv holds the arguments in the ANSI code page, where a folder of
    // another script is lost; the wide command line holds them whole.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return args;
}

void InstallStopHandler()
{
    g_stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested()
{
    return g_stop;
}

void AcknowledgeStopped()
{
    if (g_stopped)
        SetEvent(g_stopped);
}

bool ErrorsGoToTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string PathForDisplay(const std::string& path)
{
    return path;
}

} // namespace console
