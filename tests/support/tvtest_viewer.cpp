#include "support/tvtest_viewer.h"

#include "common/parse_int.h"
#include "net/socket.h"

bool TVTestViewer::StartUp()
{
    const auto reply = Ask("GetBonList", StartUpPatienceMs);
    return reply && reply->rfind("0\t", 0) == 0;
}

std::optional<std::string> TVTestViewer::Ask(const std::string& command, int timeoutMs)
{
    if (!FConnection.Send(command))
        return std::nullopt;
    CSocketBase socket(FConnection.Socket(), false);
    if (socket.Select(SelectRead, timeoutMs / 1000, (timeoutMs % 1000) * 1000L) <= 0)
        return std::nullopt;
    char buffer[ReceiveLimit];
    const int n = socket.Recv(buffer, ReceiveLimit);
    if (n <= 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::int32_t> TVTestViewer::CurrentOf(const std::string& reply)
{
    const std::size_t tab = reply.find('\t');
    if (tab == std::string::npos)
        return std::nullopt;
    return ParseInt(std::string_view(reply).substr(tab + 1));
}
