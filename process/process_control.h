#pragma once
// The platform's side of the EpgDataCap_Bon manager: finding a process by its
// executable's file name, starting one, waiting for it to finish starting up,
// asking it to quit and ending it. A started process is held together with
// everything it starts in turn (a process group, a job object), so that a
// wrapper or a launcher that forks and exits counts, quits and ends with the
// real program.
#include <memory>
#include <string>

// Characters after which a path's file-name part starts on this platform.
extern const char ProcessPathSeparators[];

// The platform's hold on a process that the manager started: its handles,
// or its process id kept reserved by not reaping it.
struct StartedProcess;

struct StartedProcessRelease {
    // Gives the hold back without touching the process: closes its handles,
    // or reaps it, at once or (while it still runs) once it has ended.
    void operator()(StartedProcess* process) const;
};
using StartedProcessPtr = std::unique_ptr<StartedProcess, StartedProcessRelease>;

enum class ProcessWait { Done, TimedOut, Failed };

namespace ProcessControl {

// True when a running process of this program's user has an executable of
// this file name, ignoring letter case; false also when the process list
// cannot be read.
bool AnyProcessNamed(const std::string& fileName);

// Starts the program with the launch command line of path and params, at
// this program's own priority, in its current folder; null on failure.
StartedProcessPtr Start(const std::string& exePath, const std::string& exeParam);

// One round of waiting for the process started (itself, not what it
// started) to finish starting up: Done when it has (or has ended), TimedOut
// after ms, Failed when this cannot be told.
ProcessWait WaitForInputIdle(StartedProcess& process, int ms);

// Asks the process and what it started to quit; false when nothing could be
// asked of them.
bool AskToQuit(StartedProcess& process, const std::string& windowText);

// Waits at most ms until the process and what it started have all ended.
ProcessWait WaitForEnd(StartedProcess& process, int ms);

// True while the process or anything it started has not ended.
bool IsRunning(StartedProcess& process);

// Ends the process and what it started by force.
void EndByForce(StartedProcess& process);

long ProcessId(const StartedProcess& process);

} // namespace ProcessControl
