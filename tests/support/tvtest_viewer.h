#pragma once
// A viewer that behaves as TVTest's network remote control does, as seen on
// the wire and in its public source: one long-lived connection; "GetBonList"
// at start-up, waited for at most 2000 ms (without an answer it gives up and
// picks a channel file of its own); each reply taken with ONE receive of at
// most 4095 bytes, whatever is left being read as the reply to the next
// command; a command given while one is in flight dropped; and its channel
// menu read from the ChSet file, where a line starting with ';' is a comment.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/viewer_client.h"

class TVTestViewer {
public:
    static constexpr int StartUpPatienceMs = 2000;
    static constexpr int ReceiveLimit = 4095;

    bool Connect(std::uint16_t port) { return FConnection.Connect(port); }
    // "GetBonList" with the start-up patience; false when TVTest would have
    // given up on the server.
    bool StartUp();
    // Sends the command unless one is in flight; false when it was dropped
    // (or could not be sent).
    bool Post(const std::string& command);
    // The reply to the command in flight, with one receive, waiting at most
    // timeoutMs; nothing when none came in time (the command stays in
    // flight) or the server closed.
    std::optional<std::string> TakeReply(int timeoutMs);
    // Post and TakeReply.
    std::optional<std::string> Ask(const std::string& command, int timeoutMs = 5000);
    bool InFlight() const { return FInFlight; }
    std::size_t Dropped() const { return FDropped; }

    // The channel menu from a ChSet file's bytes: the first field of every
    // line that does not start with ';', in order. Menu item k selects with
    // "SetCh:k".
    static std::vector<std::string> ReadChSet(const std::string& bytes);
    // What TVTest takes from a channel list reply: the number after the
    // first TAB.
    static std::optional<std::int32_t> CurrentOf(const std::string& reply);

private:
    ViewerClient FConnection;
    bool FInFlight = false;
    std::size_t FDropped = 0;
};
