// Sleeps until asked to quit, as EpgDataCap_Bon does once it has started up:
// the process the EpgDataCap_Bon manager is tested against.
//   --startup-ms N     busy for N ms before it waits (still starting up)
//   --exit-after-ms N  ends on its own after N ms
//   --exit-when FILE   ends on its own once FILE exists, as a user's close does
//   --ignore-term      ignores the polite quit request (SIGTERM, WM_QUIT)
//   --window TEXT      (Windows) a top-level window with that text; WM_QUIT ends it
//   --args-file FILE   writes every argv[i], i >= 1, on a line of its own
//   --quit-file FILE   writes "quit" there when it ends on a quit request
//   --polite-file FILE writes "yes" there when a quit request can reach it, else "no"
//   --exit-code N      its exit code (default 0)
//   --spawn EXE ARGS   first starts EXE with the rest of the arguments and
//                      leaves it running, as a launcher or a wrapper does
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "tools/sleeper/sleeper.h"

int main(int argc, char** argv)
{
    SleeperOptions options;
    long startupMs = 0;
    int exitCode = 0;
    std::string argsFile;
    std::string quitFile;
    std::string politeFile;
    std::vector<std::string> spawn;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(arg, "--ignore-term") == 0) {
            options.ignoreQuit = true;
        } else if (value && std::strcmp(arg, "--startup-ms") == 0) {
            startupMs = std::strtol(value, nullptr, 10);
            ++i;
        } else if (value && std::strcmp(arg, "--exit-after-ms") == 0) {
            options.exitAfterMs = static_cast<int>(std::strtol(value, nullptr, 10));
            ++i;
        } else if (value && std::strcmp(arg, "--exit-when") == 0) {
            options.exitFile = value;
            ++i;
        } else if (value && std::strcmp(arg, "--exit-code") == 0) {
            exitCode = static_cast<int>(std::strtol(value, nullptr, 10));
            ++i;
        } else if (value && std::strcmp(arg, "--window") == 0) {
            options.windows.emplace_back(value);
            ++i;
        } else if (value && std::strcmp(arg, "--args-file") == 0) {
            argsFile = value;
            ++i;
        } else if (value && std::strcmp(arg, "--polite-file") == 0) {
            politeFile = value;
            ++i;
        } else if (value && std::strcmp(arg, "--quit-file") == 0) {
            quitFile = value;
            ++i;
        } else if (value && std::strcmp(arg, "--spawn") == 0) {
            spawn.assign(argv + i + 1, argv + argc);
            break;
        }
        // Anything else (for instance EpgDataCap_Bon's own "/min") is ignored.
    }
    if (!argsFile.empty()) {
        std::string lines;
        for (int i = 1; i < argc; ++i)
            lines += std::string(argv[i]) + "\n";
        if (!ReplaceFileAtomically(argsFile, lines))
            return 3;
    }
    if (!spawn.empty() && !SpawnProgram(spawn[0], {spawn.begin() + 1, spawn.end()}))
        return 4;
    const auto busyUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(startupMs);
    volatile unsigned long spin = 0;
    while (std::chrono::steady_clock::now() < busyUntil)
        spin = spin + 1;
    const bool polite = PrepareForQuitRequest(options);
    if (!politeFile.empty() && !ReplaceFileAtomically(politeFile, polite ? "yes\n" : "no\n"))
        return 3;
    if (WaitUntilAskedToQuit(options) && !quitFile.empty())
        ReplaceFileAtomically(quitFile, "quit\n");
    return exitCode;
}
