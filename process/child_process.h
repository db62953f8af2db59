#pragma once
// A child program started directly (never through a shell), waited for and
// always reaped. Used by the tests and tools to run the stand-in and helper
// programs; the EpgDataCap_Bon manager has its own, handle-level needs.
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess(); // a child still running is ended by force and reaped
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Files that the next Start sends the child's standard output and
    // standard error to (created or truncated); empty keeps ours.
    void SetOutputFiles(std::string stdoutPath, std::string stderrPath);
    // Starts exe with the given arguments (argv[1..]); false when it cannot
    // be started. A child started earlier must have ended first.
    bool Start(const std::string& exe, const std::vector<std::string>& args);
    // The exit status once the child has ended, waiting at most ms for it.
    std::optional<int> Wait(int ms);
    // Ends the child by force (no-op once it has ended) and reaps it.
    void Terminate();
    // Asks the child to end (SIGTERM; Ctrl+Break on Windows, where the child
    // gets a process group of its own). False when it could not be asked.
    bool RequestStop();
    bool Running();
    long Id() const;

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
