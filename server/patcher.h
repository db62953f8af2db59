#pragma once
// The patch server: the master thread that listens and owns the shared
// upstream link, and one slave thread per viewer connection.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "common/thread_base.h"
#include "remocon/protocol.h"
#include "net/event.h"
#include "net/socket.h"
#include "server/allowed_viewers.h"

class CPatchedNetRemocon;
class CEpgDataCapBonManager;
class TPatchedRemoconSlaveThread;

// The failure texts the master reports after it has ended.
inline constexpr const char* CannotStartText = "パッチサーバーを開始できません。";
inline constexpr const char* CannotContinueText = "パッチサーバーの待ち受け処理を続行できません。";
inline constexpr const char* ListeningErrorText = "パッチサーバーの待ち受け処理中にエラーが発生しました。";
// An AllowedViewers entry that is neither an IPv4 address, a range nor "*"; %s is the entry.
inline constexpr const char* BadAllowedViewersText =
    "設定 AllowedViewers の「%s」は IPv4 アドレスでもアドレスの範囲 (192.168.0.0/16 など) でもありません。";

inline constexpr int ServerBacklog = 10;
// The longest any wait of the server lasts, so that a dead link or a closed
// connection is noticed while idle. A stop request ends every wait at once.
inline constexpr long PollSeconds = 3;
// A viewer that sends nothing for this long is disconnected.
inline constexpr std::uint32_t IdleLimitMs = 86400000u;
// A reply that a viewer does not take within this long ends its session: a
// viewer that never reads must not hold "Remocon" and every other viewer.
inline constexpr int ViewerSendTimeoutMs = 5000;
// Connections beyond this many viewers are closed at once (setting MaxViewers).
inline constexpr int DefaultMaxViewers = 64;
// After launching EpgDataCap_Bon, how long and how often to look for its port:
// it may be slower to listen than to finish starting up.
inline constexpr int LaunchPortWaitMs = 10000;
inline constexpr int LaunchPortStepMs = 200;
// How long the listening loop rests after a failed accept (for instance out
// of descriptors), which would otherwise find the same connection waiting;
// such a failure is told at most once in this long.
inline constexpr int AcceptBackOffMs = 100;
inline constexpr int AcceptFailureReportMs = 1000;
// When every place is taken, a newcomer takes the place of the connection
// silent longest once it has been silent this long: connections that send
// nothing cannot keep the real viewers out, and the real viewer simply
// connects again with its next command.
inline constexpr std::uint32_t SquatterSilenceMs = 10000;
// A stop re-selects the last channel within this long in all, whatever
// EpgDataCap_Bon does, so that the whole stop stays well inside the time a
// service manager gives it.
inline constexpr int StopReselectMs = 1000;

// What the server tells an observer (the command line's --verbose).
enum class ServerEvent {
    Listening,
    ViewerConnected,
    ViewerRefused,    // accepted and closed: EpgDataCap_Bon unreachable
    ViewerOverLimit,  // accepted and closed: MaxViewers reached
    ViewerNotAllowed, // accepted and closed: not in AllowedViewers; detail: its address
    ViewerReplaced,   // a silent connection closed for a newcomer; detail: its silence in seconds
    AcceptFailed,     // connections cannot be accepted (out of descriptors); detail: failures since last told
    SessionNotStarted, // accepted and closed: no thread could be had for it
    ViewerDisconnected,
    UpstreamConnected,
    UpstreamReconnected,
    UpstreamLost,
    UpstreamDropped,  // the last viewer left
    EpgDataCapBonLaunched,
    EpgDataCapBonEnded,
    EpgDataCapBonLetGo,
    ChannelSelected,  // the link's current virtual channel changed; detail: its number
};

using ServerObserver = std::function<void(ServerEvent, const std::string& detail)>;

class TPatchedRemoconMasterThread : public TThread {
public:
    TPatchedRemoconMasterThread(int serverPort, const std::string& remoconAddr, int remoconPort, bool autoLaunch,
                                const std::string& exePath, const std::string& exeParam,
                                const std::string& windowText, const NamedNumberList& channels,
                                const BonAliasList& aliases, bool multiTuner, bool createSuspended);
    ~TPatchedRemoconMasterThread() override;

