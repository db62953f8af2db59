// EpgDataCap_Bon's process on Windows. The process started is put in a job
// object of its own before it runs, so that whatever it starts in turn (a
// launcher's real program) is held, asked to quit and ended with it. The job
// has no limits: letting go only closes its handle, which ends nothing.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "common/win32/wide_text.h"
#include "process/command_line.h"
#include "process/process_control.h"

const char ProcessPathSeparators[] = "\\:";

struct StartedProcess {
    PROCESS_INFORMATION info{};
    // Null when the process could not be put in a job (a system that does not
    // nest jobs, run from within one): then only the process itself is held.
    HANDLE job = nullptr;
};

namespace {

// How long a process ended by force may take to leave the process list.
constexpr DWORD ForcedEndWaitMs = 2000;
constexpr DWORD PollStepMs = 10;

// The user of a process's token, as SID bytes; empty when it cannot be read.
std::vector<BYTE> UserOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    std::vector<BYTE> sid;
    if (size != 0 && GetTokenInformation(token, ::TokenUser, buffer.data(), size, &size)) {
        const PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        const auto* bytes = static_cast<const BYTE*>(user);
        sid.assign(bytes, bytes + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

bool RunsAs(DWORD pid, const std::vector<BYTE>& user)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false; // another user's or a service's, closed to us
    const bool same = UserOf(process) == user;
    CloseHandle(process);
    return same;
}

// The ids of the processes in the job that have not ended.
std::set<DWORD> JobProcessIds(HANDLE job)
{
    // Room for many; a launcher starts only a few.
    constexpr DWORD Room = 256;
    std::vector<BYTE> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + Room * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    list->NumberOfAssignedProcesses = Room;
    std::set<DWORD> ids;
    if (QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()),
                                  nullptr)) {
        for (DWORD i = 0; i < std::min<DWORD>(list->NumberOfProcessIdsInList, Room); ++i)
            ids.insert(static_cast<DWORD>(list->ProcessIdList[i]));
    }
    return ids;
}

bool AnyRunning(const StartedProcess& process)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (process.job && QueryInformationJobObject(process.job, JobObjectBasicAccountingInformation, &accounting,
                                                 sizeof accounting, nullptr))
        return accounting.ActiveProcesses > 0;
    return WaitForSingleObject(process.info.hProcess, 0) == WAIT_TIMEOUT;
}

ProcessWait WaitUntilNoneRuns(const StartedProcess& process, DWORD ms)
{
    const DWORD started = GetTickCount();
    while (AnyRunning(process)) {
        if (GetTickCount() - started >= ms)
            return ProcessWait::TimedOut;
        Sleep(PollStepMs);
    }
    return ProcessWait::Done;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto& windows = *reinterpret_cast<std::multimap<std::wstring, HWND>*>(param);
    wchar_t text[256];
    const int n = GetWindowTextW(window, text, 256);
    windows.emplace(std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0), window);
    return TRUE;
}

// The settings hold the path, the parameters and the window text as code
// page 932 bytes, whatever code page this system runs in.
std::wstring FromSettings(const std::string& text)
{
    return WideFromCodePage(932, text);
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
    if (process->job)
        CloseHandle(process->job);
    delete process;
}

namespace ProcessControl {

bool AnyProcessNamed(const std::string& fileName)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(15, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    // Another user's copy (a service's, another session's) is not ours to
    // use or wait for; when our own user cannot be told, every copy counts.
    const std::vector<BYTE> user = UserOf(GetCurrentProcess());
    const std::wstring wanted = FromSettings(fileName);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = lstrcmpiW(wanted.c_str(), entry.szExeFile) == 0 &&
                (user.empty() || RunsAs(entry.th32ProcessID, user));
    }
    CloseHandle(snapshot);
    return found;
}

StartedProcessPtr Start(const std::string& exePath, const std::string& exeParam)
{
    const std::wstring line = FromSettings(LaunchCommandLine(exePath, exeParam));
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE,
                        GetPriorityClass(GetCurrentProcess()) | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info))
        return nullptr;
    StartedProcessPtr process(new StartedProcess);
    process->info = info;
    process->job = CreateJobObjectW(nullptr, nullptr);
    if (process->job && !AssignProcessToJobObject(process->job, info.hProcess)) {
        CloseHandle(process->job);
        process->job = nullptr;
    }
    ResumeThread(info.hThread);
    return process;
}

ProcessWait WaitForInputIdle(StartedProcess& process, int ms)
{
    return FromWaitResult(::WaitForInputIdle(process.info.hProcess, static_cast<DWORD>(ms)));
}

bool AskToQuit(StartedProcess& process, const std::string& windowText)
{
    std::multimap<std::wstring, HWND> windows;
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
    auto first = windows.begin();
    auto last = windows.end();
    if (!windowText.empty())
        std::tie(first, last) = windows.equal_range(FromSettings(windowText));
    // The process itself always counts: its id stays its own while the
    // handle is held, even after it has ended.
    std::set<DWORD> owners{process.info.dwProcessId};
    if (process.job)
        owners.merge(JobProcessIds(process.job));
    bool posted = false;
    for (auto it = first; it != last; ++it) {
        DWORD owner = 0;
        GetWindowThreadProcessId(it->second, &owner);
        if (owners.count(owner) != 0 && PostMessageA(it->second, WM_QUIT, 0, 0))
            posted = true;
    }
    return posted;
}

ProcessWait WaitForEnd(StartedProcess& process, int ms)
{
    if (!process.job)
        return FromWaitResult(WaitForSingleObject(process.info.hProcess, static_cast<DWORD>(ms)));
    return WaitUntilNoneRuns(process, static_cast<DWORD>(ms));
}

bool IsRunning(StartedProcess& process)
{
    return AnyRunning(process);
}

void EndByForce(StartedProcess& process)
{
    if (process.job ? TerminateJobObject(process.job, 0) : TerminateProcess(process.info.hProcess, 0))
        WaitUntilNoneRuns(process, ForcedEndWaitMs);
}

long ProcessId(const StartedProcess& process)
{
    return static_cast<long>(process.info.dwProcessId);
}

} // namespace ProcessControl
