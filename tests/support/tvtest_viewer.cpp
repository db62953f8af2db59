#include "support/tvtest_viewer.h"

#include "common/parse_int.h"
#include "net/socket.h"

bool TVTestViewer::StartUp()
{
    const auto reply = Ask("GetBonList", StartUpPatienceMs);
    return reply && reply->rfind("0\t", 0) == 0;
}

bool TVTestViewer::Post(const std::string& command)
{
    if (FInFlight) {
        ++FDropped;
        return false;
    }
    FInFlight = FConnection.Send(command);
    return FInFlight;
}

std::optional<std::string> TVTestViewer::TakeReply(int timeoutMs)
{
    if (!FInFlight)
        return std::nullopt;
    CSocketBase socket(FConnection.Socket(), false);
    if (socket.Select(SelectRead, timeoutMs / 1000, (timeoutMs % 1000) * 1000L) <= 0)
        return std::nullopt;
    char buffer[ReceiveLimit];
    const int n = socket.Recv(buffer, ReceiveLimit);
    FInFlight = false;
    if (n <= 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::string> TVTestViewer::Ask(const std::string& command, int timeoutMs)
{
    if (!Post(command))
        return std::nullopt;
    return TakeReply(timeoutMs);
}

std::vector<std::string> TVTestViewer::ReadChSet(const std::string& bytes)
{
    std::vector<std::string> menu;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.front() != ';')
            menu.push_back(line.substr(0, line.find('\t')));
        start = end + 1;
    }
    return menu;
}

std::optional<std::int32_t> TVTestViewer::CurrentOf(const std::string& reply)
{
    const std::size_t tab = reply.find('\t');
    if (tab == std::string::npos)
        return std::nullopt;
    return ParseInt(std::string_view(reply).substr(tab + 1));
}
