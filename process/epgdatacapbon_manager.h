#pragma once
// Starts EpgDataCap_Bon when a viewer connects and it is not running, and
// later ends (or lets go of) the copy that it started itself, never another.
#include <functional>
#include <string>

#include "process/process_control.h"

class CEpgDataCapBonManager {
public:
    // How long a polite end may take before the process is ended by force.
    static constexpr int QuitTimeoutMs = 10000;
    // One round of the start-up wait; rounds repeat until quitting() is true.
    static constexpr int InputIdleRoundMs = 1000;

    // quitting tells a start-up wait that the application is going away.
    CEpgDataCapBonManager(std::string exePath, std::string exeParam, std::string windowText,
                          std::function<bool()> quitting);
    CEpgDataCapBonManager(const CEpgDataCapBonManager&) = delete;
    CEpgDataCapBonManager& operator=(const CEpgDataCapBonManager&) = delete;
    virtual ~CEpgDataCapBonManager();

    // True when a process of this user with the executable's file name runs.
    bool FindRunningProcess();
    // True only when this call started a new process, which has then
    // finished starting up (or the application is quitting); one that starts
    // the real program and exits at once counts as started. What is held and
    // still runs counts as running whatever its name: a wrapper script or an
    // interpreter runs under another name than the path's.
    bool LaunchIfNotRunning();
    // True while anything the held launch started (the process, and what it
    // started in turn) has not ended.
    bool HeldProcessRunning();
    // Lets go of what this manager started; with endProcess, ends all of it
    // first, politely and by force after the quit time-out.
    void Close(bool endProcess);
    bool Launched() const { return FLaunched; }

    // The process id of the process held, 0 when none is held.
    long LaunchedProcessId() const;
    void SetQuitTimeoutMs(int ms) { FQuitTimeoutMs = ms; }

private:
    bool FLaunched = false;
    const std::string FExePath;
    const std::string FExeParam;
    const std::string FWindowText;
    StartedProcessPtr FProcessInfo;
    std::function<bool()> FQuitting;
    int FQuitTimeoutMs = QuitTimeoutMs;
};
