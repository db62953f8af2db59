#pragma once
// A viewer that behaves as TVTest's network remote control does, as seen on
// the wire and in its public source: one long-lived connection; "GetBonList"
// at start-up, waited for at most 2000 ms (without an answer it gives up and
// picks a channel file of its own); each reply taken with ONE receive of at
// most 4095 bytes, whatever is left being read as the reply to the next
// command.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "support/viewer_client.h"

class TVTestViewer {
public:
    static constexpr int StartUpPatienceMs = 2000;
    static constexpr int ReceiveLimit = 4095;

    bool Connect(std::uint16_t port) { return FConnection.Connect(port); }
    // "GetBonList" with the start-up patience; false when TVTest would have
    // given up on the server.
    bool StartUp();
    // Sends the command and takes its reply with one receive, waiting at
    // most timeoutMs; nothing when none came in time or the server closed.
    std::optional<std::string> Ask(const std::string& command, int timeoutMs = 5000);

    // What TVTest takes from a channel list reply: the number after the
    // first TAB.
    static std::optional<std::int32_t> CurrentOf(const std::string& reply);

private:
    ViewerClient FConnection;
};
