#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "net/event.h"
#include "net/socket.h"
#include "net/socket_platform.h"
#include "support/free_port.h"
#include "support/server_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// A listening socket on a free loopback port with one accepted connection.
struct ConnectedPair {
    socket_t listener = CreateListenSocket(0, 1);
    socket_t client = InvalidSocket;
    socket_t server = InvalidSocket;

    ConnectedPair()
    {
        EXPECT_NE(listener, InvalidSocket);
        client = ConnectSocket("127.0.0.1", LocalPort(listener));
        EXPECT_NE(client, InvalidSocket);
        server = AcceptSocket(listener);
        EXPECT_NE(server, InvalidSocket);
    }
    ~ConnectedPair() { CloseSocket(listener); }
};

// A listener whose backlog is full drops further connection requests, so
// that a connect to it neither succeeds nor fails. Holds the connections
// that filled it.
struct FullListener {
    socket_t listener = CreateListenSocket(0, 0);
    std::vector<socket_t> queued;

    FullListener()
    {
        const auto loopback = socket_platform::ResolveIPv4("127.0.0.1");
        for (int i = 0; i < 8; ++i) {
            const socket_t s = socket_platform::CreateStreamSocket();
            if (socket_platform::Connect(s, loopback->front(), LocalPort(listener), 300, InvalidSocket) != 0) {
                CloseSocket(s);
                return;
            }
            queued.push_back(s);
        }
        ADD_FAILURE() << "the backlog never filled";
    }
    ~FullListener()
    {
        for (const socket_t s : queued)
            CloseSocket(s);
        CloseSocket(listener);
    }
    std::uint16_t Port() const { return LocalPort(listener); }
};

} // namespace

TEST(CreateListenSocket, RefusesAPortThatIsListeningButNotOneInTimeWait)
{
    std::uint16_t port = 0;
    {
        ConnectedPair pair;
        port = LocalPort(pair.listener);
        EXPECT_EQ(CreateListenSocket(port, 10), InvalidSocket);
        // Leave a connection of that port in TIME_WAIT: the server side closes first.
        CloseSocket(pair.server);
        CSocketBase client(pair.client, true);
        ASSERT_GE(client.Select(SelectRead, 2, 0), 1);
        char byte;
        EXPECT_EQ(client.Recv(&byte, 1), 0);
    }
    const socket_t again = CreateListenSocket(port, 10);
    EXPECT_NE(again, InvalidSocket);
    CloseSocket(again);
}

