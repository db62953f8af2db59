#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstring>

#include "tools/standin/platform.h"

namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI OnConsoleControl(DWORD)
{
    // Every console event (Ctrl+C, Ctrl+Break, close, log-off, shut-down)
    // asks for the same orderly stop; the main loop notices within 100 ms.
    g_stop = true;
    return TRUE;
}

} // namespace

void InstallStopHandlers()
{
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

bool StopRequested()
{
    return g_stop;
}

int BindAndListenAt(socket_t s, std::uint32_t address, std::uint16_t port, int backlog)
{
    const SOCKET socket = static_cast<SOCKET>(s);
    // SO_REUSEADDR would let two listeners share the port on Windows; this
    // refuses one that is in use instead.
    BOOL on = TRUE;
    if (::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) != 0)
        return -1;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return -1;
    return ::listen(socket, backlog) == 0 ? 0 : -1;
}

int SendUrgentByte(socket_t s)
{
    const char byte = '!';
    return ::send(static_cast<SOCKET>(s), &byte, 1, MSG_OOB);
}

void SendWithoutDelay(socket_t s)
{
    BOOL on = TRUE;
    ::setsockopt(static_cast<SOCKET>(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}
