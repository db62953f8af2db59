#include "process/epgdatacapbon_manager.h"

#include <utility>

#include "process/command_line.h"

CEpgDataCapBonManager::CEpgDataCapBonManager(std::string exePath, std::string exeParam, std::string windowText,
                                             std::function<bool()> quitting)
    : FExePath(std::move(exePath)),
      FExeParam(std::move(exeParam)),
      FWindowText(std::move(windowText)),
      FQuitting(std::move(quitting))
{
}

CEpgDataCapBonManager::~CEpgDataCapBonManager()
{
    if (FLaunched)
        Close(true);
}

bool CEpgDataCapBonManager::FindRunningProcess()
{
    return ProcessControl::AnyProcessNamed(FileNamePart(FExePath));
}

bool CEpgDataCapBonManager::HeldProcessRunning()
{
    return FLaunched && ProcessControl::IsRunning(*FProcessInfo);
}

bool CEpgDataCapBonManager::LaunchIfNotRunning()
{
    if (HeldProcessRunning() || FindRunningProcess())
        return false;
    // A copy started earlier that has ended since: give back its hold.
    Close(false);
    StartedProcessPtr process = ProcessControl::Start(FExePath, FExeParam);
    if (!process)
        return false;
    while (ProcessControl::WaitForInputIdle(*process, InputIdleRoundMs) == ProcessWait::TimedOut) {
        if (FQuitting && FQuitting())
            break;
    }
    FProcessInfo = std::move(process);
    FLaunched = true;
    return true;
}

void CEpgDataCapBonManager::Close(bool endProcess)
{
    if (!FLaunched)
        return;
    if (endProcess) {
        StartedProcess& process = *FProcessInfo;
        if (!ProcessControl::AskToQuit(process, FWindowText))
            ProcessControl::EndByForce(process);
        else if (ProcessControl::WaitForEnd(process, FQuitTimeoutMs) == ProcessWait::TimedOut)
            ProcessControl::EndByForce(process);
    }
    FProcessInfo.reset();
    FLaunched = false;
}

long CEpgDataCapBonManager::LaunchedProcessId() const
{
    return FLaunched ? ProcessControl::ProcessId(*FProcessInfo) : 0;
}
