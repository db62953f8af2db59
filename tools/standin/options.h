#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "remocon/protocol.h"
#include "tools/standin/tuner.h"

struct StandInOptions {
    std::string host = "127.0.0.1";
    int port = 1334; // EpgDataCap_Bon's own default
    std::string portFile;
    std::string logFile;
    std::string treeFile;
    std::vector<std::uint32_t> select;
    TunerBehaviour behaviour;

    // Faults.
    int delayMs = 0;                         // every reply
    std::map<Command, int> delayByCommand;   // overrides delayMs
    int splitGapMs = -1;                     // -1: list and text replies in one send
    bool closeAll = false;
    std::set<Command> closeOn;
    bool silentAll = false;
    std::set<Command> silentOn;
    long long exitAfter = -1;                // -1: never

    bool help = false;
};

extern const char StandInHelp[];

// false with the reason in error when an argument is wrong.
bool ParseOptions(int argc, char** argv, StandInOptions& options, std::string& error);
