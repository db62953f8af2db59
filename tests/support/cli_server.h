#pragma once
// Runs "vernwick-cli serve" as a child process on a free loopback port, with
// its settings file, channel files and output in a folder of its own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "common/settings.h"
#include "process/child_process.h"
#include "support/port_file.h"
#include "support/temp_dir.h"

class CliServer {
public:
    CliServer();
    ~CliServer();
    CliServer(const CliServer&) = delete;
    CliServer& operator=(const CliServer&) = delete;

    // Settings for an upstream on 127.0.0.1:remoconPort, listening on any
    // free port; tests change them before Start.
    Settings settings;
    NamedNumberList channels;
    BonAliasList aliases;

    // Writes the settings and channel files (unless writeChannels is false)
    // and starts "serve --verbose" with them, plus extraArgs. With
    // waitListening it returns once the port is known (false when the server
    // did not get there within 10 s).
    bool Start(std::vector<std::string> extraArgs = {}, bool waitListening = true, bool writeChannels = true);
    // Another build of vernwick-cli to run (the benchmark's "before").
    void SetProgram(std::string path) { FProgram = std::move(path); }
    std::uint16_t Port() const { return FPort; }

    // Polite stop (SIGTERM / Ctrl+Break); false when it cannot be asked.
    bool RequestStop() { return FChild.RequestStop(); }
    std::optional<int> WaitForExit(int ms) { return FChild.Wait(ms); }
    bool Running() { return FChild.Running(); }
    long Id() const { return FChild.Id(); }

    // What it printed so far.
    std::string Output() const;
    std::string Errors() const;
    // Waits (at most timeoutMs) until its output holds text.
    bool WaitForOutput(const std::string& text, int timeoutMs) const;

    std::string File(const std::string& name) const { return FDir.File(name); }

private:
    TempDir FDir;
    ChildProcess FChild;
    std::uint16_t FPort = 0;
    std::string FProgram;
};
