#pragma once
// The patch server: the master thread that listens and owns the shared
// upstream link, and one slave thread per viewer connection.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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
// How often every wait of the server wakes up to notice a stop request, a
// dead link or a closed connection.
inline constexpr long PollSeconds = 3;
// A viewer that sends nothing for this long is disconnected.
inline constexpr std::uint32_t IdleLimitMs = 86400000u;

// What the server tells an observer (the command line's --verbose).
enum class ServerEvent {
    Listening,
    ViewerConnected,
    ViewerRefused,    // accepted and closed: EpgDataCap_Bon unreachable
    ViewerDisconnected,
    UpstreamConnected,
    UpstreamReconnected,
    UpstreamLost,
    UpstreamDropped,  // the last viewer left
    EpgDataCapBonLaunched,
    EpgDataCapBonEnded,
    EpgDataCapBonLetGo,
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
    bool EnsureRemocon(bool justLaunched, int attempts);
    // The last act of a slave's body.
    void RemoveSlave(TPatchedRemoconSlaveThread* slave);

    // Read only while holding the "Remocon" lock.
    CPatchedNetRemocon* FRemocon = nullptr;
    const event_object& RemoconEvent() const { return FEvRemocon; }

    bool FSucceeded = true;
    std::string FErrorMessage;

    // Set before Resume. OnFinished runs on the main thread when the body
    // ends, unless the application is quitting.
    void SetOnFinished(std::function<void()> onFinished) { FOnFinished = std::move(onFinished); }
    void SetObserver(ServerObserver observer) { FObserver = std::move(observer); }
    void SetReplyTimeout(int milliseconds) { FReplyTimeoutMs = milliseconds; }
    void SetIdleLimit(std::uint32_t milliseconds) { FIdleLimitMs = milliseconds; }
    std::uint32_t IdleLimit() const { return FIdleLimitMs; }

    // The number of live slaves (takes "Slave").
    std::size_t SlaveCount();
    // The port actually listened on, once listening (0 before).
    std::uint16_t ListeningPort() const { return FListeningPort; }

    void Notify(ServerEvent event, const std::string& detail = std::string()) const;

protected:
    void Execute() override;

private:
    void CloseEpgDataCapBon(bool endProcess);

    int FServerPort;
    std::string FRemoconAddr;
    int FRemoconPort;
    NamedNumberList FChannels;
    BonAliasList FBonAliases;
    bool FMultiTuner;
    std::unique_ptr<CEpgDataCapBonManager> FEpgDataCapBon;
    std::set<TPatchedRemoconSlaveThread*> FSlaves;
    event_object FEvSlave;
    event_object FEvRemocon;

    // The manager is not safe for simultaneous use, and the accept path
    // launches while the last slave may be closing it.
    std::mutex FManagerMutex;
    std::function<void()> FOnFinished;
    ServerObserver FObserver;
    int FReplyTimeoutMs;
    std::uint32_t FIdleLimitMs = IdleLimitMs;
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
