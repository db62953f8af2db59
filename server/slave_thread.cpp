#include <cassert>
#include <chrono>
#include <cstring>

#include "remocon/patched_net_remocon.h"
#include "remocon/protocol.h"
#include "server/patcher.h"

std::uint32_t TickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

TPatchedRemoconSlaveThread::TPatchedRemoconSlaveThread(TPatchedRemoconMasterThread* master, socket_t socket,
                                                       bool owning, bool createSuspended)
    : TThread(true), FMaster(master), FServer(new CPatchedRemoconServer(this, socket, owning))
{
    SetFreeOnTerminate(true);
    if (!createSuspended)
        Resume();
}

TPatchedRemoconSlaveThread::~TPatchedRemoconSlaveThread()
{
    delete FServer;
}

void TPatchedRemoconSlaveThread::Execute()
{
    if (FServer)
        FServer->ServeConnection();
    FMaster->RemoveSlave(this);
}

void TPatchedRemoconSlaveThread::Replace()
{
    FReplaced = true;
    // Not closed here: the session still owns the socket and closes it as
    // it leaves.
    if (FServer)
        ShutdownSocket(FServer->Socket());
}

CPatchedRemoconServer::CPatchedRemoconServer(TPatchedRemoconSlaveThread* slave, socket_t socket, bool owning)
    : CSocketBase(socket, owning), FLastTick(TickCount()), FLastLinkCheck(TickCount()), FSlave(slave)
{
}

CPatchedRemoconServer::~CPatchedRemoconServer()
{
    assert(EvRemocon == nullptr);
}

std::uint32_t CPatchedRemoconServer::SilentMs() const
{
    if (FHandling)
        return 0;
    // Read before the clock, so that a request arriving meanwhile cannot
    // make the silence wrap round to ages.
    const std::uint32_t last = FLastTick;
    return TickCount() - last;
}

void CPatchedRemoconServer::ServeConnection()
{
    TPatchedRemoconMasterThread* master = FSlave->Master();
    EvRemocon = new event_object(master->RemoconEvent());
    SetWakeUp(&master->SessionsWake());
    while (!FSlave->Terminated() && !FQuit) {
        // Not past the idle limit either, so that a short one is kept exactly.
        long waitMs = PollSeconds * 1000;
        const std::uint32_t idle = TickCount() - FLastTick;
        if (idle < master->IdleLimit() && master->IdleLimit() - idle < static_cast<std::uint32_t>(waitMs))
            waitMs = static_cast<long>(master->IdleLimit() - idle) + 1;
        if (Select(SelectRead | SelectException, waitMs / 1000, (waitMs % 1000) * 1000) == -1)
            break;
        if (IsWoken())
            continue; // the stop sweep
        if (IsException())
            break;
        // A dead link is noticed within one wait even when the viewer sends
        // nothing, or only asks what the virtual tuner answers itself; a
        // request that goes upstream checks it anyway.
        if (!IsReadable() || TickCount() - FLastLinkCheck >= PollSeconds * 1000) {
            FLastLinkCheck = TickCount();
            if (!master->CheckRemocon())
                break;
        }
        if (IsReadable())
            DispatchCommand();
        if (PeerClosed())
            break;
        const std::uint32_t now = TickCount();
        if (now < FLastTick)
            FLastTick = now;
        else if (now - FLastTick > master->IdleLimit())
            break;
    }
    FQuit = true;
    delete EvRemocon;
    EvRemocon = nullptr;
}

void CPatchedRemoconServer::DispatchCommand()
{
    FHandling = true;
    FLastTick = TickCount();
    char buffer[RequestBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    Recv(buffer, ReceiveLength);
    if (PeerClosed())
        return;

    TPatchedRemoconMasterThread* master = FSlave->Master();
    const auto request = RecognizeRequest(buffer);
    if (!request || !master->LinkUp()) {
        FQuit = true;
        return;
    }
    // The virtual tuner's own answers come from the server's state and never
    // wait for "Remocon": a viewer starting up gets them while another
    // viewer's switch is in flight.
    NamedNumberList list;
    std::int32_t current = 0;
    std::optional<std::string> reply;
    switch (request->command) {
    case Command::GetBonList:
        reply = FormatListReply(CPatchedNetRemocon::VirtualBonList(list, &current), current, list);
        break;
    case Command::GetSpaceList:
        reply = FormatListReply(CPatchedNetRemocon::VirtualSpaceList(list, &current), current, list);
        break;
    case Command::GetChList:
    case Command::GetServiceList2:
        reply = FormatListReply(StatusSuccess, master->CurrentChannel(), master->Channels(),
                                master->ChListReplyLimit());
        break;
    case Command::SetBon:
    case Command::SetSpace:
        reply = FormatStatusReply(CPatchedNetRemocon::VirtualSelect(request->number));
        break;
    default:
        reply = ForwardedReply(*request);
        break;
    }
    if (!reply || reply->empty()) {
        FQuit = true;
        return;
    }
    // Sent with no lock held. A viewer that does not take its reply in
    // time, or has gone, is ended; so is one still being sent to when the
    // server stops.
    const int length = static_cast<int>(reply->size());
    if (SendWithin(reply->data(), length, ViewerSendTimeoutMs, &master->StopWake()) != length)
        FQuit = true;
    FLastTick = TickCount();
    FHandling = false;
}

std::optional<std::string> CPatchedRemoconServer::ForwardedReply(const Request& request)
{
    TPatchedRemoconMasterThread* master = FSlave->Master();
    NamedNumberList list;
    std::int32_t current = 0;
    int status = StatusSuccess;
    std::string text;
    {
        // Held through the exchange only. "Remocon" may be held by another
        // copy of the program too: the wait is bounded like a reply, and a
        // stop ends it.
        auto_lock lock(EvRemocon, static_cast<std::uint32_t>(master->ReplyTimeout()),
                       [master] { return master->Stopping(); });
        if (!lock.Held()) {
            status = StatusFailed;
            text = FailedText;
        } else {
            if (!master->EnsureRemoconLocked(false))
                return std::nullopt;
            CPatchedNetRemocon* remocon = master->FRemocon;
            switch (request.command) {
            case Command::GetServiceList:
                status = remocon->GetServiceList(list, &current);
                break;
            case Command::SetCh:
            case Command::SetService2: // SetCh by another name
                status = remocon->SetCh(request.number);
                master->PublishChannel(remocon->CurrentChannel());
                break;
            case Command::SetService:
                status = remocon->SetService(request.number);
                break;
            case Command::GetNowPgInfo:
                text = remocon->GetNowPgInfo();
                break;
            case Command::GetNextPgInfo:
                text = remocon->GetNextPgInfo();
                break;
            default:
                break;
            }
        }
    }
    switch (ReplyKindOf(request.command)) {
    case ReplyKind::List:
        return FormatListReply(status, current, list);
    case ReplyKind::Status:
        return FormatStatusReply(status);
    case ReplyKind::Text:
        break;
    }
    return text;
}
