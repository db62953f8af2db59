#pragma once
// A scripted remote-control peer on loopback: for each request it receives it
// plays the next reply script (pieces, pauses, a close or silence), so tests
// can give the client exactly the bytes and timing they need.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"

struct PeerStep {
    enum Kind { SendBytes, Pause, Close, Silence } kind;
    std::string bytes; // SendBytes
    int milliseconds = 0; // Pause
};

using PeerScript = std::vector<PeerStep>;

inline PeerStep Bytes(std::string text) { return {PeerStep::SendBytes, std::move(text), 0}; }
inline PeerStep PauseMs(int ms) { return {PeerStep::Pause, {}, ms}; }
inline PeerStep CloseConnection() { return {PeerStep::Close, {}, 0}; }
inline PeerStep StaySilent() { return {PeerStep::Silence, {}, 0}; }

class ScriptedPeer {
public:
    // One script per expected request, in order; a request beyond the last
    // script closes the connection.
    explicit ScriptedPeer(std::vector<PeerScript> scripts);
    ~ScriptedPeer();

    std::uint16_t Port() const { return FPort; }
    // The requests received so far, each as one receive brought it.
    std::vector<std::string> Requests();

private:
    void Run();

    std::vector<PeerScript> FScripts;
    socket_t FListener;
    std::uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::mutex FMutex;
    std::vector<std::string> FRequests;
    std::thread FThread;
};

// Connects to 127.0.0.1:port, failing the test when that is impossible.
socket_t ConnectLoopback(std::uint16_t port);
