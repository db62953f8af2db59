#include "tests/support/scripted_peer.h"

#include <chrono>
#include <gtest/gtest.h>

ScriptedPeer::ScriptedPeer(std::vector<PeerScript> scripts)
    : FScripts(std::move(scripts)), FListener(CreateListenSocket(0, 1))
{
    EXPECT_NE(FListener, InvalidSocket);
    FPort = LocalPort(FListener);
    FThread = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer()
{
    FStop = true;
    FThread.join();
}

std::vector<std::string> ScriptedPeer::Requests()
{
    std::lock_guard<std::mutex> guard(FMutex);
    return FRequests;
}

void ScriptedPeer::Run()
{
    CSocketBase listener(FListener, true);
    // Bounded: a test that never connects ends the peer after 30 s.
    for (int turn = 0; turn < 300 && !FStop; ++turn) {
        if (listener.Select(SelectRead, 0, 100000) > 0)
            break;
    }
    if (FStop || !listener.IsReadable())
        return;
    CSocketBase connection(AcceptSocket(FListener), true);
    for (const PeerScript& script : FScripts) {
        bool gotRequest = false;
        while (!FStop && !gotRequest) {
            if (connection.Select(SelectRead, 0, 50000) > 0) {
                char buffer[256] = {};
                const int n = connection.Recv(buffer, 255);
                if (n <= 0)
                    return;
                std::lock_guard<std::mutex> guard(FMutex);
                FRequests.emplace_back(buffer, static_cast<std::size_t>(n));
                gotRequest = true;
            }
        }
        if (!gotRequest)
            return;
        for (const PeerStep& step : script) {
            switch (step.kind) {
            case PeerStep::SendBytes:
                connection.Send(step.bytes.data(), static_cast<int>(step.bytes.size()));
                break;
            case PeerStep::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
                break;
            case PeerStep::Close:
                return;
            case PeerStep::Silence:
                while (!FStop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return;
            }
        }
    }
    // Linger until the test is done so that the client sees no early close.
    while (!FStop)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

socket_t ConnectLoopback(std::uint16_t port)
{
    const socket_t s = ConnectSocket("127.0.0.1", port);
    EXPECT_NE(s, InvalidSocket) << "cannot connect to port " << port;
    return s;
}
