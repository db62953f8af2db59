#include "net/socket.h"

#include <memory>

#include "net/event.h"
#include "net/socket_platform.h"

namespace {

// A blocking connect holds the "hostent" lock and so delays every other
// connection attempt of every thread; an address that neither accepts nor
// refuses must not hold them all for the system's minutes-long TCP time-out.
constexpr int ConnectTimeoutMs = 10000;

std::unique_ptr<event_object> g_hostent;

} // namespace

void SocketStartup()
{
    socket_platform::Startup();
    g_hostent = std::make_unique<event_object>("hostent", true);
}

void SocketCleanup()
{
    g_hostent.reset();
    socket_platform::Cleanup();
}

socket_t ConnectSocket(const std::string& host, std::uint16_t port)
{
    std::unique_ptr<auto_lock_object> lock;
    if (g_hostent)
        lock = std::make_unique<auto_lock_object>(*g_hostent);

    const auto addresses = socket_platform::ResolveIPv4(host);
    if (!addresses || addresses->empty())
        return InvalidSocket;
    // A fresh socket per address: after a failed connect the state of a socket
    // is unspecified, so it is not tried again.
    for (const std::uint32_t address : *addresses) {
        const socket_t s = socket_platform::CreateStreamSocket();
        if (s == InvalidSocket)
            return InvalidSocket;
        if (socket_platform::Connect(s, address, port, ConnectTimeoutMs) == 0)
            return s;
        socket_platform::Close(s);
    }
    return InvalidSocket;
}

socket_t CreateListenSocket(std::uint16_t port, int backlog)
{
    const socket_t s = socket_platform::CreateStreamSocket();
    if (s == InvalidSocket)
        return InvalidSocket;
    if (socket_platform::BindAndListen(s, port, backlog) != 0) {
        socket_platform::Close(s);
        return InvalidSocket;
    }
    return s;
}

socket_t AcceptSocket(socket_t listener)
{
    return socket_platform::Accept(listener);
}

void CloseSocket(socket_t s)
{
    if (s != InvalidSocket)
        socket_platform::Close(s);
}

std::uint16_t LocalPort(socket_t s)
{
    return socket_platform::LocalPort(s);
}

CSocketBase::CSocketBase(socket_t socket, bool owning)
    : FSocket(socket), FClosed(!owning)
{
}

int CSocketBase::GetAvailable()
{
    return socket_platform::Available(FSocket);
}

CSocketBase::~CSocketBase()
{
    if (!FClosed && FSocket != InvalidSocket)
        socket_platform::Close(FSocket);
    FClosed = true;
}

int CSocketBase::Recv(char* buffer, int length)
{
    const int n = socket_platform::Recv(FSocket, buffer, length);
    if (n == 0)
        FPeerClosed = true;
    return n;
}

int CSocketBase::Send(const char* buffer, int length)
{
    return socket_platform::Send(FSocket, buffer, length);
}

int CSocketBase::Select(int mask, long seconds, long microseconds)
{
    int ready = 0;
    const int result = socket_platform::Wait(FSocket, mask, seconds, microseconds, ready);
    FReadable = result > 0 && (ready & SelectRead);
    FWritable = result > 0 && (ready & SelectWrite);
    FException = result > 0 && (ready & SelectException);
    return result;
}
