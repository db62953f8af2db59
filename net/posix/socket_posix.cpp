#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "net/socket_platform.h"

namespace socket_platform {

namespace {

using Clock = std::chrono::steady_clock;

// poll() instead of select(): an fd_set cannot hold a descriptor of 1024 or
// more, and writing one there corrupts memory. pfd[1] is the wake-up, when
// count is 2.
int PollRetrying(pollfd* pfd, nfds_t count, Clock::time_point deadline, bool forever)
{
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            // Round up so that a 1000 µs quiet period is a whole millisecond,
            // and a partly elapsed one is not cut to a zero-time poll.
            timeout = left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
        }
        const int r = ::poll(pfd, count, timeout);
        if (r >= 0 || errno != EINTR)
            return r;
        if (!forever && Clock::now() >= deadline)
            return 0;
    }
}

// Fills pfd[1] with the wake-up; the count of descriptors to poll.
nfds_t WithWakeUp(pollfd* pfd, socket_t wake)
{
    if (wake == InvalidSocket)
        return 1;
    pfd[1] = pollfd{static_cast<int>(wake), POLLIN, 0};
    return 2;
}

bool Woken(const pollfd* pfd, nfds_t count)
{
    return count == 2 && (pfd[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL));
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

} // namespace

void Startup()
{
}

void Cleanup()
{
}

std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host, std::string* failure)
{
    // getaddrinfo is thread-safe where gethostbyname is not.
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    // An empty host is this machine, as Winsock reads it; getaddrinfo gives
    // the loopback address for no host name (without AI_PASSIVE).
    const int failed = host.empty() ? ::getaddrinfo(nullptr, "0", &hints, &result)
                                    : ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (failed != 0) {
        if (failure)
            *failure = failed == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(failed);
        return std::nullopt;
    }
    std::vector<std::uint32_t> addresses;
    for (const addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const std::uint32_t a = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (const std::uint32_t b : addresses)
            seen = seen || a == b;
        if (!seen)
            addresses.push_back(a);
    }
    ::freeaddrinfo(result);
    return addresses;
}

std::string LastErrorText()
{
    return std::strerror(errno);
}

socket_t CreateStreamSocket()
{
    // Close-on-exec, so that EpgDataCap_Bon started by us does not inherit
    // viewer connections and keep them open.
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? InvalidSocket : s;
}

int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs, socket_t wake)
{
    const int fd = static_cast<int>(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return -1;
    const sockaddr_in sa = MakeAddress(address, port);
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    int error = result == 0 ? 0 : errno;
    if (result != 0 && (error == EINPROGRESS || error == EINTR)) {
        // An interrupted connect goes on in the background; its outcome is
        // read from the socket once it is writable.
        pollfd pfd[2] = {{fd, POLLOUT, 0}, {}};
        const nfds_t count = WithWakeUp(pfd, wake);
        const int r = PollRetrying(pfd, count, Clock::now() + std::chrono::milliseconds(timeoutMs), false);
        socklen_t len = sizeof error;
        if (r < 0)
            error = errno;
        else if (pfd[0].revents == 0)
            error = Woken(pfd, count) ? ECANCELED : ETIMEDOUT;
        else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        result = error == 0 ? 0 : -1;
    } else if (result != 0) {
        result = -1;
    }
    if (::fcntl(fd, F_SETFL, flags) < 0)
        return -1;
    // Kept for LastErrorText: the caller's close must not be what it reads.
    errno = error;
    return result;
}

int BindAndListen(socket_t s, std::uint16_t port, int backlog)
{
    const int fd = static_cast<int>(s);
    // Here SO_REUSEADDR only allows a port still in TIME_WAIT; a port that is
    // listening stays refused.
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return -1;
    const sockaddr_in sa = MakeAddress(htonl(INADDR_ANY), port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return -1;
    return ::listen(fd, backlog) == 0 ? 0 : -1;
}

socket_t Accept(socket_t listener, std::uint32_t& peer)
{
    peer = 0;
    for (;;) {
        sockaddr_in sa;
        std::memset(&sa, 0, sizeof sa);
        socklen_t len = sizeof sa;
        const int s = ::accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
        if (s >= 0) {
            if (sa.sin_family == AF_INET && len >= sizeof sa)
                peer = sa.sin_addr.s_addr;
            return s;
        }
        if (errno != EINTR)
            return InvalidSocket;
    }
}

void SetKeepAlive(socket_t s, int idleSeconds, int intervalSeconds, int probes)
{
    const int fd = static_cast<int>(s);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void Shutdown(socket_t s)
{
    ::shutdown(static_cast<int>(s), SHUT_RDWR);
}

void Close(socket_t s)
{
    // Not retried on EINTR: Linux has released the descriptor already, and a
    // second close could hit one another thread has just been given.
    ::close(static_cast<int>(s));
}

int Recv(socket_t s, char* buffer, int length)
{
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(length), 0);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR)
            return -1;
    }
}

