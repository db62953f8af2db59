#pragma once
// A viewer as the tests play it: bare request texts, one send each, and the
// raw reply bytes back.
#include <cstdint>
#include <optional>
#include <string>

#include "net/socket.h"

// TVTest's way with a reply: ONE receive of at most TVTestReceiveLimit
// bytes, whatever is left being read as the reply to the next command. At
// start-up it waits TVTestStartUpMs for "GetBonList", then gives up.
inline constexpr int OneReceive = -1;
inline constexpr int TVTestReceiveLimit = 4095;
inline constexpr int TVTestStartUpMs = 2000;

class ViewerClient {
public:
    ViewerClient() = default;
    ~ViewerClient();
    ViewerClient(const ViewerClient&) = delete;
    ViewerClient& operator=(const ViewerClient&) = delete;

    bool Connect(std::uint16_t port);
    void Disconnect();

    // Sends the request and collects the reply: its first piece within
    // timeoutMs, the rest until the line has been quiet for quietMs, or with
    // OneReceive as TVTest takes a reply. Nothing when no byte came (the
    // server closed the connection, or the time ran out).
    std::optional<std::string> Ask(const std::string& request, int timeoutMs = 5000, int quietMs = 20);
    // True when the server closes the connection within timeoutMs, sending
    // nothing before it.
    bool ClosedByServer(int timeoutMs);
    // Sends bytes without waiting for any reply; false when they did not all go.
    bool Send(const std::string& bytes);
    socket_t Socket() const { return FSocket; }

    // Collects a reply without sending anything, as Ask does.
    std::optional<std::string> Receive(int timeoutMs) { return Collect(timeoutMs, 20); }

private:
    std::optional<std::string> Collect(int timeoutMs, int quietMs);
    socket_t FSocket = InvalidSocket;
    bool FClosed = false;
};
