#include <winsock2.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "net/socket_platform.h"

namespace socket_platform {

namespace {

// socket_t is signed and SOCKET unsigned; -1 and INVALID_SOCKET are the same
// bits, but the conversion is spelled out so that neither side is misread.
SOCKET ToSocket(socket_t s)
{
    return s == InvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(s);
}

socket_t FromSocket(SOCKET s)
{
    return s == INVALID_SOCKET ? InvalidSocket : static_cast<socket_t>(s);
}

// EpgDataCap_Bon, started by us, must not inherit viewer connections and keep
// them open after we have closed them.
void MakeNotInheritable(SOCKET s)
{
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
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

bool SetBlocking(SOCKET s, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

} // namespace

void Startup()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 0), &data);
}

void Cleanup()
{
    ::WSACleanup();
}

std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host)
{
    // Winsock keeps the result per thread, and the caller holds the "hostent"
    // lock besides.
    const hostent* he = ::gethostbyname(host.c_str());
    if (!he || he->h_addrtype != AF_INET || he->h_length != 4 || !he->h_addr_list)
        return std::nullopt;
    std::vector<std::uint32_t> addresses;
    for (char** entry = he->h_addr_list; *entry; ++entry) {
        std::uint32_t a;
        std::memcpy(&a, *entry, sizeof a);
        addresses.push_back(a);
    }
    return addresses;
}

socket_t CreateStreamSocket()
{
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    MakeNotInheritable(s);
    return FromSocket(s);
}

int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs)
{
    const SOCKET sock = ToSocket(s);
    if (!SetBlocking(sock, false))
        return -1;
    const sockaddr_in sa = MakeAddress(address, port);
    int result = ::connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (result != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        // Writable means connected, exception means refused or failed; either
        // way SO_ERROR has the last word.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock, &writable);
        FD_SET(sock, &failed);
        if (timeoutMs < 0)
            timeoutMs = 0;
        timeval tv;
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        const int r = ::select(0, nullptr, &writable, &failed, &tv);
        int error = 0;
        int len = sizeof error;
        result = (r > 0 && FD_ISSET(sock, &writable) &&
                  ::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0 && error == 0)
                     ? 0
                     : -1;
    } else if (result != 0) {
        result = -1;
    }
    if (!SetBlocking(sock, true))
        return -1;
    return result;
}

int BindAndListen(socket_t s, std::uint16_t port, int backlog)
{
    const SOCKET sock = ToSocket(s);
    // SO_REUSEADDR here would let this socket bind a port that another
    // program is already listening on, hiding "port taken" and splitting the
    // viewers' connections between the two. SO_EXCLUSIVEADDRUSE instead keeps
    // the port ours alone.
    int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) != 0)
        return -1;
    const sockaddr_in sa = MakeAddress(htonl(INADDR_ANY), port);
    if (::bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return -1;
    return ::listen(sock, backlog) == 0 ? 0 : -1;
}

socket_t Accept(socket_t listener)
{
    const SOCKET s = ::accept(ToSocket(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    MakeNotInheritable(s);
    return FromSocket(s);
}

void Close(socket_t s)
{
    ::closesocket(ToSocket(s));
}

int Recv(socket_t s, char* buffer, int length)
{
    // SOCKET_ERROR is -1 already.
    return ::recv(ToSocket(s), buffer, length, 0);
}

int Send(socket_t s, const char* buffer, int length)
{
    return ::send(ToSocket(s), buffer, length, 0);
}

int Available(socket_t s)
{
    // Left at ULONG_MAX, the count reads as -1 (unknown) when it is not filled.
    u_long n = ULONG_MAX;
    if (::ioctlsocket(ToSocket(s), FIONREAD, &n) != 0 || n == ULONG_MAX)
        return -1;
    return n > static_cast<u_long>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

std::uint16_t LocalPort(socket_t s)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    if (::getsockname(ToSocket(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return ntohs(sa.sin_port);
}

int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready)
{
    ready = 0;
    if (s == InvalidSocket || seconds < 0 || microseconds < 0)
        return -1;
    const SOCKET sock = ToSocket(s);
    // An fd_set here is a list of handles, not a bit map: one socket always fits.
    fd_set sets[3];
    const int bits[3] = {SelectRead, SelectWrite, SelectException};
    fd_set* pointers[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        if (mask & bits[i]) {
            FD_ZERO(&sets[i]);
            FD_SET(sock, &sets[i]);
            pointers[i] = &sets[i];
        }
    }
    timeval tv;
    tv.tv_sec = seconds + microseconds / 1000000;
    tv.tv_usec = microseconds % 1000000;
    // The first argument is ignored by Winsock.
    const int r = ::select(0, pointers[0], pointers[1], pointers[2], &tv);
    if (r == SOCKET_ERROR)
        return -1;
    for (int i = 0; i < 3; ++i) {
        if (pointers[i] && FD_ISSET(sock, pointers[i]))
            ready |= bits[i];
    }
    return r;
}

} // namespace socket_platform
