#include <windows.h>

#include <atomic>
#include <string>

#include "app/cli/console.h"
#include "common/thread_base.h"

namespace console {

namespace {

std::atomic<bool> g_stop{false};
HANDLE g_stopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    g_stop = true;
    // The handler runs on a thread of its own; the main loop sleeps until woken.
    MainThreadCalls::Wake();
    // Windows ends the process as soon as this returns from a close, log-off
    // or shut-down event; wait (bounded by the system's own limit) for the
    // orderly stop.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_stopped, 4500);
    return TRUE;
}

std::wstring Widen(const std::string& text, UINT codePage)
{
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage)
{
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

} // namespace

void Setup()
{
    SetConsoleOutputCP(CP_UTF8);
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
    return Narrow(Widen(path, CP_ACP), CP_UTF8);
}

} // namespace console
