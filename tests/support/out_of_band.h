#pragma once
#include "net/socket.h"

// Sends one byte out of band (urgent data); true when it went.
bool SendOutOfBand(socket_t s);
