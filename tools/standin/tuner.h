#pragma once
// EpgDataCap_Bon's side of the remote control: a four-level current
// selection (BonDriver, space, channel, service) over a tree, shared by every
// connection, and the reply to each recognised request.
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "remocon/protocol.h"
#include "tools/standin/tree.h"

// A Set for a number that its list does not hold.
inline constexpr int StatusNoSuchEntry = 1;

struct TunerBehaviour {
    bool currentUnknown = false;     // lists give current -1
    std::optional<int> forcedSetStatus; // every Set answers this, changing nothing
};

class Tuner {
public:
    enum Level { BonLevel, SpaceLevel, ChannelLevel, ServiceLevel, LevelCount };

    Tuner(Tree tree, TunerBehaviour behaviour);

    // Carries the request out and gives its reply bytes (never empty).
    std::string Answer(const Request& request);

    // The initial selection: SetBon, SetSpace, ... with these numbers, as
    // many as are given; false at the first number that is not listed.
    bool SelectPath(const std::vector<std::uint32_t>& numbers);

private:
    // The Set of one level by number, as SetBon/SetSpace/SetCh/SetService do:
    // the entry becomes current and every level below goes to its first entry
    // (or to none). A number the current parent does not list changes nothing.
    int Select(Level level, std::uint32_t number);
    const std::vector<TreeEntry>* ListOf(Level level) const; // null: no parent
    const TreeEntry* Current(Level level) const;
    void ResetBelow(Level level);
    std::string ListReply(Level level) const;
    std::string ServiceList2Reply() const;
    int SelectService2(std::uint32_t number);
    std::string ProgrammeText(bool next) const;

    Tree FTree;
    TunerBehaviour FBehaviour;
    std::array<int, LevelCount> FCurrent{}; // indices, -1 for none
    mutable std::mutex FMutex;
};
