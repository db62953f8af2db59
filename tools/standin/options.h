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
    std::set<Command> splitOn;               // empty: every list and text reply
    bool closeAll = false;
    std::set<Command> closeOn;
    bool silentAll = false;
    std::set<Command> silentOn;
    long long exitAfter = -1;                // -1: never
    std::set<Command> exitOn;
    std::set<Command> urgentOn;              // an out-of-band byte before the reply
    std::set<Command> floodOn;               // an endless reply, as fast as it is taken
    std::set<Command> trickleOn;             // an endless reply, never quiet for 1 ms
    int listenDelayMs = 0;
    long long faultAt = -1;                  // -1: the faults apply to every request

    bool help = false;
};

extern const char StandInHelp[];

// false with the reason in error when an argument is wrong.
bool ParseOptions(int argc, char** argv, StandInOptions& options, std::string& error);
