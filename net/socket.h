#pragma once
#include <cstdint>
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

// Start and stop the socket library for the whole process. SocketStartup also
// creates the "hostent" lock that serialises every outgoing connection attempt.
void SocketStartup();
void SocketCleanup();

// A connected stream socket to host:port (IPv4, addresses tried in the order
// the lookup gives them), or InvalidSocket. Holds the "hostent" lock from the
// lookup to the end of the connect attempts.
socket_t ConnectSocket(const std::string& host, std::uint16_t port);

// A stream socket listening on all local addresses, or InvalidSocket.
socket_t CreateListenSocket(std::uint16_t port, int backlog);

// accept() on a listening socket without asking for the peer's address.
socket_t AcceptSocket(socket_t listener);

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
    // SelectWrite, SelectException) or the time-out runs out. Returns the
    // number of ready conditions, 0 on time-out, -1 on error; the Is* queries
    // then tell which condition was met.
    int Select(int mask, long seconds, long microseconds);
    bool IsReadable() const { return FReadable; }
    bool IsWritable() const { return FWritable; }
    bool IsException() const { return FException; }

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
};
