#pragma once
// The stand-in's platform half: how it is asked to stop, and listening on
// one address rather than on all of them.
#include <cstdint>

#include "net/socket.h"

// Makes the polite stop requests (SIGTERM, SIGINT; Ctrl+C, Ctrl+Break,
// closing the console) set the flag that StopRequested reads.
void InstallStopHandlers();
bool StopRequested();

// Binds s to address:port (address in network order) and listens. 0 or -1.
int BindAndListenAt(socket_t s, std::uint32_t address, std::uint16_t port, int backlog);
