#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "net/event.h"
#include "net/socket.h"

namespace {

void NoOp(int) {}

} // namespace

TEST(PosixSockets, WaitWorksForDescriptorsAbove1023)
{
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < 1100) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < 1100)
        GTEST_SKIP() << "cannot raise the descriptor limit";

    // Fill the low descriptors so that the sockets get numbers above 1023.
    std::vector<int> filler;
    for (int fd = open("/dev/null", O_RDONLY); fd >= 0; fd = fd < 1030 ? dup(filler.front()) : -1)
        filler.push_back(fd);
    const socket_t listener = CreateListenSocket(0, 1);
    ASSERT_GT(listener, 1023);
    const socket_t client = ConnectSocket("127.0.0.1", LocalPort(listener));
    ASSERT_GT(client, 1023);
    const socket_t server = AcceptSocket(listener);
    ASSERT_GT(server, 1023);
    {
        CSocketBase c(client, true), s(server, true);
        EXPECT_EQ(c.Select(SelectRead | SelectException, 0, 1000), 0);
        EXPECT_FALSE(c.IsReadable());
        ASSERT_EQ(s.Send("hi", 2), 2);
        EXPECT_EQ(c.Select(SelectRead | SelectException, 2, 0), 1);
        EXPECT_TRUE(c.IsReadable());
        char buffer[4] = {};
        EXPECT_EQ(c.Recv(buffer, 4), 2);
    }
    CloseSocket(listener);
    for (const int fd : filler)
        close(fd);
}

TEST(PosixSockets, AcceptedConnectionsTellTheirPeerAndKeepAlive)
{
    // A viewer whose PC went to sleep must free its place within minutes.
    const socket_t listener = CreateListenSocket(0, 1);
    const socket_t client = ConnectSocket("127.0.0.1", LocalPort(listener));
    std::uint32_t peer = 0;
    const socket_t server = AcceptSocket(listener, &peer);
    ASSERT_NE(server, InvalidSocket);
    EXPECT_EQ(IPv4Text(peer), "127.0.0.1");
    for (const auto& [level, option, value] : {std::tuple{SOL_SOCKET, SO_KEEPALIVE, 1},
                                               {IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleSeconds},
                                               {IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalSeconds},
                                               {IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes}}) {
        int got = -1;
        socklen_t len = sizeof got;
        ASSERT_EQ(getsockopt(static_cast<int>(server), level, option, &got, &len), 0);
        EXPECT_EQ(got, value) << option;
    }
    EXPECT_LE(KeepAliveIdleSeconds + KeepAliveIntervalSeconds * KeepAliveProbes, 180);
    CloseSocket(server);
    CloseSocket(client);
    CloseSocket(listener);
}

TEST(PosixSockets, InterruptedWaitsAndReceivesAreRetried)
{
    struct sigaction action {};
    action.sa_handler = NoOp; // no SA_RESTART: every blocking call sees EINTR
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);

    const socket_t listener = CreateListenSocket(0, 1);
    const socket_t client = ConnectSocket("127.0.0.1", LocalPort(listener));
    CSocketBase s(AcceptSocket(listener), true);
    CSocketBase c(client, true);

    const pthread_t waiter = pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        for (int i = 0; i < 100 && !done; ++i) {
            pthread_kill(waiter, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Select(SelectRead | SelectException, 0, 200000), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));

    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        s.Send("late", 4);
    });
    char buffer[8] = {};
    EXPECT_EQ(c.Recv(buffer, 8), 4);
    done = true;
    sender.join();
    interrupter.join();
    CloseSocket(listener);
    sigaction(SIGUSR1, &old, nullptr);
}

TEST(PosixLocks, LiveInAFolderOnlyTheUserCanReach)
{
    event_object lock("vw-private-check", true);
    ASSERT_EQ(lock.Wait(1000), WaitObject0);
    // The test programs' runtime folder is their own (see test_main.cpp).
    const std::string dir = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/vernwick-locks";
    struct stat folder {}, file {};
    ASSERT_EQ(stat(dir.c_str(), &folder), 0);
    ASSERT_EQ(stat((dir + "/vw-private-check.lock").c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(folder.st_uid, geteuid());
    EXPECT_EQ(file.st_mode & 077, 0u);
    lock.Signal();
}
