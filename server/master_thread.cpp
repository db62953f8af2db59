#include <cassert>
#include <chrono>
#include <exception>

#include "common/failure_text.h"
#include "process/epgdatacapbon_manager.h"
#include "remocon/patched_net_remocon.h"
#include "remocon/protocol.h"
#include "server/patcher.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A link that cannot carry another exchange: closed by EpgDataCap_Bon, or
// out of step (a reply that never came, bytes nobody asked for); a reset
// connection (a failed read) is as dead as a closed one.
bool LinkDead(CPatchedNetRemocon& link)
{
    if (link.PeerClosed() || link.OutOfStep())
        return true;
    const int ready = link.Select(SelectRead | SelectException, 0, 0);
    if (ready == -1)
        return true;
    if (!link.IsReadable())
        return false;
    // EpgDataCap_Bon sends nothing unasked: a readable link is closed,
    // failed, or holds the rest of a cut reply.
    char discarded;
    link.Recv(&discarded, 1);
    return true;
}

} // namespace

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
    std::lock_guard<std::mutex> lock(FSlavesLock);
    return FSlaves.size();
}

void TPatchedRemoconMasterThread::PublishChannel(std::int32_t channel)
{
    if (FCurrentChannel.exchange(channel) != channel)
        Notify(ServerEvent::ChannelSelected, std::to_string(channel));
}

void TPatchedRemoconMasterThread::Execute()
{
    std::string badEntry;
    const auto allowed = CAllowedViewers::FromSetting(FAllowedViewersText, badEntry);
    const socket_t listenSocket =
        allowed ? CreateListenSocket(static_cast<std::uint16_t>(FServerPort), ServerBacklog) : InvalidSocket;
    if (!allowed) {
        FErrorMessage = BadAllowedViewersText;
        FErrorMessage.replace(FErrorMessage.find("%s"), 2, badEntry);
        FSucceeded = false;
    } else if (listenSocket == InvalidSocket) {
        // Which port and why: another program on it, or no right to it.
        FErrorMessage = WithReason(CannotStartText, "ポート " + std::to_string(FServerPort), LastSocketFailureText());
        FSucceeded = false;
    } else {
        FAllowedViewers = *allowed;
        CSocketBase listener(listenSocket, true);
        listener.SetWakeUp(&FMasterWake);
        FListeningPort = LocalPort(listenSocket);
        Notify(ServerEvent::Listening, std::to_string(FListeningPort));
        while (!Stopping()) {
            CloseAfterLastViewer(false);
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
                AcceptViewer(listenSocket);
        }
    }

    // The sessions end first: the stop has cut whatever they were waiting
    // for. Then the re-selection, and EpgDataCap_Bon ended or let go.
    {
        std::lock_guard<std::mutex> lock(FSlavesLock);
        for (TPatchedRemoconSlaveThread* slave : FSlaves)
            slave->Terminate();
    }
    FSessionsWake.Signal();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(FSlavesLock);
            if (FSlaves.empty())
                break;
        }
        // The session that leaves last wakes this wait.
        FMasterWake.WaitFor(100);
        FMasterWake.Reset();
    }
    CloseAfterLastViewer(true);
    if (!MainThreadCalls::Quitting() && FOnFinished)
        Synchronize(FOnFinished);
}

