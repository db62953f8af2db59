#pragma once
// Runs vernwick-standin, the stand-in for EpgDataCap_Bon's remote-control
// port, as a child process on a free loopback port, with its request log in
// a folder of its own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "process/child_process.h"
#include "support/temp_dir.h"

class StandIn {
public:
    StandIn() = default;
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    // Starts it with --port 0, a port file and a log, plus extraArgs, and
    // waits (at most 10 s) until it listens. False when it did not get there,
    // for instance because extraArgs were refused.
    bool Start(std::vector<std::string> extraArgs = {});
    std::uint16_t Port() const { return FPort; }

    // The requests it has received, in order, as its log writes them (TAB,
    // CR, LF and backslash as \t \r \n \\, other bytes outside printable
    // ASCII as \xHH, a leading "#" as \x23). A request is logged before it
    // is answered.
    std::vector<std::string> Requests() const;
    // The requests that arrived since seen of them had, which it moves on.
    std::vector<std::string> RequestsSince(std::size_t& seen) const;
    // Every complete log line, "#open" and "#close" included.
    std::vector<std::string> LogLines() const;

    long Id() const { return FChild.Id(); }
    // Ends it (by force) and waits for it; harmless when it has ended.
    void Stop();

    // A file in the stand-in's folder, e.g. for a --tree file.
    std::string File(const std::string& name) const { return FDir.File(name); }

private:
    TempDir FDir;
    ChildProcess FChild;
    std::uint16_t FPort = 0;
    bool FStarted = false;
};

// The complete lines of a stand-in's request log, for one started elsewhere.
std::vector<std::string> StandInLogLines(const std::string& logFile);
