#include <windows.h>

#include "process/child_process.h"
#include "process/command_line.h"

struct ChildProcess::Impl {
    PROCESS_INFORMATION info{};
    bool started = false;
    bool ended = false;
    int status = 0;

    bool Poll()
    {
        if (!started || ended)
            return true;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            return false;
        DWORD code = 0;
        status = GetExitCodeProcess(info.hProcess, &code) ? static_cast<int>(code) : -1;
        ended = true;
        return true;
    }
    void Release()
    {
        if (!started)
            return;
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        started = false;
    }
};

ChildProcess::ChildProcess() : FImpl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess()
{
    Terminate();
    FImpl->Release();
}

bool ChildProcess::Start(const std::string& exe, const std::vector<std::string>& args)
{
    if (!FImpl->Poll())
        return false;
    // The program name is never escaped by the runtime; a Windows path has
    // no quote in it.
    std::string line = "\"" + exe + "\"";
    for (const std::string& arg : args)
        line += " " + QuoteArgument(arg);
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    FImpl->Release();
    FImpl->info = info;
    FImpl->started = true;
    FImpl->ended = false;
    FImpl->status = 0;
    return true;
}

std::optional<int> ChildProcess::Wait(int ms)
{
    if (!FImpl->started)
        return FImpl->ended ? std::optional<int>(FImpl->status) : std::nullopt;
    if (!FImpl->ended)
        WaitForSingleObject(FImpl->info.hProcess, static_cast<DWORD>(ms < 0 ? 0 : ms));
    if (!FImpl->Poll())
        return std::nullopt;
    return FImpl->status;
}

void ChildProcess::Terminate()
{
    if (FImpl->Poll())
        return;
    TerminateProcess(FImpl->info.hProcess, 1);
    WaitForSingleObject(FImpl->info.hProcess, 10000);
    FImpl->Poll();
}

bool ChildProcess::Running()
{
    return FImpl->started && !FImpl->Poll();
}

long ChildProcess::Id() const
{
    return static_cast<long>(FImpl->info.dwProcessId);
}