void TPatchedRemoconMasterThread::AcceptViewer(socket_t listenSocket)
{
    // Accepted first, so that neither a connection from outside nor one over
    // the limit ever starts EpgDataCap_Bon.
    std::uint32_t peer = 0;
    const socket_t accepted = AcceptSocket(listenSocket, &peer);
    if (accepted == InvalidSocket) {
        // Out of descriptors, say: the connection is still waiting, and
        // trying again at once would spin.
        ReportAcceptFailure();
        FMasterWake.WaitFor(AcceptBackOffMs);
        return;
    }
    if (!FAllowedViewers.Allows(peer)) {
        CloseSocket(accepted);
        Notify(ServerEvent::ViewerNotAllowed, IPv4Text(peer));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(FSlavesLock);
        if (!FreePlace()) {
            CloseSocket(accepted);
            Notify(ServerEvent::ViewerOverLimit, std::to_string(FSlaves.size()));
            return;
        }
    }
    // While a link exists EpgDataCap_Bon runs and the newcomer shares the
    // link; its session checks it like every other. Only without one does
    // the accept wait for "Remocon", to launch and connect in that order.
    if (!FLinkUp) {
        bool justLaunched = false;
        if (FEpgDataCapBon)
            justLaunched = FEpgDataCapBon->LaunchIfNotRunning();
        if (justLaunched)
            Notify(ServerEvent::EpgDataCapBonLaunched);
        if (!EnsureRemocon(justLaunched)) {
            CloseSocket(accepted);
            Notify(ServerEvent::ViewerRefused);
            return;
        }
    }
    if (!StartSession(accepted))
        Notify(ServerEvent::SessionNotStarted);
}

bool TPatchedRemoconMasterThread::FreePlace()
{
    std::size_t taken = 0;
    TPatchedRemoconSlaveThread* silentLongest = nullptr;
    std::uint32_t longest = 0;
    for (TPatchedRemoconSlaveThread* slave : FSlaves) {
        if (slave->Replaced())
            continue; // leaving already
        ++taken;
        const std::uint32_t silent = slave->SilentMs();
        if (silent >= SquatterSilenceMs && silent >= longest) {
            longest = silent;
            silentLongest = slave;
        }
    }
    if (taken < FMaxViewers)
        return true;
    if (!silentLongest)
        return false;
    silentLongest->Replace();
    Notify(ServerEvent::ViewerReplaced, std::to_string(longest / 1000));
    return true;
}

void TPatchedRemoconMasterThread::ReportAcceptFailure()
{
    ++FAcceptFailures;
    const auto now = Clock::now();
    if (now - FLastAcceptFailureReport < std::chrono::milliseconds(AcceptFailureReportMs))
        return;
    FLastAcceptFailureReport = now;
    Notify(ServerEvent::AcceptFailed, std::to_string(FAcceptFailures));
    FAcceptFailures = 0;
}

bool TPatchedRemoconMasterThread::StartSession(socket_t accepted)
{
    std::lock_guard<std::mutex> lock(FSlavesLock);
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
    auto_lock lock(&ev, static_cast<std::uint32_t>(FReplyTimeoutMs), [this] { return Stopping(); });
    return lock.Held() && EnsureRemoconLocked(justLaunched);
}

bool TPatchedRemoconMasterThread::CheckRemocon()
{
    event_object ev(FEvRemocon);
    auto_lock lock(&ev, 0);
    return !lock.Held() || EnsureRemoconLocked(false);
}

bool TPatchedRemoconMasterThread::EnsureRemoconLocked(bool justLaunched)
{
    if (FRemocon && LinkDead(*FRemocon)) {
        delete FRemocon;
        FRemocon = nullptr;
        Notify(ServerEvent::UpstreamLost);
    }
    if (FRemocon)
        return true;
    // EpgDataCap_Bon just launched may be slower to listen than to finish
    // starting up: look for its port a while, unless it has ended already.
    const auto deadline = Clock::now() + std::chrono::milliseconds(LaunchPortWaitMs);
    for (;;) {
        const socket_t s = ConnectSocket(FRemoconAddr, static_cast<std::uint16_t>(FRemoconPort), &FStopWake);
        if (s != InvalidSocket) {
            FRemocon = new CPatchedNetRemocon(FChannels, FBonAliases, s, FMultiTuner, true);
            FRemocon->SetReplyTimeout(FReplyTimeoutMs);
            FRemocon->SetWakeUp(&FStopWake);
            FRemocon->SyncCurrentChannel();
            FCurrentChannel = FRemocon->CurrentChannel();
            FLinkUp = true;
            Notify(FEverConnected ? ServerEvent::UpstreamReconnected : ServerEvent::UpstreamConnected,
                   std::to_string(FRemocon->CurrentChannel()));
            Notify(ServerEvent::ChannelSelected, std::to_string(FRemocon->CurrentChannel()));
            FEverConnected = true;
            return true;
        }
        if (!justLaunched || Clock::now() >= deadline || !FEpgDataCapBon || !FEpgDataCapBon->HeldProcessRunning() ||
            FStopWake.WaitFor(LaunchPortStepMs)) {
            FLinkUp = false;
            return false;
        }
    }
}

