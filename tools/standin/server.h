#pragma once
// Accepts connections and serves each on a thread of its own, one request at
// a time, applying the fault switches on the way.
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "tools/standin/options.h"
#include "tools/standin/tuner.h"

// The request log. Each line reaches the file before the reply is sent, so
// whoever holds a reply can find its request there.
class RequestLog {
public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    bool Open(const std::string& path); // truncates
    void Write(const std::string& line); // no-op without a file

private:
    std::mutex FMutex;
    std::FILE* FFile = nullptr;
};

class StandInServer {
public:
    StandInServer(const StandInOptions& options, Tuner& tuner, RequestLog& log);
    ~StandInServer();

    // Serves listener until StopRequested, then ends every connection.
    void Run(socket_t listener);

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void Serve(socket_t socket, Connection& connection);
    // false when the connection is to end.
    bool HandleOne(CSocketBase& socket);
    // faulty: the command, when the fault switches apply to this reply.
    bool SendReply(CSocketBase& socket, const std::string& reply, std::optional<Command> faulty);
    // Sends bytes that never end, until the peer goes or a stop; false.
    bool SendEndless(CSocketBase& socket, bool trickle);
    // Sleeps ms in short steps; false when a stop came first.
    bool Pause(int ms);
    void ReapFinished(bool all);

    const StandInOptions& FOptions;
    Tuner& FTuner;
    RequestLog& FLog;
    std::atomic<bool> FStopping{false};
    std::atomic<long long> FRequestCount{0};
    // Requests received and not yet answered, over every connection.
    std::atomic<int> FInFlight{0};
    std::vector<std::unique_ptr<Connection>> FConnections;
};
