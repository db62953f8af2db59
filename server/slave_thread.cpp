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

CPatchedRemoconServer::CPatchedRemoconServer(TPatchedRemoconSlaveThread* slave, socket_t socket, bool owning)
    : CSocketBase(socket, owning), FLastTick(TickCount()), FSlave(slave)
{
}

CPatchedRemoconServer::~CPatchedRemoconServer()
{
    assert(EvRemocon == nullptr);
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
        // Every turn, also after a quiet one, so a dead link is noticed
        // within one wait even when the viewer sends nothing.
        if (!master->EnsureRemocon(false))
            break;
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
    FLastTick = TickCount();
    char buffer[RequestBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    Recv(buffer, ReceiveLength);
    if (PeerClosed())
        return;

    NamedNumberList list;
    std::int32_t current = 0;
    int status = StatusSuccess;

    auto_lock lock(EvRemocon);
    CPatchedNetRemocon* remocon = FSlave->Master()->FRemocon;
    const auto request = RecognizeRequest(buffer);
    if (!remocon || !request) {
        FQuit = true;
        return;
    }
    std::string reply;
    switch (request->command) {
    case Command::GetBonList:
        status = remocon->GetBonList(list, &current);
        break;
    case Command::GetSpaceList:
        status = remocon->GetSpaceList(list, &current);
        break;
    case Command::GetChList:
        status = remocon->GetChList(list, &current);
        break;
    case Command::GetServiceList:
        status = remocon->GetServiceList(list, &current);
        break;
    case Command::GetServiceList2:
        status = remocon->GetServiceList2(list, &current);
        break;
    case Command::SetBon:
        status = remocon->SetBon(request->number);
        break;
    case Command::SetSpace:
        status = remocon->SetSpace(request->number);
        break;
    case Command::SetCh:
        status = remocon->SetCh(request->number);
        break;
    case Command::SetService:
        status = remocon->SetService(request->number);
        break;
    case Command::SetService2:
        status = remocon->SetService2(request->number);
        break;
    case Command::GetNowPgInfo:
        reply = remocon->GetNowPgInfo();
        break;
    case Command::GetNextPgInfo:
        reply = remocon->GetNextPgInfo();
        break;
    }
    switch (ReplyKindOf(request->command)) {
    case ReplyKind::List:
        reply = FormatListReply(status, current, list);
        break;
    case ReplyKind::Status:
        reply = FormatStatusReply(status);
        break;
    case ReplyKind::Text:
        break;
    }
    if (reply.empty()) {
        FQuit = true;
        return;
    }
    // A viewer that does not take its reply in time, or has gone, is ended;
    // so is one still being sent to when the server stops.
    const int length = static_cast<int>(reply.size());
    if (SendWithin(reply.data(), length, ViewerSendTimeoutMs, &FSlave->Master()->StopWake()) != length)
        FQuit = true;
}
