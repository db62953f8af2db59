#include <windows.h>

#include <tlhelp32.h>

#include <map>
#include <tuple>
#include <vector>

#include "process/command_line.h"
#include "process/process_control.h"

const char ProcessPathSeparators[] = "\\:";

struct StartedProcess {
    PROCESS_INFORMATION info{};
};

namespace {

// How long a process ended by force may take to leave the process list.
constexpr DWORD ForcedEndWaitMs = 2000;

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto& windows = *reinterpret_cast<std::multimap<std::string, HWND>*>(param);
    char text[256];
    const int n = GetWindowTextA(window, text, sizeof text);
    windows.emplace(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0), window);
    return TRUE;
}

ProcessWait FromWaitResult(DWORD result)
{
    if (result == WAIT_OBJECT_0)
        return ProcessWait::Done;
    return result == WAIT_TIMEOUT ? ProcessWait::TimedOut : ProcessWait::Failed;
}

} // namespace

void StartedProcessRelease::operator()(StartedProcess* process) const
{
    CloseHandle(process->info.hThread);
    CloseHandle(process->info.hProcess);
    delete process;
}

namespace ProcessControl {

bool AnyProcessNamed(const std::string& fileName)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(15, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(fileName.c_str(), entry.szExeFile) == 0;
    CloseHandle(snapshot);
    return found;
}

StartedProcessPtr Start(const std::string& exePath, const std::string& exeParam)
{
    const std::string line = LaunchCommandLine(exePath, exeParam);
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, GetPriorityClass(GetCurrentProcess()),
                        nullptr, nullptr, &startup, &info))
        return nullptr;
    StartedProcessPtr process(new StartedProcess);
    process->info = info;
    return process;
}

ProcessWait WaitForInputIdle(StartedProcess& process, int ms)
{
    return FromWaitResult(::WaitForInputIdle(process.info.hProcess, static_cast<DWORD>(ms)));
}

bool AskToQuit(StartedProcess& process, const std::string& windowText)
{
    std::multimap<std::string, HWND> windows;
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
    auto first = windows.begin();
    auto last = windows.end();
    if (!windowText.empty())
        std::tie(first, last) = windows.equal_range(windowText);
    bool posted = false;
    for (auto it = first; it != last; ++it) {
        DWORD owner = 0;
        GetWindowThreadProcessId(it->second, &owner);
        if (owner == process.info.dwProcessId && PostMessageA(it->second, WM_QUIT, 0, 0))
            posted = true;
    }
    return posted;
}

ProcessWait WaitForEnd(StartedProcess& process, int ms)
{
    return FromWaitResult(WaitForSingleObject(process.info.hProcess, static_cast<DWORD>(ms)));
}

bool IsRunning(StartedProcess& process)
{
    return WaitForSingleObject(process.info.hProcess, 0) == WAIT_TIMEOUT;
}

void EndByForce(StartedProcess& process)
{
    if (TerminateProcess(process.info.hProcess, 0))
        WaitForSingleObject(process.info.hProcess, ForcedEndWaitMs);
}

long ProcessId(const StartedProcess& process)
{
    return static_cast<long>(process.info.dwProcessId);
}

} // namespace ProcessControl
