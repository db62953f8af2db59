#pragma once
// A stand-in for an EpgDataCap_Bon process in the process tests.
#include <string>
#include <vector>

struct SleeperOptions {
    bool ignoreQuit = false;          // --ignore-term
    int exitAfterMs = -1;             // --exit-after-ms N; -1 waits until asked
    std::string exitFile;             // --exit-when FILE
    std::vector<std::string> windows; // --window TEXT, one top-level window each
};

// Gets ready to be asked to quit (signal handler, windows); false when no
// quit request can reach the program (Windows without windows: no desktop).
bool PrepareForQuitRequest(const SleeperOptions& options);

// Waits until asked to quit (true), or until exitAfterMs has passed or the
// exit file exists (false).
bool WaitUntilAskedToQuit(const SleeperOptions& options);

// Starts exe with args and leaves it running on its own; false when it
// cannot be started.
bool SpawnProgram(const std::string& exe, const std::vector<std::string>& args);
