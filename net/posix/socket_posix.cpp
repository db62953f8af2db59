#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
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
// more, and writing one there corrupts memory.
int PollRetrying(pollfd& pfd, Clock::time_point deadline, bool forever)
{
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            // Round up so that a 1000 µs quiet period is a whole millisecond,
            // and a partly elapsed one is not cut to a zero-time poll.
            timeout = left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
        }
        const int r = ::poll(&pfd, 1, timeout);
        if (r >= 0 || errno != EINTR)
            return r;
        if (!forever && Clock::now() >= deadline)
            return 0;
    }
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

std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host)
{
    // getaddrinfo is thread-safe where gethostbyname is not.
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0)
        return std::nullopt;
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

socket_t CreateStreamSocket()
{
    // Close-on-exec, so that EpgDataCap_Bon started by us does not inherit
    // viewer connections and keep them open.
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? InvalidSocket : s;
}

int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs)
{
    const int fd = static_cast<int>(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return -1;
    const sockaddr_in sa = MakeAddress(address, port);
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        // An interrupted connect goes on in the background; its outcome is
        // read from the socket once it is writable.
        pollfd pfd{fd, POLLOUT, 0};
        const int r = PollRetrying(pfd, Clock::now() + std::chrono::milliseconds(timeoutMs), false);
        int error = 0;
        socklen_t len = sizeof error;
        result = (r > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) ? 0 : -1;
    } else if (result != 0) {
        result = -1;
    }
    if (::fcntl(fd, F_SETFL, flags) < 0)
        return -1;
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

socket_t Accept(socket_t listener)
{
    for (;;) {
        const int s = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (s >= 0)
            return s;
        if (errno != EINTR)
            return InvalidSocket;
    }
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

int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready)
{
    ready = 0;
    if (s < 0 || seconds < 0 || microseconds < 0)
        return -1;
    pollfd pfd{static_cast<int>(s), 0, 0};
    if (mask & SelectRead)
        pfd.events |= POLLIN;
    if (mask & SelectWrite)
        pfd.events |= POLLOUT;
    if (mask & SelectException)
        pfd.events |= POLLPRI;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
    const int r = PollRetrying(pfd, deadline, false);
    if (r < 0 || (pfd.revents & POLLNVAL))
        return -1;
    if (r == 0)
        return 0;
    // select() reports a closed or failed connection as readable (the next
    // receive then tells which); poll() reports it as POLLHUP or POLLERR.
    if ((mask & SelectRead) && (pfd.revents & (POLLIN | POLLHUP | POLLERR)))
        ready |= SelectRead;
    if ((mask & SelectWrite) && (pfd.revents & (POLLOUT | POLLERR)))
        ready |= SelectWrite;
    if ((mask & SelectException) && (pfd.revents & POLLPRI))
        ready |= SelectException;
    int count = 0;
    for (const int bit : {SelectRead, SelectWrite, SelectException})
        count += (ready & bit) ? 1 : 0;
    return count;
}

} // namespace socket_platform
