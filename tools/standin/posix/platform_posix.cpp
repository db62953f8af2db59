#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "tools/standin/platform.h"

namespace {

// Read by the connection threads; a lock-free atomic is safe in a handler.
std::atomic<bool> g_stop{false};

void OnStopSignal(int)
{
    g_stop = true;
}

} // namespace

void InstallStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A client that has gone must give a failed send, not end the process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool StopRequested()
{
    return g_stop;
}

int BindAndListenAt(socket_t s, std::uint32_t address, std::uint16_t port, int backlog)
{
    const int fd = static_cast<int>(s);
    // Lets a stand-in restarted on a fixed port bind while the old
    // connections are in TIME_WAIT; a port someone listens on stays refused.
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return -1;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return -1;
    return ::listen(fd, backlog) == 0 ? 0 : -1;
}

int SendUrgentByte(socket_t s)
{
    const char byte = '!';
    return static_cast<int>(::send(static_cast<int>(s), &byte, 1, MSG_OOB | MSG_NOSIGNAL));
}

void SendWithoutDelay(socket_t s)
{
    int on = 1;
    ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}
