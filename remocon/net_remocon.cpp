#include "remocon/net_remocon.h"

#include <cstring>

#include "common/parse_int.h"

CNetRemocon::CNetRemocon(socket_t socket, bool owning)
    : CSocketBase(socket, owning)
{
}

bool CNetRemocon::SendRequest(const std::string& text)
{
    if (FReplyLost)
        return false;
    return Send(text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

CNetRemocon::Collected CNetRemocon::CollectReply(std::string& reply)
{
    // The first piece may be a long time coming; the pieces after it belong
    // to the same reply only while they follow within the quiet period.
    const int first = Select(SelectRead | SelectException, FReplyTimeoutMs / 1000, (FReplyTimeoutMs % 1000) * 1000L);
    if (first == 0) {
        FReplyLost = true;
        return Collected::Failed;
    }
    if (first < 0)
        return Collected::Failed;
    for (;;) {
        char buffer[RequestBufferSize];
        std::memset(buffer, 0, sizeof buffer);
        const int n = Recv(buffer, ReceiveLength);
        if (n < 0)
            return Collected::Failed;
        if (n == 0)
            break;
        reply.append(buffer, strnlen(buffer, static_cast<std::size_t>(n)));
        if (Select(SelectRead | SelectException, 0, QuietPeriodMicroseconds) <= 0 || !IsReadable())
            break;
    }
    return Collected::Text;
}

int CNetRemocon::SendListCommand(const std::string& command, NamedNumberList& list, std::int32_t* current)
{
    if (!SendRequest(command))
        return StatusFailed;
    std::string reply;
    if (CollectReply(reply) == Collected::Failed || reply.empty())
        return StatusFailed;
    return ParseListReply(reply, list, current);
}

int CNetRemocon::SendSetCommand(const std::string& name, std::int32_t number)
{
    if (!SendRequest(FormatSetRequest(name, number)))
        return StatusFailed;
    const int first = Select(SelectRead | SelectException, FReplyTimeoutMs / 1000, (FReplyTimeoutMs % 1000) * 1000L);
    if (first == 0)
        FReplyLost = true;
    if (first <= 0)
        return StatusFailed;
    char buffer[RequestBufferSize];
    const int n = Recv(buffer, ReceiveLength);
    if (n <= 0)
        return StatusFailed;
    return ParseInt(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::string CNetRemocon::SendTextCommand(const std::string& command)
{
    if (!SendRequest(command))
        return FailedText;
    std::string reply;
    if (CollectReply(reply) == Collected::Failed)
        return FailedText;
    return reply;
}

int CNetRemocon::GetBonList(NamedNumberList& list, std::int32_t* current)
{
    return SendListCommand(CommandName(Command::GetBonList), list, current);
}

int CNetRemocon::GetSpaceList(NamedNumberList& list, std::int32_t* current)
{
    return SendListCommand(CommandName(Command::GetSpaceList), list, current);
}

int CNetRemocon::GetChList(NamedNumberList& list, std::int32_t* current)
{
    return SendListCommand(CommandName(Command::GetChList), list, current);
}

int CNetRemocon::GetServiceList(NamedNumberList& list, std::int32_t* current)
{
    return SendListCommand(CommandName(Command::GetServiceList), list, current);
}

int CNetRemocon::GetServiceList2(NamedNumberList& list, std::int32_t* current)
{
    return SendListCommand(CommandName(Command::GetServiceList2), list, current);
}

int CNetRemocon::SetBon(std::int32_t number)
{
    return SendSetCommand(CommandName(Command::SetBon), number);
}

int CNetRemocon::SetSpace(std::int32_t number)
{
    return SendSetCommand(CommandName(Command::SetSpace), number);
}

int CNetRemocon::SetCh(std::int32_t number)
{
    return SendSetCommand(CommandName(Command::SetCh), number);
}

int CNetRemocon::SetService(std::int32_t number)
{
    return SendSetCommand(CommandName(Command::SetService), number);
}

int CNetRemocon::SetService2(std::int32_t number)
{
    return SendSetCommand(CommandName(Command::SetService2), number);
}

std::string CNetRemocon::GetNowPgInfo()
{
    return SendTextCommand(CommandName(Command::GetNowPgInfo));
}

std::string CNetRemocon::GetNextPgInfo()
{
    return SendTextCommand(CommandName(Command::GetNextPgInfo));
}
