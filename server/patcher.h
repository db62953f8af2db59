#pragma once
// The patch server: the master thread that listens and owns the shared
// upstream link, and one slave thread per viewer connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "common/thread_base.h"
#include "net/event.h"
#include "net/socket.h"

class CPatchedNetRemocon;
class CEpgDataCapBonManager;
class TPatchedRemoconSlaveThread;

// The failure texts the master reports after it has ended.
inline constexpr const char* CannotStartText = "パッチサーバーを開始できません。";
inline constexpr const char* CannotContinueText = "パッチサーバーの待ち受け処理を続行できません。";
inline constexpr const char* ListeningErrorText = "パッチサーバーの待ち受け処理中にエラーが発生しました。";

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
// of descriptors), which would otherwise find the same connection waiting.
inline constexpr int AcceptBackOffMs = 100;

// What the server tells an observer (the command line's --verbose).
enum class ServerEvent {
    Listening,
    ViewerConnected,
    ViewerRefused,    // accepted and closed: EpgDataCap_Bon unreachable
    ViewerOverLimit,  // accepted and closed: MaxViewers reached
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

    // True when FRemocon is a live link afterwards. Takes "Remocon" itself.
    // Right after a launch, looks for the port for up to LaunchPortWaitMs;
    // otherwise makes a single attempt.
    bool EnsureRemocon(bool justLaunched);
    // The last act of a slave's body.
    void RemoveSlave(TPatchedRemoconSlaveThread* slave);

    // Read only while holding the "Remocon" lock.
    CPatchedNetRemocon* FRemocon = nullptr;
    const event_object& RemoconEvent() const { return FEvRemocon; }
    // Signalled when the server is to stop: ends an upstream exchange in
    // flight and a reply's send to a viewer.
    const CWakeUp& StopWake() const { return FStopWake; }
    // Signalled when the sessions are to end: ends their waits.
    const CWakeUp& SessionsWake() const { return FSessionsWake; }

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

    // The number of live slaves (takes "Slave").
    std::size_t SlaveCount();
    // The port actually listened on, once listening (0 before).
    std::uint16_t ListeningPort() const { return FListeningPort; }

    void Notify(ServerEvent event, const std::string& detail = std::string()) const;

protected:
    void Execute() override;
    void StopRequested() override;

private:
    // A stop was requested (the wake-up is signalled just before the flag).
    bool Stopping() const { return Terminated() || FStopWake.Signalled(); }
    // Serves one waiting connection: refused over the limit, else launch,
    // accept, link, session.
    void AcceptViewer(socket_t listenSocket, event_object& evSlave);
    // Starts the session of an accepted connection; false (the connection
    // closed) when no thread can be had for it.
    bool StartSession(socket_t accepted, event_object& evSlave);
    // After the last viewer: re-selects the last channel, drops the link and
    // ends or lets go of EpgDataCap_Bon, when no session has come since (and
    // while stopping, once every session has gone).
    void CloseAfterLastViewer(event_object& evSlave, event_object& evRemocon, bool stopping);
    // The last channel again, under "Remocon" (held by the caller).
    int ReselectLastChannel();
    void CloseEpgDataCapBon(bool endProcess);

    int FServerPort;
    std::string FRemoconAddr;
    int FRemoconPort;
    NamedNumberList FChannels;
    BonAliasList FBonAliases;
    bool FMultiTuner;
    std::unique_ptr<CEpgDataCapBonManager> FEpgDataCapBon;
    std::set<TPatchedRemoconSlaveThread*> FSlaves;
    // Set under "Slave" by the session that leaves last; the master then
    // closes, before it accepts again, so that a close never meets a launch.
    bool FLastViewerGone = false;
    event_object FEvSlave;
    event_object FEvRemocon;
    CWakeUp FStopWake;
    // Wakes the listening loop: a stop, or the last viewer gone.
    CWakeUp FMasterWake;
    CWakeUp FSessionsWake;

    std::function<void()> FOnFinished;
    ServerObserver FObserver;
    int FReplyTimeoutMs;
    std::uint32_t FIdleLimitMs = IdleLimitMs;
    std::size_t FMaxViewers = DefaultMaxViewers;
    std::atomic<std::uint16_t> FListeningPort{0};
    bool FEverConnected = false;
};

// The server side of one viewer connection.
class CPatchedRemoconServer : public CSocketBase {
public:
    CPatchedRemoconServer(TPatchedRemoconSlaveThread* slave, socket_t socket, bool owning);
    ~CPatchedRemoconServer() override;

    void ServeConnection();
    void DispatchCommand();

private:
    std::uint32_t FLastTick;
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

protected:
    void Execute() override;

private:
    TPatchedRemoconMasterThread* FMaster;
    CPatchedRemoconServer* FServer;
};

// Milliseconds of a 32-bit tick counter that wraps, like the system tick count.
std::uint32_t TickCount();
