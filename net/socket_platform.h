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
// nothing when the lookup fails. Called only under the "hostent" lock.
std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host);

// A new blocking IPv4 stream socket, or InvalidSocket.
socket_t CreateStreamSocket();

// Connects s to address:port (address in network order). 0 on success, -1
// when refused, failed, or not done within timeoutMs.
int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs);

// Binds s to all local addresses at port, refusing a port that another socket
// is already listening on, then listens. 0 or -1.
int BindAndListen(socket_t s, std::uint16_t port, int backlog);

socket_t Accept(socket_t listener);
void Close(socket_t s);
int Recv(socket_t s, char* buffer, int length);
int Send(socket_t s, const char* buffer, int length);
int Available(socket_t s);
std::uint16_t LocalPort(socket_t s);

// Waits for the conditions in mask (SelectRead, SelectWrite, SelectException)
// on one socket. Returns the count of ready conditions, 0 on time-out, -1 on
// error; ready receives the mask bits that are ready.
int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready);

} // namespace socket_platform
