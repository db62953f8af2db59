#pragma once
// The platform half of the socket layer: each backend (posix/, win32/)
// implements exactly these, and socket.cpp builds the shared behaviour on them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/socket.h"

namespace socket_platform {

void Startup();
void Cleanup();

// IPv4 addresses of host in network byte order, in the resolver's order;
// nothing when the lookup fails, with the resolver's reason in *failure. An
// empty host is this machine. Called only under the "hostent" lock.
std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host, std::string* failure = nullptr);

// The reason the last failed call of this thread gave (CreateStreamSocket,
// Connect, BindAndListen), as a person reads it (UTF-8).
std::string LastErrorText();

// A new blocking IPv4 stream socket, or InvalidSocket.
socket_t CreateStreamSocket();

// Connects s to address:port (address in network order). 0 on success, -1
// when refused, failed, not done within timeoutMs, or woken first (wake is a
// wake-up handle or InvalidSocket); LastErrorText then says which.
int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs, socket_t wake);

// Binds s to all local addresses at port, refusing a port that another socket
// is already listening on, then listens. 0 or -1.
int BindAndListen(socket_t s, std::uint16_t port, int backlog);

// peer receives the peer's IPv4 address (network order), 0 when unknown.
socket_t Accept(socket_t listener, std::uint32_t& peer);
// TCP keepalive on, first probe after idleSeconds of silence, then every
// intervalSeconds, the connection failing after probes unanswered ones
// (where the platform lets the count be set).
void SetKeepAlive(socket_t s, int idleSeconds, int intervalSeconds, int probes);
// shutdown() both ways.
void Shutdown(socket_t s);
void Close(socket_t s);
int Recv(socket_t s, char* buffer, int length);
int Send(socket_t s, const char* buffer, int length);
int Available(socket_t s);
std::uint16_t LocalPort(socket_t s);

// Set in Wait's ready when the wake-up ended the wait.
inline constexpr int ReadyWoken = 8;

// Waits for the conditions in mask (SelectRead, SelectWrite, SelectException)
// on one socket, or for the wake-up handle wake (InvalidSocket: none) to
// become readable. Returns the count of ready socket conditions (the wake-up
// not counted), 0 on time-out or wake-up alone, -1 on error; ready receives
// the mask bits that are ready, and ReadyWoken.
int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready, socket_t wake);

// Sends all of buffer within timeoutMs unless woken; length or -1.
int SendWithin(socket_t s, const char* buffer, int length, int timeoutMs, socket_t wake);

// A wake-up: a pair of handles where a byte written to writeEnd makes
// readEnd readable. False when none can be made.
bool CreateWakeUp(socket_t& readEnd, socket_t& writeEnd);
void SignalWakeUp(socket_t writeEnd);
// Reads everything that is waiting on readEnd.
void DrainWakeUp(socket_t readEnd);
void CloseWakeUp(socket_t readEnd, socket_t writeEnd);

} // namespace socket_platform
