#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// A socket handle as the platform gives it; -1 is "no socket" everywhere.
using socket_t = std::intptr_t;
inline constexpr socket_t InvalidSocket = -1;

// Bits of the Select mask.
enum : int {
    SelectRead = 1,
    SelectWrite = 2,
    SelectException = 4,
};

// The longest a connect may take. A blocking connect holds the "hostent"
// lock and so delays every other connection attempt of every thread; an
// address that neither accepts nor refuses must not hold them all for the
// system's minutes-long TCP time-out. (The reply bound of an exchange with
// EpgDataCap_Bon, ReplyTimeoutMs, is the client's; see remocon/protocol.h.)
inline constexpr int ConnectTimeoutMs = 10000;

// Ends waits early. Once signalled, every Select, connect and bounded send
// given it returns at once, until Reset. A stop request signals one, so that
// no wait of the patch server outlasts the stop.
class CWakeUp {
public:
    CWakeUp();
    ~CWakeUp();
    CWakeUp(const CWakeUp&) = delete;
    CWakeUp& operator=(const CWakeUp&) = delete;

    void Signal();
    void Reset();
    bool Signalled() const { return FSignalled; }
    // Waits at most ms for a signal; true when signalled.
    bool WaitFor(int ms) const;
    // What the platform's waits watch (readable once signalled); InvalidSocket
    // when none could be made, and the waits then run to their time-outs.
    socket_t Handle() const { return FReadEnd; }

private:
    socket_t FReadEnd;
    socket_t FWriteEnd;
    std::atomic<bool> FSignalled{false};
    std::mutex FMutex;
};

// Start and stop the socket library for the whole process. SocketStartup also
// creates the "hostent" lock that serialises every outgoing connection attempt.
void SocketStartup();
void SocketCleanup();

// A connected stream socket to host:port (IPv4, addresses tried in the order
// the lookup gives them), or InvalidSocket. Holds the "hostent" lock from the
// lookup to the end of the connect attempts; the wait for that lock and the
// attempts together are bounded by timeoutMs and ended early by wake. An
// empty host is this machine.
socket_t ConnectSocket(const std::string& host, std::uint16_t port, const CWakeUp* wake = nullptr,
                       int timeoutMs = ConnectTimeoutMs);

// A stream socket listening on all local addresses, or InvalidSocket.
socket_t CreateListenSocket(std::uint16_t port, int backlog);

// Why the last ConnectSocket or CreateListenSocket of the calling thread
// failed, as the operating system says it (for example "Connection
// refused"), in UTF-8; empty after one that succeeded.
std::string LastSocketFailureText();

// How soon TCP keepalive looks at a silent viewer connection, and then how
// often and how many times, so that a peer that vanished (a PC gone to sleep,
// a cable pulled) frees its place within a few minutes.
inline constexpr int KeepAliveIdleSeconds = 60;
inline constexpr int KeepAliveIntervalSeconds = 10;
inline constexpr int KeepAliveProbes = 6;

// accept() on a listening socket, with TCP keepalive on for the new
// connection. peerAddress, when given, receives the peer's IPv4 address in
// network byte order (0 when it is not an IPv4 peer).
socket_t AcceptSocket(socket_t listener, std::uint32_t* peerAddress = nullptr);

// Ends both directions of a connection that another thread may be waiting
// on, without closing it: that thread's wait returns and its next receive
// reads the end.
void ShutdownSocket(socket_t s);

// "a.b.c.d" of an IPv4 address in network byte order.
std::string IPv4Text(std::uint32_t address);

// Closes a socket that no CSocketBase owns.
void CloseSocket(socket_t s);

// The local port a socket is bound to (0 when unknown); lets tests listen on
// port 0 and learn the port the system chose.
std::uint16_t LocalPort(socket_t s);

// Owns one connected or listening socket (when constructed as owning) and
// closes it exactly once, in its destructor. One Send is one send call and one
// Recv one receive call: the framing belongs to the protocol above.
class CSocketBase {
public:
    CSocketBase(socket_t socket, bool owning);
    CSocketBase(const CSocketBase&) = delete;
    CSocketBase& operator=(const CSocketBase&) = delete;

    // Bytes readable without blocking, -1 when unknown.
    virtual int GetAvailable();
    virtual ~CSocketBase();
    virtual int Recv(char* buffer, int length);
    virtual int Send(const char* buffer, int length);

    // Waits until the socket is ready for what mask asks (SelectRead,
    // SelectWrite, SelectException), the time-out runs out or the wake-up is
    // signalled. Returns the number of ready conditions, 0 on time-out or
    // wake-up alone, -1 on error; the Is* queries then tell which condition
    // was met.
    int Select(int mask, long seconds, long microseconds);
    bool IsReadable() const { return FReadable; }
    bool IsWritable() const { return FWritable; }
    bool IsException() const { return FException; }
    bool IsWoken() const { return FWoken; }

    // The wake-up that ends this socket's Selects early (none by default).
    void SetWakeUp(const CWakeUp* wake) { FWakeUp = wake; }
    const CWakeUp* WakeUp() const { return FWakeUp; }

    // Sends all of buffer, waiting at most timeoutMs for a peer that does not
    // read, and not at all once wake is signalled. length, or -1 when the
    // time ran out, the wake-up came or the send failed (part may have gone).
    int SendWithin(const char* buffer, int length, int timeoutMs, const CWakeUp* wake);

    // Set once a receive returned 0 (orderly close by the peer); never cleared.
    bool PeerClosed() const { return FPeerClosed; }
    socket_t Socket() const { return FSocket; }

private:
    socket_t FSocket;
    bool FClosed;
    bool FPeerClosed = false;
    bool FReadable = false;
    bool FWritable = false;
    bool FException = false;
    bool FWoken = false;
    const CWakeUp* FWakeUp = nullptr;
};
