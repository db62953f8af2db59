#include "support/free_port.h"

#include "net/socket.h"

std::uint16_t FreePort()
{
    const socket_t s = CreateListenSocket(0, 1);
    const std::uint16_t port = LocalPort(s);
    CloseSocket(s);
    return port;
}
