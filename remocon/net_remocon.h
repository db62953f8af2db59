#pragma once
#include <cstdint>
#include <string>

#include "common/named_number.h"
#include "net/socket.h"
#include "remocon/protocol.h"

// The plain remote-control client: one operation per command, each one
// exchange with EpgDataCap_Bon. Failures are status -1 (text "-1").
class CNetRemocon : public CSocketBase {
public:
    CNetRemocon(socket_t socket, bool owning);

    virtual int SendListCommand(const std::string& command, NamedNumberList& list, std::int32_t* current);
    virtual int SendSetCommand(const std::string& name, std::int32_t number);
    virtual std::string SendTextCommand(const std::string& command);

    virtual int GetBonList(NamedNumberList& list, std::int32_t* current);
    virtual int GetSpaceList(NamedNumberList& list, std::int32_t* current);
    virtual int GetChList(NamedNumberList& list, std::int32_t* current);
    virtual int GetServiceList(NamedNumberList& list, std::int32_t* current);
    virtual int GetServiceList2(NamedNumberList& list, std::int32_t* current);
    virtual int SetBon(std::int32_t number);
    virtual int SetSpace(std::int32_t number);
    virtual int SetCh(std::int32_t number);
    virtual int SetService(std::int32_t number);
    virtual int SetService2(std::int32_t number);
    virtual std::string GetNowPgInfo();
    virtual std::string GetNextPgInfo();

    // How long an exchange waits for the first piece of its reply.
    void SetReplyTimeout(int milliseconds) { FReplyTimeoutMs = milliseconds; }

    // True once a reply did not come in time. A late reply would be read as
    // the answer to the next request, so the link is out of step for good:
    // further exchanges fail at once and the owner replaces the link.
    bool ReplyLost() const { return FReplyLost; }

private:
    enum class Collected { Text, Failed };
    // Gathers the pieces of one reply until the connection is quiet.
    Collected CollectReply(std::string& reply);
    bool SendRequest(const std::string& text);

    int FReplyTimeoutMs = ReplyTimeoutMs;
    bool FReplyLost = false;
};