int Send(socket_t s, const char* buffer, int length)
{
    for (;;) {
        // A peer that has gone must give an error here, not SIGPIPE.
        const ssize_t n = ::send(static_cast<int>(s), buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR)
            return -1;
    }
}

int Available(socket_t s)
{
    int n = -1;
    if (::ioctl(static_cast<int>(s), FIONREAD, &n) != 0)
        return -1;
    return n;
}

std::uint16_t LocalPort(socket_t s)
{
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return ntohs(sa.sin_port);
}

int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready, socket_t wake)
{
    ready = 0;
    if (s < 0 || seconds < 0 || microseconds < 0)
        return -1;
    pollfd pfd[2] = {{static_cast<int>(s), 0, 0}, {}};
    if (mask & SelectRead)
        pfd[0].events |= POLLIN;
    if (mask & SelectWrite)
        pfd[0].events |= POLLOUT;
    if (mask & SelectException)
        pfd[0].events |= POLLPRI;
    const nfds_t count = WithWakeUp(pfd, wake);
    const auto deadline = Clock::now() + std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
    const int r = PollRetrying(pfd, count, deadline, false);
    if (r < 0 || (pfd[0].revents & POLLNVAL))
        return -1;
    if (Woken(pfd, count))
        ready |= ReadyWoken;
    if (r == 0)
        return 0;
    // select() reports a closed or failed connection as readable (the next
    // receive then tells which); poll() reports it as POLLHUP or POLLERR.
    const short revents = pfd[0].revents;
    if ((mask & SelectRead) && (revents & (POLLIN | POLLHUP | POLLERR)))
        ready |= SelectRead;
    if ((mask & SelectWrite) && (revents & (POLLOUT | POLLERR)))
        ready |= SelectWrite;
    if ((mask & SelectException) && (revents & POLLPRI))
        ready |= SelectException;
    int readyCount = 0;
    for (const int bit : {SelectRead, SelectWrite, SelectException})
        readyCount += (ready & bit) ? 1 : 0;
    return readyCount;
}

int SendWithin(socket_t s, const char* buffer, int length, int timeoutMs, socket_t wake)
{
    const int fd = static_cast<int>(s);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int sent = 0;
    while (sent < length) {
        // Never blocks: a peer that stops reading is waited for below, where
        // the time-out and the wake-up can end the wait.
        const ssize_t n = ::send(fd, buffer + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return -1;
        pollfd pfd[2] = {{fd, POLLOUT, 0}, {}};
        const nfds_t count = WithWakeUp(pfd, wake);
        const int r = PollRetrying(pfd, count, deadline, false);
        if (r <= 0 || Woken(pfd, count))
            return -1;
    }
    return length;
}

bool CreateWakeUp(socket_t& readEnd, socket_t& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    readEnd = fds[0];
    writeEnd = fds[1];
    return true;
}

void SignalWakeUp(socket_t writeEnd)
{
    const char byte = 1;
    while (::write(static_cast<int>(writeEnd), &byte, 1) < 0 && errno == EINTR) {
    }
}

void DrainWakeUp(socket_t readEnd)
{
    char buffer[64];
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(readEnd), buffer, sizeof buffer);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        return;
    }
}

void CloseWakeUp(socket_t readEnd, socket_t writeEnd)
{
    ::close(static_cast<int>(readEnd));
    ::close(static_cast<int>(writeEnd));
}

} // namespace socket_platform