    // True when FRemocon is a live link afterwards. Takes "Remocon" itself,
    // waiting no longer than a reply may take. Right after a launch, looks
    // for the port for up to LaunchPortWaitMs; otherwise makes a single
    // attempt.
    bool EnsureRemocon(bool justLaunched);
    // A session's look at the link between requests: as EnsureRemocon (false)
    // when "Remocon" is free; true at once when it is taken, since the link
    // is then in use.
    bool CheckRemocon();
    // The link check and replacement, for a caller that holds "Remocon".
    bool EnsureRemoconLocked(bool justLaunched);
    // The last act of a slave's body.
    void RemoveSlave(TPatchedRemoconSlaveThread* slave);

    // Read only while holding the "Remocon" lock.
    CPatchedNetRemocon* FRemocon = nullptr;
    const event_object& RemoconEvent() const { return FEvRemocon; }
    // Signalled when the server is to stop: ends an upstream exchange in
    // flight, a lock wait and a reply's send to a viewer.
    const CWakeUp& StopWake() const { return FStopWake; }
    // Signalled when the sessions are to end: ends their waits.
    const CWakeUp& SessionsWake() const { return FSessionsWake; }
    // A stop was requested (the wake-up is signalled just before the flag).
    bool Stopping() const { return Terminated() || FStopWake.Signalled(); }

    // The virtual tuner's state, readable without "Remocon": whether a link
    // exists (it stays set while a dead one is being replaced), the channel
    // list, which never changes while the server runs, and the link's
    // current channel, always one that passed the range check.
    bool LinkUp() const { return FLinkUp; }
    const NamedNumberList& Channels() const { return FChannels; }
    std::int32_t CurrentChannel() const { return FCurrentChannel; }
    // The most bytes of a channel list reply (0: no limit).
    std::size_t ChListReplyLimit() const { return FChListReplyLimit; }
    // Takes the link's current channel after a selection (under "Remocon").
    void PublishChannel(std::int32_t channel);
    int ReplyTimeout() const { return FReplyTimeoutMs; }

    bool FSucceeded = true;
    std::string FErrorMessage;

    // Set before Resume. OnFinished runs on the main thread when the body
    // ends, unless the application is quitting.
    void SetOnFinished(std::function<void()> onFinished) { FOnFinished = std::move(onFinished); }
    void SetObserver(ServerObserver observer) { FObserver = std::move(observer); }
    void SetReplyTimeout(int milliseconds) { FReplyTimeoutMs = milliseconds; }
    void SetIdleLimit(std::uint32_t milliseconds) { FIdleLimitMs = milliseconds; }
    std::uint32_t IdleLimit() const { return FIdleLimitMs; }
    void SetMaxViewers(int viewers) { FMaxViewers = viewers > 0 ? static_cast<std::size_t>(viewers) : 1; }
    void SetChListReplyLimit(int bytes) { FChListReplyLimit = bytes > 0 ? static_cast<std::size_t>(bytes) : 0; }
    // The setting's text, nothing for the default; a malformed one fails the
    // start with BadAllowedViewersText.
    void SetAllowedViewers(std::optional<std::string> text) { FAllowedViewersText = std::move(text); }

    // The number of live slaves.
    std::size_t SlaveCount();
    // The port actually listened on, once listening (0 before).
    std::uint16_t ListeningPort() const { return FListeningPort; }

    void Notify(ServerEvent event, const std::string& detail = std::string()) const;

protected:
    void Execute() override;
    void StopRequested() override;

private:
    // Serves one waiting connection: accepted, checked against who may
    // connect and the places left, then launch, link and session.
    void AcceptViewer(socket_t listenSocket);
    // Under FSlavesLock: true when a place is free, or one was freed by
    // closing the connection silent longest.
    bool FreePlace();
    // Starts the session of an accepted connection; false (the connection
    // closed) when no thread can be had for it.
    bool StartSession(socket_t accepted);
    // After the last viewer: re-selects the last channel, drops the link and
    // ends or lets go of EpgDataCap_Bon, when no session has come since (and
    // while stopping, once every session has gone).
    void CloseAfterLastViewer(bool stopping);
    // The last channel again; a stop gives it StopReselectMs in all. A link
    // that is out of step or dead is not used: the re-selection goes over a
    // connection of its own.
    int ReselectLastChannel(bool stopping);
    void DropLink();
    void CloseEpgDataCapBon(bool endProcess);
    void ReportAcceptFailure();

