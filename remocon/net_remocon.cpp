#include "remocon/net_remocon.h"

#include <algorithm>
#include <cstring>

#include "common/parse_int.h"

CNetRemocon::CNetRemocon(socket_t socket, bool owning)
    : CSocketBase(socket, owning)
{
}

namespace {

using Clock = std::chrono::steady_clock;

long MicrosecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<long>(left) : 0;
}

} // namespace

Clock::time_point CNetRemocon::ExchangeDeadline() const
{
    return std::min(Clock::now() + std::chrono::milliseconds(FReplyTimeoutMs), FDeadline);
}

bool CNetRemocon::DiscardWaiting()
{
    // EpgDataCap_Bon sends nothing unasked: bytes already waiting are the
    // rest of a reply that was cut by a pause, and would be read as the
    // answer to the request about to go.
    bool found = false;
    for (int round = 0; round < MaxReplyBytes / ReceiveLength; ++round) {
        if (Select(SelectRead, 0, 0) <= 0 || !IsReadable())
            break;
        char buffer[RequestBufferSize];
        const int n = Recv(buffer, ReceiveLength);
        if (n <= 0)
            break; // closed or failed: the exchange itself finds out
        FDiscardedBytes += n;
        found = true;
    }
    return found;
}

bool CNetRemocon::SendRequest(const std::string& text)
{
    if (FOutOfStep)
        return false;
    if (DiscardWaiting()) {
        FOutOfStep = true;
        return false;
    }
    return Send(text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

bool CNetRemocon::AwaitReply(Clock::time_point deadline)
{
    // Readable data only: an out-of-band byte makes no reply, and a receive
    // after it would wait for one without any bound.
    const long us = MicrosecondsUntil(deadline);
    const int ready = Select(SelectRead, us / 1000000, us % 1000000);
    if (ready > 0 && IsReadable())
        return true;
    // No reply in time, or the wake-up: one may still come and would answer
    // the next request.
    if (ready == 0)
        FOutOfStep = true;
    return false;
}

CNetRemocon::Collected CNetRemocon::CollectReply(std::string& reply)
{
    // The first piece may be a long time coming; the pieces after it belong
    // to the same reply only while they follow within the quiet period. A
    // reply that never goes quiet, or grows without end, fails once it
    // outlasts the reply bound or MaxReplyBytes.
    const auto deadline = ExchangeDeadline();
    if (!AwaitReply(deadline))
        return Collected::Failed;
    int received = 0;
    for (;;) {
        char buffer[RequestBufferSize];
        std::memset(buffer, 0, sizeof buffer);
        const int n = Recv(buffer, ReceiveLength);
        if (n < 0)
            return Collected::Failed;
        if (n == 0)
            break;
        received += n;
        reply.append(buffer, strnlen(buffer, static_cast<std::size_t>(n)));
        if (received > MaxReplyBytes || Clock::now() >= deadline) {
            FOutOfStep = true;
            return Collected::Failed;
        }
        if (Select(SelectRead, 0, QuietPeriodMicroseconds) <= 0 || !IsReadable()) {
            if (IsWoken()) {
                // Stopped before the quiet period told whether more is coming.
                FOutOfStep = true;
                return Collected::Failed;
            }
            break;
        }
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
    if (!AwaitReply(ExchangeDeadline()))
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
