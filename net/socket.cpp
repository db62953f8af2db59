#include "net/socket.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "net/event.h"
#include "net/socket_platform.h"

namespace {

std::unique_ptr<event_object> g_hostent;

socket_t HandleOf(const CWakeUp* wake)
{
    return wake ? wake->Handle() : InvalidSocket;
}

} // namespace

CWakeUp::CWakeUp()
{
    if (!socket_platform::CreateWakeUp(FReadEnd, FWriteEnd))
        FReadEnd = FWriteEnd = InvalidSocket;
}

CWakeUp::~CWakeUp()
{
    if (FReadEnd != InvalidSocket)
        socket_platform::CloseWakeUp(FReadEnd, FWriteEnd);
}

void CWakeUp::Signal()
{
    std::lock_guard<std::mutex> guard(FMutex);
    if (FSignalled.exchange(true) || FWriteEnd == InvalidSocket)
        return;
    socket_platform::SignalWakeUp(FWriteEnd);
}

void CWakeUp::Reset()
{
    std::lock_guard<std::mutex> guard(FMutex);
    if (!FSignalled.exchange(false) || FReadEnd == InvalidSocket)
        return;
    socket_platform::DrainWakeUp(FReadEnd);
}

bool CWakeUp::WaitFor(int ms) const
{
    if (FSignalled)
        return true;
    if (FReadEnd == InvalidSocket) {
        // No handle to wait on: look at the flag in short steps.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!FSignalled && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return FSignalled;
    }
    int ready = 0;
    socket_platform::Wait(FReadEnd, SelectRead, ms / 1000, (ms % 1000) * 1000L, ready, InvalidSocket);
    return FSignalled;
}

void SocketStartup()
{
    socket_platform::Startup();
    g_hostent = std::make_unique<event_object>("hostent", true);
}

void SocketCleanup()
{
    g_hostent.reset();
    socket_platform::Cleanup();
}

namespace {

// Per thread, like the platform's own last error, so that a failure is told
// by the thread that met it.
thread_local std::string t_lastFailure;

socket_t Failed(std::string reason)
{
    t_lastFailure = std::move(reason);
    return InvalidSocket;
}

} // namespace

std::string LastSocketFailureText()
{
    return t_lastFailure;
}

socket_t ConnectSocket(const std::string& host, std::uint16_t port, const CWakeUp* wake, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    std::unique_ptr<auto_lock_object> lock;
    if (g_hostent) {
        lock = std::make_unique<auto_lock_object>(*g_hostent, static_cast<std::uint32_t>(timeoutMs > 0 ? timeoutMs : 0),
                                                  [wake] { return wake && wake->Signalled(); });
        if (!lock->Held())
            return Failed("another connection attempt did not end in time");
    }

    std::string failure;
    const auto addresses = socket_platform::ResolveIPv4(host, &failure);
    if (!addresses || addresses->empty())
        return Failed(failure.empty() ? "no IPv4 address" : failure);
    // A fresh socket per address: after a failed connect the state of a socket
    // is unspecified, so it is not tried again.
    for (const std::uint32_t address : *addresses) {
        const socket_t s = socket_platform::CreateStreamSocket();
        if (s == InvalidSocket)
            return Failed(socket_platform::LastErrorText());
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left > 0 && socket_platform::Connect(s, address, port, static_cast<int>(left), HandleOf(wake)) == 0) {
            t_lastFailure.clear();
            return s;
        }
        failure = socket_platform::LastErrorText();
        socket_platform::Close(s);
        if (wake && wake->Signalled())
            break;
    }
    return Failed(failure);
}

socket_t CreateListenSocket(std::uint16_t port, int backlog)
{
    const socket_t s = socket_platform::CreateStreamSocket();
    if (s == InvalidSocket)
        return Failed(socket_platform::LastErrorText());
    if (socket_platform::BindAndListen(s, port, backlog) != 0) {
        std::string failure = socket_platform::LastErrorText();
        socket_platform::Close(s);
        return Failed(std::move(failure));
    }
    t_lastFailure.clear();
    return s;
}

socket_t AcceptSocket(socket_t listener, std::uint32_t* peerAddress)
{
    std::uint32_t peer = 0;
    const socket_t s = socket_platform::Accept(listener, peer);
    if (s != InvalidSocket)
        socket_platform::SetKeepAlive(s, KeepAliveIdleSeconds, KeepAliveIntervalSeconds, KeepAliveProbes);
    if (peerAddress)
        *peerAddress = peer;
    return s;
}

void ShutdownSocket(socket_t s)
{
    if (s != InvalidSocket)
        socket_platform::Shutdown(s);
}

std::string IPv4Text(std::uint32_t address)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

void CloseSocket(socket_t s)
{
    if (s != InvalidSocket)
        socket_platform::Close(s);
}

std::uint16_t LocalPort(socket_t s)
{
    return socket_platform::LocalPort(s);
}

CSocketBase::CSocketBase(socket_t socket, bool owning)
    : FSocket(socket), FClosed(!owning)
{
}

int CSocketBase::GetAvailable()
{
    return socket_platform::Available(FSocket);
}

CSocketBase::~CSocketBase()
{
    if (!FClosed && FSocket != InvalidSocket)
        socket_platform::Close(FSocket);
    FClosed = true;
}

int CSocketBase::Recv(char* buffer, int length)
{
    const int n = socket_platform::Recv(FSocket, buffer, length);
    if (n == 0)
        FPeerClosed = true;
    return n;
}

int CSocketBase::Send(const char* buffer, int length)
{
    return socket_platform::Send(FSocket, buffer, length);
}

int CSocketBase::Select(int mask, long seconds, long microseconds)
{
    int ready = 0;
    const int result = socket_platform::Wait(FSocket, mask, seconds, microseconds, ready, HandleOf(FWakeUp));
    FReadable = result > 0 && (ready & SelectRead);
    FWritable = result > 0 && (ready & SelectWrite);
    FException = result > 0 && (ready & SelectException);
    FWoken = result >= 0 && (ready & socket_platform::ReadyWoken);
    return result;
}

int CSocketBase::SendWithin(const char* buffer, int length, int timeoutMs, const CWakeUp* wake)
{
    return socket_platform::SendWithin(FSocket, buffer, length, timeoutMs, HandleOf(wake));
}
