#pragma once
#include <cstdint>
#include <string>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "net/event.h"
#include "remocon/net_remocon.h"

// The upstream link the patch server shares among its viewers. Towards them
// it is one virtual tuner ("TVTest", one space, the user's channel list);
// selecting a virtual channel drives EpgDataCap_Bon through its four real
// levels. Each single exchange with EpgDataCap_Bon runs under the "Tuner" lock.
class CPatchedNetRemocon : public CNetRemocon {
public:
    CPatchedNetRemocon(const NamedNumberList& channels, const BonAliasList& aliases, socket_t socket,
                       bool multiTuner, bool owning);
    ~CPatchedNetRemocon() override;

    int SendListCommand(const std::string& command, NamedNumberList& list, std::int32_t* current) override;
    int SendSetCommand(const std::string& name, std::int32_t number) override;
    std::string SendTextCommand(const std::string& command) override;

    int GetBonList(NamedNumberList& list, std::int32_t* current) override;
    int GetSpaceList(NamedNumberList& list, std::int32_t* current) override;
    int GetChList(NamedNumberList& list, std::int32_t* current) override;
    int GetServiceList2(NamedNumberList& list, std::int32_t* current) override;
    int SetBon(std::int32_t number) override;
    int SetSpace(std::int32_t number) override;
    int SetCh(std::int32_t number) override;
    int SetService2(std::int32_t number) override;

    // Sets the current channel from EpgDataCap_Bon's current selection.
    void SyncCurrentChannel();

    // The virtual tuner's own answers, the same on every link and without
    // one: its one BonDriver, its one space, and a selection of either.
    static int VirtualBonList(NamedNumberList& list, std::int32_t* current);
    static int VirtualSpaceList(NamedNumberList& list, std::int32_t* current);
    static int VirtualSelect(std::int32_t number);

    // The virtual channel selected last (re-selected when the last viewer leaves).
    std::int32_t CurrentChannel() const { return FCurrentChannel; }

private:
    NamedNumberList FChannels;
    BonAliasList FBonAliases;
    bool FMultiTuner;
    event_object FTunerLock;
    std::int32_t FCurrentChannel = 0;
};
