#include <cassert>
#include <chrono>
#include <exception>

#include "common/failure_text.h"
#include "process/epgdatacapbon_manager.h"
#include "remocon/patched_net_remocon.h"
#include "remocon/protocol.h"
#include "server/patcher.h"

TPatchedRemoconMasterThread::TPatchedRemoconMasterThread(
    int serverPort, const std::string& remoconAddr, int remoconPort, bool autoLaunch, const std::string& exePath,
    const std::string& exeParam, const std::string& windowText, const NamedNumberList& channels,
    const BonAliasList& aliases, bool multiTuner, bool createSuspended)
    : TThread(true),
      FServerPort(serverPort),
      FRemoconAddr(remoconAddr),
      FRemoconPort(remoconPort),
      FChannels(channels),
      FBonAliases(aliases),
      FMultiTuner(multiTuner),
      FEvSlave("Slave", true),
      FEvRemocon("Remocon", true),
      FReplyTimeoutMs(ReplyTimeoutMs)
{
    if (autoLaunch) {
        // A launch waits for EpgDataCap_Bon to finish starting up; it must
        // not outlast a stop request or the application's end.
        FEpgDataCapBon = std::make_unique<CEpgDataCapBonManager>(
            exePath, exeParam, windowText, [this] { return Stopping() || MainThreadCalls::Quitting(); });
    }
    if (!createSuspended)
        Resume();
}

TPatchedRemoconMasterThread::~TPatchedRemoconMasterThread()
{
    Terminate();
    WaitFor();
    assert(FRemocon == nullptr);
    assert(FSlaves.empty());
    FEpgDataCapBon.reset();
}

void TPatchedRemoconMasterThread::StopRequested()
{
    FStopWake.Signal();
    FMasterWake.Signal();
}

void TPatchedRemoconMasterThread::Notify(ServerEvent event, const std::string& detail) const
{
    if (FObserver)
        FObserver(event, detail);
}

std::size_t TPatchedRemoconMasterThread::SlaveCount()
{
    event_object ev(FEvSlave);
    auto_lock lock(&ev);
    return FSlaves.size();
}

void TPatchedRemoconMasterThread::Execute()
{
    event_object evSlave(FEvSlave);
    event_object evRemocon(FEvRemocon);

    const socket_t listenSocket = CreateListenSocket(static_cast<std::uint16_t>(FServerPort), ServerBacklog);
    if (listenSocket == InvalidSocket) {
        // Which port and why: another program on it, or no right to it.
        FErrorMessage = WithReason(CannotStartText, "ポート " + std::to_string(FServerPort), LastSocketFailureText());
        FSucceeded = false;
    } else {
        CSocketBase listener(listenSocket, true);
        listener.SetWakeUp(&FMasterWake);
        FListeningPort = LocalPort(listenSocket);
        Notify(ServerEvent::Listening, std::to_string(FListeningPort));
        while (!Stopping()) {
            CloseAfterLastViewer(evSlave, evRemocon, false);
            if (listener.Select(SelectRead | SelectException, PollSeconds, 0) == -1) {
                FErrorMessage = CannotContinueText;
                FSucceeded = false;
                break;
            }
            if (listener.IsWoken()) {
                // A stop, or the last viewer gone: the loop's head sees which.
                FMasterWake.Reset();
                continue;
            }
            if (listener.IsException()) {
                FErrorMessage = ListeningErrorText;
                FSucceeded = false;
                break;
            }
            if (listener.IsReadable())
                AcceptViewer(listenSocket, evSlave);
        }
    }

    // The re-selection, then EpgDataCap_Bon ended or let go, then the sessions.
    if (FEpgDataCapBon) {
        int status = StatusSuccess;
        {
            auto_lock lock(&evRemocon);
            if (FRemocon)
                status = ReselectLastChannel();
        }
        CloseEpgDataCapBon(status == StatusSuccess);
    }
    {
        auto_lock lock(&evSlave);
        for (TPatchedRemoconSlaveThread* slave : FSlaves)
            slave->Terminate();
    }
    FSessionsWake.Signal();
    for (;;) {
        {
            auto_lock lock(&evSlave);
            if (FSlaves.empty())
                break;
        }
        // The session that leaves last wakes this wait.
        FMasterWake.WaitFor(100);
        FMasterWake.Reset();
    }
    CloseAfterLastViewer(evSlave, evRemocon, true);
    if (!MainThreadCalls::Quitting() && FOnFinished)
        Synchronize(FOnFinished);
}

void TPatchedRemoconMasterThread::AcceptViewer(socket_t listenSocket, event_object& evSlave)
{
    std::size_t viewers = 0;
    {
        auto_lock lock(&evSlave);
        viewers = FSlaves.size();
    }
    if (viewers >= FMaxViewers) {
        CloseSocket(AcceptSocket(listenSocket));
        Notify(ServerEvent::ViewerOverLimit, std::to_string(viewers));
        return;
    }
    bool justLaunched = false;
    if (FEpgDataCapBon)
        justLaunched = FEpgDataCapBon->LaunchIfNotRunning();
    if (justLaunched)
        Notify(ServerEvent::EpgDataCapBonLaunched);
    const socket_t accepted = AcceptSocket(listenSocket);
    if (accepted == InvalidSocket) {
        // Out of descriptors, say: the connection is still waiting, and
        // trying again at once would spin.
        FMasterWake.WaitFor(AcceptBackOffMs);
        return;
    }
    if (!EnsureRemocon(justLaunched)) {
        CloseSocket(accepted);
        Notify(ServerEvent::ViewerRefused);
        return;
    }
    if (!StartSession(accepted, evSlave))
        Notify(ServerEvent::SessionNotStarted);
}

