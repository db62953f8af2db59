#pragma once
// The stand-in's platform half: how it is asked to stop, and listening on
// one address rather than on all of them.
#include <cstdint>

#include "net/socket.h"

// Makes the polite stop requests (SIGTERM, SIGINT; Ctrl+C, Ctrl+Break,
// closing the console) set the flag that StopRequested reads.
void InstallStopHandlers();
bool StopRequested();

// Sends each piece as it is given, without waiting to gather more: the
// timing of pieces is what the fault switches are about.
void SendWithoutDelay(socket_t s);

// Sends one byte out of band (urgent data); 1 when sent.
int SendUrgentByte(socket_t s);

// Binds s to address:port (address in network order) and listens. 0 or -1.
int BindAndListenAt(socket_t s, std::uint32_t address, std::uint16_t port, int backlog);