TEST(CSocketBase, SelectTimesOutOnTimeSeesThePeerCloseAndSendsToItFail)
{
    ConnectedPair pair;
    CSocketBase client(pair.client, true);
    { CSocketBase borrowed(pair.server, false); }  // leaves its socket open
    {
        CSocketBase server(pair.server, true);
        const auto start = Clock::now();
        EXPECT_EQ(client.Select(SelectRead | SelectException, 0, 300000), 0);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(290));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        EXPECT_FALSE(client.IsReadable());
        EXPECT_FALSE(client.IsException());

        ASSERT_EQ(server.Send("ab", 2), 2);
        EXPECT_EQ(client.Select(SelectRead | SelectException, 2, 0), 1);
        EXPECT_TRUE(client.IsReadable());
        EXPECT_EQ(client.GetAvailable(), 2);
        char buffer[8] = {};
        EXPECT_EQ(client.Recv(buffer, 8), 2);
        EXPECT_FALSE(client.PeerClosed());
        EXPECT_EQ(client.Select(SelectWrite, 0, 0), 1);
        EXPECT_TRUE(client.IsWritable());
    }
    // The server object owned its socket: destroying it closed the connection.
    EXPECT_EQ(client.Select(SelectRead | SelectException, 2, 0), 1);
    EXPECT_TRUE(client.IsReadable());
    char byte;
    EXPECT_EQ(client.Recv(&byte, 1), 0);
    EXPECT_TRUE(client.PeerClosed());
    // Peer closed is never cleared.
    EXPECT_EQ(client.Select(SelectRead, 0, 0), 1);
    EXPECT_TRUE(client.PeerClosed());
    // The first sends may still be accepted locally; the peer's reset makes a
    // later one fail. Without protection the process would die of SIGPIPE.
    int sent = 0;
    for (int i = 0; i < 200 && sent >= 0; ++i) {
        sent = client.Send("data", 4);
        if (sent >= 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_LT(sent, 0);

    CSocketBase none(InvalidSocket, false);
    EXPECT_EQ(none.Select(SelectRead, 0, 0), -1);
    EXPECT_LT(none.Recv(&byte, 1), 0);
    EXPECT_LT(none.Send("x", 1), 0);
}

TEST(CWakeUp, EndsWaitsConnectsAndBoundedSendsAtOnce)
{
    ConnectedPair pair;
    CSocketBase client(pair.client, true);
    CSocketBase server(pair.server, true);
    CWakeUp wake;
    client.SetWakeUp(&wake);
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        wake.Signal();
    });
    auto start = Clock::now();
    EXPECT_EQ(client.Select(SelectRead | SelectException, 10, 0), 0);
    EXPECT_TRUE(client.IsWoken());
    EXPECT_FALSE(client.IsReadable());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    signaller.join();
    // Signalled stays signalled until reset, and a wait with something to
    // read still reports it.
    EXPECT_TRUE(wake.WaitFor(0));
    ASSERT_EQ(server.Send("x", 1), 1);
    EXPECT_EQ(client.Select(SelectRead, 1, 0), 1);
    EXPECT_TRUE(client.IsReadable() && client.IsWoken());
    wake.Reset();
    EXPECT_FALSE(wake.WaitFor(50));

    // A peer that never reads: the bounded send gives up at its bound, or
    // at once when woken.
    const std::string block(1 << 20, 'b');
    start = Clock::now();
    int sent = 0;
    for (int i = 0; i < 64 && sent >= 0; ++i)
        sent = server.SendWithin(block.data(), static_cast<int>(block.size()), 300, nullptr);
    EXPECT_EQ(sent, -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    wake.Signal();
    start = Clock::now();
    EXPECT_EQ(server.SendWithin(block.data(), static_cast<int>(block.size()), 10000, &wake), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    // A connect that would wait for a full backlog ends when woken too.
    FullListener full;
    start = Clock::now();
    EXPECT_EQ(ConnectSocket("127.0.0.1", full.Port(), &wake), InvalidSocket);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(ConnectSocket, AFailedConnectOrOneThatNeverCompletesEndsAtItsBoundAndFreesTheLock)
{
    // Refused at once; the "hostent" lock is free again for a name lookup.
    // Each failure keeps the system's reason for whoever tells the user; a
    // success clears it.
    const std::uint16_t port = FreePort();
    auto start = Clock::now();
    EXPECT_EQ(ConnectSocket("127.0.0.1", port), InvalidSocket);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    const std::string refused = LastSocketFailureText();
    EXPECT_FALSE(refused.empty());
    const socket_t listener = CreateListenSocket(0, 1);
    EXPECT_EQ(LastSocketFailureText(), "");
    EXPECT_EQ(CreateListenSocket(LocalPort(listener), 1), InvalidSocket);
    EXPECT_FALSE(LastSocketFailureText().empty());
    EXPECT_NE(LastSocketFailureText(), refused);
    EXPECT_EQ(ConnectSocket("no-such-host.invalid", port), InvalidSocket);
    EXPECT_FALSE(LastSocketFailureText().empty());
    socket_t byName = InvalidSocket;
    std::string failureSeenByOtherThread = "unset";
    std::thread([&] {
        byName = ConnectSocket("localhost", LocalPort(listener));
        failureSeenByOtherThread = LastSocketFailureText();
    }).join();
    EXPECT_NE(byName, InvalidSocket);
    EXPECT_EQ(failureSeenByOtherThread, "");
    EXPECT_FALSE(LastSocketFailureText().empty()); // per thread
    CloseSocket(byName);
    CloseSocket(listener);

    FullListener full;
    const socket_t open = CreateListenSocket(0, 1);
    start = Clock::now();
    Clock::duration waited{}, otherWaited{};
    socket_t other = InvalidSocket;
    std::string timedOut;
    std::thread hanging([&] {
        EXPECT_EQ(ConnectSocket("127.0.0.1", full.Port()), InvalidSocket);
        waited = Clock::now() - start;
        timedOut = LastSocketFailureText();
    });
    // Once the hanging connect holds the "hostent" lock, this one waits for
    // it, then gets through.
    event_object hostent("hostent", true);
    EXPECT_TRUE(WaitFor([&] {
        const bool free = hostent.Wait(0) == WaitObject0;
        if (free)
            hostent.Signal();
        return !free;
    }, 10000));
    other = ConnectSocket("127.0.0.1", LocalPort(open), nullptr, ConnectTimeoutMs * 2);
    otherWaited = Clock::now() - start;
    hanging.join();
    EXPECT_NE(other, InvalidSocket);
    EXPECT_LT(waited, std::chrono::milliseconds(ConnectTimeoutMs * 2));
    EXPECT_GE(otherWaited, std::chrono::milliseconds(ConnectTimeoutMs - 100));
    EXPECT_FALSE(timedOut.empty());
    CloseSocket(other);
    CloseSocket(open);
}
