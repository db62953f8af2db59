#include <windows.h>

#include "process/child_process.h"
#include "common/win32/wide_text.h"
#include "process/command_line.h"

struct ChildProcess::Impl {
    PROCESS_INFORMATION info{};
    bool started = false;
    bool ended = false;
    int status = 0;
    std::string stdoutPath, stderrPath;

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
    for (const std::string& arg : args) {
        // GCC 12 takes the insert of a literal in front of a new string for
        // a copy that may overlap itself, a false alarm it is known for: a
        // literal never shares memory with a string's own buffer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        line += " " + QuoteArgument(arg);
#pragma GCC diagnostic pop
    }
    // Paths and arguments are UTF-8 here, as every path of the program is.
    const std::wstring wideLine = WideFromUtf8(line);
    std::vector<wchar_t> buffer(wideLine.begin(), wideLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
    const bool redirect = !FImpl->stdoutPath.empty() || !FImpl->stderrPath.empty();
    if (redirect) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        auto open = [&inherit](const std::string& path, DWORD standard) {
            if (path.empty()) {
                HANDLE own = GetStdHandle(standard);
                HANDLE copy = INVALID_HANDLE_VALUE;
                DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
                return copy;
            }
            return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        out = open(FImpl->stdoutPath, STD_OUTPUT_HANDLE);
        err = open(FImpl->stderrPath, STD_ERROR_HANDLE);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    PROCESS_INFORMATION info{};
    // A process group of its own, so that a Ctrl+Break can be aimed at it.
    const BOOL started = CreateProcessW(WideFromUtf8(exe).c_str(), buffer.data(), nullptr, nullptr, redirect ? TRUE : FALSE,
                                        CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE)
        CloseHandle(err);
    if (!started)
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

void ChildProcess::SetOutputFiles(std::string stdoutPath, std::string stderrPath)
{
    FImpl->stdoutPath = std::move(stdoutPath);
    FImpl->stderrPath = std::move(stderrPath);
}

bool ChildProcess::RequestStop()
{
    return !FImpl->Poll() && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, FImpl->info.dwProcessId);
}
