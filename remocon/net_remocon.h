#pragma once
#include <chrono>
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

    // How long an exchange waits for its whole reply.
    void SetReplyTimeout(int milliseconds) { FReplyTimeoutMs = milliseconds; }
    // A time beyond which no exchange waits, whatever its own bound: work
    // that has a budget in all (a stop's re-selection) sets one.
    void SetDeadline(std::chrono::steady_clock::time_point deadline) { FDeadline = deadline; }

    // True once a reply did not come whole in time, was too long, was cut
    // short by the wake-up, or left bytes behind that arrived before the next
    // request. The rest of a reply would be read as the answer to the next
    // request, so the link is out of step for good: further exchanges fail
    // at once and the owner replaces the link.
    bool OutOfStep() const { return FOutOfStep; }
    // Bytes found waiting before a request and thrown away.
    long long DiscardedBytes() const { return FDiscardedBytes; }

protected:
    // When the exchange starting now must have its whole reply.
    std::chrono::steady_clock::time_point ExchangeDeadline() const;

private:
    enum class Collected { Text, Failed };
    // Gathers the pieces of one reply until the connection is quiet.
    Collected CollectReply(std::string& reply);
    // Waits for the first piece of a reply; false (out of step unless the
    // wait failed) when none came by the deadline.
    bool AwaitReply(std::chrono::steady_clock::time_point deadline);
    // Throws away whatever is waiting; true when there was something.
    bool DiscardWaiting();
    bool SendRequest(const std::string& text);

    int FReplyTimeoutMs = ReplyTimeoutMs;
    std::chrono::steady_clock::time_point FDeadline = std::chrono::steady_clock::time_point::max();
    bool FOutOfStep = false;
    long long FDiscardedBytes = 0;
};
