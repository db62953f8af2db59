#include "support/viewer_client.h"

#include <chrono>

ViewerClient::~ViewerClient()
{
    Disconnect();
}

bool ViewerClient::Connect(std::uint16_t port)
{
    Disconnect();
    FSocket = ConnectSocket("127.0.0.1", port);
    FClosed = false;
    return FSocket != InvalidSocket;
}

void ViewerClient::Disconnect()
{
    if (FSocket != InvalidSocket)
        CloseSocket(FSocket);
    FSocket = InvalidSocket;
}

std::optional<std::string> ViewerClient::Collect(int timeoutMs)
{
    CSocketBase socket(FSocket, false);
    std::string reply;
    long waitUs = static_cast<long>(timeoutMs) * 1000;
    for (int pieces = 0; pieces < 10000; ++pieces) {
        if (socket.Select(SelectRead, waitUs / 1000000, waitUs % 1000000) <= 0)
            break;
        char buffer[4096];
        const int n = socket.Recv(buffer, sizeof buffer);
        if (n <= 0) {
            FClosed = true;
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(n));
        waitUs = 20000;
    }
    if (reply.empty())
        return std::nullopt;
    return reply;
}

std::optional<std::string> ViewerClient::Ask(const std::string& request, int timeoutMs)
{
    if (FSocket == InvalidSocket || FClosed)
        return std::nullopt;
    CSocketBase socket(FSocket, false);
    if (socket.Send(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
        return std::nullopt;
    return Collect(timeoutMs);
}

bool ViewerClient::ClosedByServer(int timeoutMs)
{
    if (FSocket == InvalidSocket)
        return false;
    if (FClosed)
        return true;
    return !Collect(timeoutMs) && FClosed;
}
