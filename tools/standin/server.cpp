#include "tools/standin/server.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "tools/standin/platform.h"
#include "tools/viewer/visible_text.h"

namespace {

// How often waiting loops look at the stop flag.
constexpr long PollMicroseconds = 100 * 1000;

// The exit code of a process ended by --exit-after, standing for a crash.
constexpr int CrashExitCode = 3;

} // namespace

RequestLog::~RequestLog()
{
    if (FFile)
        std::fclose(FFile);
}

bool RequestLog::Open(const std::string& path)
{
    FFile = std::fopen(path.c_str(), "wb");
    return FFile != nullptr;
}

void RequestLog::Write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (!FFile)
        return;
    std::fputs(line.c_str(), FFile);
    std::fputc('\n', FFile);
    std::fflush(FFile);
}

StandInServer::StandInServer(const StandInOptions& options, Tuner& tuner, RequestLog& log)
    : FOptions(options), FTuner(tuner), FLog(log)
{
}

StandInServer::~StandInServer()
{
    FStopping = true;
    ReapFinished(true);
}

void StandInServer::Run(socket_t listener)
{
    CSocketBase listening(listener, true);
    while (!StopRequested()) {
        const int ready = listening.Select(SelectRead, 0, PollMicroseconds);
        if (ready < 0)
            break;
        ReapFinished(false);
        if (ready == 0 || !listening.IsReadable())
            continue;
        const socket_t s = AcceptSocket(listener);
        if (s == InvalidSocket)
            continue;
        auto connection = std::make_unique<Connection>();
        Connection& c = *connection;
        FConnections.push_back(std::move(connection));
        c.thread = std::thread([this, s, &c] { Serve(s, c); });
    }
    FStopping = true;
    ReapFinished(true);
}

void StandInServer::ReapFinished(bool all)
{
    for (auto it = FConnections.begin(); it != FConnections.end();) {
        if (all || (*it)->done) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = FConnections.erase(it);
        } else {
            ++it;
        }
    }
}

void StandInServer::Serve(socket_t s, Connection& connection)
{
    {
        CSocketBase socket(s, true);
        SendWithoutDelay(s);
        FLog.Write("#open");
        for (;;) {
            if (FStopping || StopRequested())
                break;
            const int ready = socket.Select(SelectRead, 0, PollMicroseconds);
            if (ready < 0)
                break;
            if (ready == 0 || !socket.IsReadable())
                continue;
            if (!HandleOne(socket))
                break;
        }
        // Logged before the socket closes, so that a client that sees the
        // close finds it in the log.
        FLog.Write("#close");
    }
    connection.done = true;
}

bool StandInServer::Pause(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (FStopping || StopRequested())
            return false;
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10)));
    }
    return true;
}

bool StandInServer::HandleOne(CSocketBase& socket)
{
    // One receive of at most 255 bytes is one request, as EpgDataCap_Bon
    // reads them; the text ends at its first NUL.
    char buffer[RequestBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    const int got = socket.Recv(buffer, ReceiveLength);
    if (got <= 0)
        return false;
    const std::string text(buffer, std::strlen(buffer));
    std::string line = VisibleText(text);
    // "#" starts the log's own lines; a request cannot pass for one.
    if (!line.empty() && line.front() == '#')
        line.replace(0, 1, "\\x23");
    // Counted until just before its reply goes: a client waits for the reply
    // before it asks again, so a request arriving meanwhile overlaps.
    struct InFlight {
        std::atomic<int>& count;
        bool done = false;
        void End()
        {
            if (!done)
                --count;
            done = true;
        }
        ~InFlight() { End(); }
    } inFlight{FInFlight};
    if (FInFlight.fetch_add(1) > 0)
        FLog.Write("#overlap");
    FLog.Write(line);

    const long long count = ++FRequestCount;
    if (FOptions.exitAfter >= 0 && count > FOptions.exitAfter) {
        // A crash: no reply, no clean-up; the system closes the sockets.
        std::_Exit(CrashExitCode);
    }

    const auto request = RecognizeRequest(text);
    if (!request)
        return false;
    const Command command = request->command;
    if (FOptions.exitOn.count(command))
        std::_Exit(CrashExitCode);
    const bool faulty = FOptions.faultAt < 0 || count == FOptions.faultAt;
    const auto in = [&](const std::set<Command>& set) { return faulty && set.count(command) != 0; };
    if ((faulty && FOptions.closeAll) || in(FOptions.closeOn))
        return false;
    if ((faulty && FOptions.silentAll) || in(FOptions.silentOn))
        return true;
    if (in(FOptions.urgentOn) && SendUrgentByte(socket.Socket()) != 1)
        return false;

    const auto delay = FOptions.delayByCommand.find(command);
    const int delayMs = !faulty ? 0 : delay != FOptions.delayByCommand.end() ? delay->second : FOptions.delayMs;
    if (delayMs > 0 && !Pause(delayMs))
        return false;
    inFlight.End();
    if (in(FOptions.floodOn) || in(FOptions.trickleOn))
        return SendEndless(socket, in(FOptions.trickleOn));
    // Carried out after the delay: a slow EpgDataCap_Bon is busy with the
    // request and answers once it is done.
    const std::string reply = FTuner.Answer(*request);
    return SendReply(socket, reply, faulty ? command : std::optional<Command>());
}

bool StandInServer::SendEndless(CSocketBase& socket, bool trickle)
{
    // Not a list: whatever part of it a client takes for a reply fails. A
    // flood starts with more than a reply may hold, so that the client has
    // that much waiting whatever the timing.
    const std::string chunk(trickle ? 1 : MaxReplyBytes + 1024, 'x');
    while (!FStopping && !StopRequested()) {
        if (socket.Select(SelectWrite, 0, PollMicroseconds) < 0)
            return false;
        if (!socket.IsWritable())
            continue;
        if (socket.Send(chunk.data(), static_cast<int>(chunk.size())) <= 0)
            return false;
        if (trickle) {
            // Busy-waited: a sleep may oversleep past the 1 ms quiet period.
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
    }
    return false;
}

bool StandInServer::SendReply(CSocketBase& socket, const std::string& reply, std::optional<Command> faulty)
{
    const int length = static_cast<int>(reply.size());
    const bool split = faulty && FOptions.splitGapMs >= 0 && ReplyKindOf(*faulty) != ReplyKind::Status &&
                       (FOptions.splitOn.empty() || FOptions.splitOn.count(*faulty));
    if (split && length >= 2) {
        const int first = length / 2;
        if (socket.Send(reply.data(), first) != first)
            return false;
        if (!Pause(FOptions.splitGapMs))
            return false;
        if (socket.Send(reply.data() + first, length - first) != length - first)
            return false;
        // Tests wait for this rather than for the gap to pass.
        FLog.Write("#rest");
        return true;
    }
    return socket.Send(reply.data(), length) == length;
}
