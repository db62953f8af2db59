#include "support/viewer_client.h"

#include <chrono>

#include "net/socket_platform.h"

ViewerClient::~ViewerClient()
{
    Disconnect();
}

bool ViewerClient::Connect(std::uint16_t port)
{
    Disconnect();
    FClosed = false;
    // Without the "hostent" lock, as a viewer (another program) connects: a
    // connect that waits for a full backlog must not hold up every other
    // connection attempt of the programs under test.
    const auto loopback = socket_platform::ResolveIPv4("127.0.0.1");
    if (!loopback || loopback->empty())
        return false;
    FSocket = socket_platform::CreateStreamSocket();
    if (FSocket == InvalidSocket)
        return false;
    if (socket_platform::Connect(FSocket, loopback->front(), port, ConnectTimeoutMs, InvalidSocket) != 0) {
        CloseSocket(FSocket);
        FSocket = InvalidSocket;
    }
    return FSocket != InvalidSocket;
}

void ViewerClient::Disconnect()
{
    if (FSocket != InvalidSocket)
        CloseSocket(FSocket);
    FSocket = InvalidSocket;
}

std::optional<std::string> ViewerClient::Collect(int timeoutMs, int quietMs)
{
    CSocketBase socket(FSocket, false);
    std::string reply;
    long waitUs = static_cast<long>(timeoutMs) * 1000;
    for (int pieces = 0; pieces < 10000; ++pieces) {
        if (socket.Select(SelectRead, waitUs / 1000000, waitUs % 1000000) <= 0)
            break;
        char buffer[4096];
        const int n = socket.Recv(buffer, quietMs == OneReceive ? TVTestReceiveLimit : sizeof buffer);
        if (n <= 0) {
            FClosed = true;
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(n));
        if (quietMs == OneReceive)
            break;
        waitUs = quietMs * 1000L;
    }
    if (reply.empty())
        return std::nullopt;
    return reply;
}

std::optional<std::string> ViewerClient::Ask(const std::string& request, int timeoutMs, int quietMs)
{
    if (FClosed || !Send(request))
        return std::nullopt;
    return Collect(timeoutMs, quietMs);
}

bool ViewerClient::ClosedByServer(int timeoutMs)
{
    if (FSocket == InvalidSocket)
        return false;
    if (FClosed)
        return true;
    return !Collect(timeoutMs, 20) && FClosed;
}

bool ViewerClient::Send(const std::string& bytes)
{
    if (FSocket == InvalidSocket)
        return false;
    CSocketBase socket(FSocket, false);
    return socket.Send(bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
}