void TPatchedRemoconMasterThread::RemoveSlave(TPatchedRemoconSlaveThread* slave)
{
    // Only the decision is made here, in one step with the erase: the master
    // re-selects, drops the link and closes EpgDataCap_Bon before it accepts
    // again, so that two sessions leaving together cannot both skip the
    // re-selection, and a close cannot meet a newcomer's launch or link.
    std::lock_guard<std::mutex> lock(FSlavesLock);
    FSlaves.erase(slave);
    Notify(ServerEvent::ViewerDisconnected, std::to_string(FSlaves.size()));
    if (FSlaves.empty()) {
        FLastViewerGone = true;
        FMasterWake.Signal();
    }
}

void TPatchedRemoconMasterThread::CloseAfterLastViewer(bool stopping)
{
    {
        std::lock_guard<std::mutex> lock(FSlavesLock);
        // Only the master adds sessions, so an empty set stays empty here,
        // and no session touches the link until this returns.
        if ((!FLastViewerGone && !stopping) || !FSlaves.empty())
            return;
    }
    const int status = ReselectLastChannel(stopping);
    // A stop that came meanwhile re-selects again, within its own bound.
    if (!stopping && Stopping())
        return;
    {
        std::lock_guard<std::mutex> lock(FSlavesLock);
        FLastViewerGone = false;
    }
    DropLink();
    if (FEpgDataCapBon)
        CloseEpgDataCapBon(status == StatusSuccess);
}

int TPatchedRemoconMasterThread::ReselectLastChannel(bool stopping)
{
    if (!FRemocon)
        return StatusSuccess;
    // The re-selection decides whether EpgDataCap_Bon is ended. A stop has
    // already cut whatever was in flight and gives it a budget of its own
    // instead; otherwise a stop cuts it, and the stop's own one follows.
    const auto deadline = stopping ? Clock::now() + std::chrono::milliseconds(StopReselectMs) : Clock::time_point::max();
    event_object ev(FEvRemocon);
    auto_lock lock(&ev, static_cast<std::uint32_t>(stopping ? StopReselectMs : FReplyTimeoutMs),
                   [this, stopping] { return !stopping && Stopping(); });
    if (!lock.Held())
        return StatusFailed;
    CPatchedNetRemocon* link = FRemocon;
    std::unique_ptr<CPatchedNetRemocon> fresh;
    const CWakeUp* wake = stopping ? nullptr : &FStopWake;
    if (LinkDead(*FRemocon)) {
        const socket_t s = ConnectSocket(FRemoconAddr, static_cast<std::uint16_t>(FRemoconPort), wake,
                                         stopping ? MillisecondsUntil(deadline) : ConnectTimeoutMs);
        if (s == InvalidSocket)
            return StatusFailed;
        fresh = std::make_unique<CPatchedNetRemocon>(FChannels, FBonAliases, s, FMultiTuner, true);
        fresh->SetReplyTimeout(FReplyTimeoutMs);
        link = fresh.get();
    }
    link->SetWakeUp(wake);
    link->SetDeadline(deadline);
    return link->SetCh(FRemocon->CurrentChannel());
}

void TPatchedRemoconMasterThread::DropLink()
{
    // No session is left to use the link, and only this thread makes one.
    if (!FRemocon)
        return;
    FLinkUp = false;
    delete FRemocon;
    FRemocon = nullptr;
    Notify(ServerEvent::UpstreamDropped);
}

void TPatchedRemoconMasterThread::CloseEpgDataCapBon(bool endProcess)
{
    const bool held = FEpgDataCapBon->Launched();
    FEpgDataCapBon->Close(endProcess);
    if (held)
        Notify(endProcess ? ServerEvent::EpgDataCapBonEnded : ServerEvent::EpgDataCapBonLetGo);
}