    int FServerPort;
    std::string FRemoconAddr;
    int FRemoconPort;
    const NamedNumberList FChannels;
    const BonAliasList FBonAliases;
    bool FMultiTuner;
    std::unique_ptr<CEpgDataCapBonManager> FEpgDataCapBon;
    // The live sessions. Guarded by a lock of this process: nothing outside
    // it has any business with them, and a session's leave must never wait
    // on another program.
    std::set<TPatchedRemoconSlaveThread*> FSlaves;
    std::mutex FSlavesLock;
    // Set under FSlavesLock by the session that leaves last; the master then
    // closes, before it accepts again, so that a close never meets a launch.
    bool FLastViewerGone = false;
    event_object FEvRemocon;
    CWakeUp FStopWake;
    // Wakes the listening loop: a stop, or the last viewer gone.
    CWakeUp FMasterWake;
    CWakeUp FSessionsWake;

    std::atomic<bool> FLinkUp{false};
    std::atomic<std::int32_t> FCurrentChannel{0};
    std::size_t FChListReplyLimit = ViewerReceiveLimit;
    std::optional<std::string> FAllowedViewersText;
    CAllowedViewers FAllowedViewers;

    std::function<void()> FOnFinished;
    ServerObserver FObserver;
    int FReplyTimeoutMs;
    std::uint32_t FIdleLimitMs = IdleLimitMs;
    std::size_t FMaxViewers = DefaultMaxViewers;
    std::atomic<std::uint16_t> FListeningPort{0};
    bool FEverConnected = false;
    std::chrono::steady_clock::time_point FLastAcceptFailureReport{};
    long FAcceptFailures = 0;
};

// The server side of one viewer connection.
class CPatchedRemoconServer : public CSocketBase {
public:
    CPatchedRemoconServer(TPatchedRemoconSlaveThread* slave, socket_t socket, bool owning);
    ~CPatchedRemoconServer() override;

    void ServeConnection();
    void DispatchCommand();

    // Milliseconds since the last request was answered (or the connection
    // came); 0 while a request is being handled. Read by the master.
    std::uint32_t SilentMs() const;

private:
    // The reply to a request that goes upstream, under "Remocon"; nothing
    // when the session is to end without one.
    std::optional<std::string> ForwardedReply(const Request& request);

    std::atomic<std::uint32_t> FLastTick;
    std::atomic<bool> FHandling{false};
    std::uint32_t FLastLinkCheck;
    event_object* EvRemocon = nullptr;
    TPatchedRemoconSlaveThread* FSlave;
    bool FQuit = false;
};

class TPatchedRemoconSlaveThread : public TThread {
public:
    TPatchedRemoconSlaveThread(TPatchedRemoconMasterThread* master, socket_t socket, bool owning,
                               bool createSuspended);
    ~TPatchedRemoconSlaveThread() override;

    TPatchedRemoconMasterThread* Master() const { return FMaster; }
    using TThread::Terminated;

    // For the master, under its FSlavesLock.
    std::uint32_t SilentMs() const { return FServer ? FServer->SilentMs() : 0; }
    // Ends the connection for a newcomer: the session's wait returns and it
    // leaves as if the viewer had closed.
    void Replace();
    bool Replaced() const { return FReplaced; }

protected:
    void Execute() override;

private:
    TPatchedRemoconMasterThread* FMaster;
    CPatchedRemoconServer* FServer;
    bool FReplaced = false;
};

// Milliseconds of a 32-bit tick counter that wraps, like the system tick count.
std::uint32_t TickCount();
