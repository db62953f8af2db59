#include <cassert>
#include <chrono>
#include <thread>

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
            exePath, exeParam, windowText, [this] { return Terminated() || MainThreadCalls::Quitting(); });
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
        FErrorMessage = CannotStartText;
        FSucceeded = false;
    } else {
        CSocketBase listener(listenSocket, true);
        FListeningPort = LocalPort(listenSocket);
        Notify(ServerEvent::Listening, std::to_string(FListeningPort));
        while (!Terminated()) {
            if (listener.Select(SelectRead | SelectException, PollSeconds, 0) == -1) {
                FErrorMessage = CannotContinueText;
                FSucceeded = false;
                break;
            }
            if (listener.IsException()) {
                FErrorMessage = ListeningErrorText;
                FSucceeded = false;
                break;
            }
            if (!listener.IsReadable())
                continue;
            bool justLaunched = false;
            if (FEpgDataCapBon) {
                std::lock_guard<std::mutex> guard(FManagerMutex);
                justLaunched = FEpgDataCapBon->LaunchIfNotRunning();
            }
            if (justLaunched)
                Notify(ServerEvent::EpgDataCapBonLaunched);
            const socket_t accepted = AcceptSocket(listenSocket);
            if (accepted == InvalidSocket)
                continue;
            if (!EnsureRemocon(justLaunched, 3)) {
                CloseSocket(accepted);
                Notify(ServerEvent::ViewerRefused);
                continue;
            }
            auto_lock lock(&evSlave);
            auto* slave = new TPatchedRemoconSlaveThread(this, accepted, true, true);
            FSlaves.insert(slave);
            Notify(ServerEvent::ViewerConnected, std::to_string(FSlaves.size()));
            slave->Resume();
        }
    }

    if (FEpgDataCapBon) {
        int status = StatusSuccess;
        {
            auto_lock lock(&evRemocon);
            if (FRemocon)
                status = FRemocon->SetCh(FRemocon->CurrentChannel());
        }
        CloseEpgDataCapBon(status == StatusSuccess);
    }
    {
        auto_lock lock(&evSlave);
        for (TPatchedRemoconSlaveThread* slave : FSlaves)
            slave->Terminate();
    }
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto_lock lock(&evSlave);
        if (FSlaves.empty())
            break;
    }
    if (!MainThreadCalls::Quitting() && FOnFinished)
        Synchronize(FOnFinished);
}

bool TPatchedRemoconMasterThread::EnsureRemocon(bool justLaunched, int attempts)
{
    event_object ev(FEvRemocon);
    auto_lock lock(&ev);
    if (FRemocon) {
        // A reply that never came leaves the link out of step, and a reset
        // connection (a failed read) is as dead as a closed one.
        bool dead = FRemocon->PeerClosed() || FRemocon->ReplyLost();
        if (!dead) {
            const int ready = FRemocon->Select(SelectRead | SelectException, 0, 0);
            if (ready == -1) {
                dead = true;
            } else if (FRemocon->IsReadable()) {
                char discarded;
                dead = FRemocon->Recv(&discarded, 1) <= 0;
            }
        }
        if (dead) {
            delete FRemocon;
            FRemocon = nullptr;
            Notify(ServerEvent::UpstreamLost);
        }
    }
    if (!FRemocon) {
        for (int attempt = 0; attempt < attempts; ++attempt) {
            const socket_t s = ConnectSocket(FRemoconAddr, static_cast<std::uint16_t>(FRemoconPort));
            if (s == InvalidSocket) {
                if (!justLaunched)
                    return false;
                continue;
            }
            FRemocon = new CPatchedNetRemocon(FChannels, FBonAliases, s, FMultiTuner, true);
            FRemocon->SetReplyTimeout(FReplyTimeoutMs);
            FRemocon->SyncCurrentChannel();
            Notify(FEverConnected ? ServerEvent::UpstreamReconnected : ServerEvent::UpstreamConnected,
                   std::to_string(FRemocon->CurrentChannel()));
            FEverConnected = true;
            break;
        }
        if (!FRemocon)
            return false;
    }
    return true;
}

void TPatchedRemoconMasterThread::RemoveSlave(TPatchedRemoconSlaveThread* slave)
{
    event_object evSlave(FEvSlave);
    event_object evRemocon(FEvRemocon);
    // The set is read under its lock (it is a tree that others change), but
    // the lock is given back before "Remocon" is taken: nothing may hold
    // "Remocon" and then wait for "Slave".
    bool onlyThisOne = false;
    {
        auto_lock lock(&evSlave);
        onlyThisOne = FSlaves.size() == 1 && FSlaves.count(slave) == 1;
    }
    int status = StatusSuccess;
    if (onlyThisOne) {
        auto_lock lock(&evRemocon);
        if (FRemocon)
            status = FRemocon->SetCh(FRemocon->CurrentChannel());
    }
    auto_lock lock(&evSlave);
    FSlaves.erase(slave);
    Notify(ServerEvent::ViewerDisconnected, std::to_string(FSlaves.size()));
    if (!FSlaves.empty())
        return;
    {
        // Kept apart from the accept path's EnsureRemocon, which uses the
        // same link under "Remocon".
        auto_lock remoconLock(&evRemocon);
        if (FRemocon) {
            delete FRemocon;
            FRemocon = nullptr;
            Notify(ServerEvent::UpstreamDropped);
        }
    }
    if (FEpgDataCapBon)
        CloseEpgDataCapBon(status == StatusSuccess);
}

void TPatchedRemoconMasterThread::CloseEpgDataCapBon(bool endProcess)
{
    std::lock_guard<std::mutex> guard(FManagerMutex);
    const bool held = FEpgDataCapBon->Launched();
    FEpgDataCapBon->Close(endProcess);
    if (held)
        Notify(endProcess ? ServerEvent::EpgDataCapBonEnded : ServerEvent::EpgDataCapBonLetGo);
}