bool TPatchedRemoconMasterThread::StartSession(socket_t accepted, event_object& evSlave)
{
    auto_lock lock(&evSlave);
    TPatchedRemoconSlaveThread* slave = nullptr;
    try {
        slave = new TPatchedRemoconSlaveThread(this, accepted, true, true);
        FSlaves.insert(slave);
        slave->Resume();
    } catch (const std::exception&) {
        // Out of threads or memory: this viewer only is turned away.
        if (slave) {
            FSlaves.erase(slave);
            delete slave; // closes the connection
        } else {
            CloseSocket(accepted);
        }
        // The link made for it goes as after a last viewer.
        if (FSlaves.empty()) {
            FLastViewerGone = true;
            FMasterWake.Signal();
        }
        return false;
    }
    Notify(ServerEvent::ViewerConnected, std::to_string(FSlaves.size()));
    return true;
}

bool TPatchedRemoconMasterThread::EnsureRemocon(bool justLaunched)
{
    event_object ev(FEvRemocon);
    auto_lock lock(&ev);
    if (FRemocon) {
        // A reply that never came, or bytes that nobody asked for, leave the
        // link out of step; a reset connection (a failed read) is as dead as
        // a closed one.
        bool dead = FRemocon->PeerClosed() || FRemocon->OutOfStep();
        if (!dead) {
            const int ready = FRemocon->Select(SelectRead | SelectException, 0, 0);
            if (ready == -1) {
                dead = true;
            } else if (FRemocon->IsReadable()) {
                // EpgDataCap_Bon sends nothing unasked: a readable link is
                // closed, failed, or holds the rest of a cut reply.
                char discarded;
                FRemocon->Recv(&discarded, 1);
                dead = true;
            }
        }
        if (dead) {
            delete FRemocon;
            FRemocon = nullptr;
            Notify(ServerEvent::UpstreamLost);
        }
    }
    if (FRemocon)
        return true;
    // EpgDataCap_Bon just launched may be slower to listen than to finish
    // starting up: look for its port a while, unless it has ended already.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LaunchPortWaitMs);
    for (;;) {
        const socket_t s = ConnectSocket(FRemoconAddr, static_cast<std::uint16_t>(FRemoconPort), &FStopWake);
        if (s != InvalidSocket) {
            FRemocon = new CPatchedNetRemocon(FChannels, FBonAliases, s, FMultiTuner, true);
            FRemocon->SetReplyTimeout(FReplyTimeoutMs);
            FRemocon->SetWakeUp(&FStopWake);
            FRemocon->SyncCurrentChannel();
            Notify(FEverConnected ? ServerEvent::UpstreamReconnected : ServerEvent::UpstreamConnected,
                   std::to_string(FRemocon->CurrentChannel()));
            FEverConnected = true;
            return true;
        }
        if (!justLaunched || std::chrono::steady_clock::now() >= deadline || !FEpgDataCapBon ||
            !FEpgDataCapBon->HeldProcessRunning())
            return false;
        if (FStopWake.WaitFor(LaunchPortStepMs))
            return false;
    }
}

void TPatchedRemoconMasterThread::RemoveSlave(TPatchedRemoconSlaveThread* slave)
{
    // Only the decision is made here, in one step with the erase: the master
    // re-selects, drops the link and closes EpgDataCap_Bon before it accepts
    // again, so that two sessions leaving together cannot both skip the
    // re-selection, and a close cannot meet a newcomer's launch or link.
    event_object evSlave(FEvSlave);
    auto_lock lock(&evSlave);
    FSlaves.erase(slave);
    Notify(ServerEvent::ViewerDisconnected, std::to_string(FSlaves.size()));
    if (FSlaves.empty()) {
        FLastViewerGone = true;
        FMasterWake.Signal();
    }
}

void TPatchedRemoconMasterThread::CloseAfterLastViewer(event_object& evSlave, event_object& evRemocon, bool stopping)
{
    {
        auto_lock lock(&evSlave);
        // Only the master adds sessions, so an empty set stays empty here.
        if ((!FLastViewerGone && !stopping) || !FSlaves.empty())
            return;
        FLastViewerGone = false;
    }
    int status = StatusSuccess;
    {
        auto_lock lock(&evRemocon);
        if (FRemocon) {
            status = ReselectLastChannel();
            delete FRemocon;
            FRemocon = nullptr;
            Notify(ServerEvent::UpstreamDropped);
        }
    }
    if (FEpgDataCapBon)
        CloseEpgDataCapBon(status == StatusSuccess);
}

int TPatchedRemoconMasterThread::ReselectLastChannel()
{
    // The re-selection decides whether EpgDataCap_Bon is ended, so a stop
    // must not cut it short; an exchange that the stop did cut has left the
    // link out of step, and this one fails at once.
    FRemocon->SetWakeUp(nullptr);
    const int status = FRemocon->SetCh(FRemocon->CurrentChannel());
    FRemocon->SetWakeUp(&FStopWake);
    return status;
}

void TPatchedRemoconMasterThread::CloseEpgDataCapBon(bool endProcess)
{
    const bool held = FEpgDataCapBon->Launched();
    FEpgDataCapBon->Close(endProcess);
    if (held)
        Notify(endProcess ? ServerEvent::EpgDataCapBonEnded : ServerEvent::EpgDataCapBonLetGo);
}
