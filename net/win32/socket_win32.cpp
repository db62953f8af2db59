#include <winsock2.h>
#include <mstcpip.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <string>

#include "net/socket_platform.h"

namespace socket_platform {

namespace {

// socket_t is signed and SOCKET unsigned; -1 and INVALID_SOCKET are the same
// bits, but the conversion is spelled out so that neither side is misread.
SOCKET ToSocket(socket_t s)
{
    return s == InvalidSocket ? INVALID_SOCKET : static_cast<SOCKET>(s);
}

socket_t FromSocket(SOCKET s)
{
    return s == INVALID_SOCKET ? InvalidSocket : static_cast<socket_t>(s);
}

// EpgDataCap_Bon, started by us, must not inherit viewer connections and keep
// them open after we have closed them.
void MakeNotInheritable(SOCKET s)
{
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

bool SetBlocking(SOCKET s, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// The wake-up is the read end of a loopback connection; it joins a wait as
// one more socket of the read set. An fd_set here is a list of handles, not
// a bit map, so a few sockets always fit.
struct WaitSets {
    fd_set read, write, except;
    bool useRead = false, useWrite = false, useExcept = false;

    WaitSets()
    {
        FD_ZERO(&read);
        FD_ZERO(&write);
        FD_ZERO(&except);
    }
    void Add(fd_set& set, bool& used, SOCKET s)
    {
        FD_SET(s, &set);
        used = true;
    }
    void AddWakeUp(socket_t wake)
    {
        if (wake != InvalidSocket)
            Add(read, useRead, ToSocket(wake));
    }
    bool Woken(socket_t wake) { return wake != InvalidSocket && FD_ISSET(ToSocket(wake), &read); }
    // select() with a time-out in microseconds (negative counts as 0).
    int Select(long long timeoutUs)
    {
        if (timeoutUs < 0)
            timeoutUs = 0;
        timeval tv;
        tv.tv_sec = static_cast<long>(timeoutUs / 1000000);
        tv.tv_usec = static_cast<long>(timeoutUs % 1000000);
        // The first argument is ignored by Winsock.
        return ::select(0, useRead ? &read : nullptr, useWrite ? &write : nullptr, useExcept ? &except : nullptr, &tv);
    }
};

long long MicrosecondsLeft(DWORD start, int timeoutMs)
{
    const DWORD elapsed = ::GetTickCount() - start;
    return (static_cast<long long>(timeoutMs) - static_cast<long long>(elapsed)) * 1000;
}

} // namespace

void Startup()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 0), &data);
}

void Cleanup()
{
    ::WSACleanup();
}

std::optional<std::vector<std::uint32_t>> ResolveIPv4(const std::string& host, std::string* failure)
{
    // Winsock keeps the result per thread, and the caller holds the "hostent"
    // lock besides. An empty name is this machine.
    const hostent* he = ::gethostbyname(host.c_str());
    if (!he) {
        if (failure)
            *failure = LastErrorText();
        return std::nullopt;
    }
    if (he->h_addrtype != AF_INET || he->h_length != 4 || !he->h_addr_list)
        return std::nullopt;
    std::vector<std::uint32_t> addresses;
    for (char** entry = he->h_addr_list; *entry; ++entry) {
        std::uint32_t a;
        std::memcpy(&a, *entry, sizeof a);
        addresses.push_back(a);
    }
    return addresses;
}

std::string LastErrorText()
{
    const int code = ::WSAGetLastError();
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text),
                                          0, nullptr);
    std::wstring wide = length ? std::wstring(text, length) : std::wstring();
    if (text)
        ::LocalFree(text);
    // The system's texts end with a line break (and often a full stop).
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' || wide.back() == L'.'))
        wide.pop_back();
    if (wide.empty())
        return "error " + std::to_string(code);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

socket_t CreateStreamSocket()
{
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    MakeNotInheritable(s);
    return FromSocket(s);
}

int Connect(socket_t s, std::uint32_t address, std::uint16_t port, int timeoutMs, socket_t wake)
{
    const SOCKET sock = ToSocket(s);
    if (!SetBlocking(sock, false))
        return -1;
    const sockaddr_in sa = MakeAddress(address, port);
    int result = ::connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    int error = result == 0 ? 0 : ::WSAGetLastError();
    if (result != 0 && error == WSAEWOULDBLOCK) {
        // Writable means connected, exception means refused or failed; either
        // way SO_ERROR has the last word.
        WaitSets sets;
        sets.Add(sets.write, sets.useWrite, sock);
        sets.Add(sets.except, sets.useExcept, sock);
        sets.AddWakeUp(wake);
        const int r = sets.Select(static_cast<long long>(timeoutMs) * 1000);
        int len = sizeof error;
        if (r < 0)
            error = ::WSAGetLastError();
        else if (!FD_ISSET(sock, &sets.write) && !FD_ISSET(sock, &sets.except))
            error = sets.Woken(wake) ? WSAECANCELLED : WSAETIMEDOUT;
        else if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
            error = ::WSAGetLastError();
        else if (error == 0 && !FD_ISSET(sock, &sets.write))
            error = WSAECONNREFUSED;
        result = error == 0 ? 0 : -1;
    } else if (result != 0) {
        result = -1;
    }
    if (!SetBlocking(sock, true))
        return -1;
    // Kept for LastErrorText: the caller's close must not be what it reads.
    ::WSASetLastError(error);
    return result;
}

int BindAndListen(socket_t s, std::uint16_t port, int backlog)
{
    const SOCKET sock = ToSocket(s);
    // SO_REUSEADDR here would let this socket bind a port that another
    // program is already listening on, hiding "port taken" and splitting the
    // viewers' connections between the two. SO_EXCLUSIVEADDRUSE instead keeps
    // the port ours alone.
    int on = 1;
    if (::setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) != 0)
        return -1;
    const sockaddr_in sa = MakeAddress(htonl(INADDR_ANY), port);
    if (::bind(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return -1;
    return ::listen(sock, backlog) == 0 ? 0 : -1;
}

socket_t Accept(socket_t listener, std::uint32_t& peer)
{
    peer = 0;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    const SOCKET s = ::accept(ToSocket(listener), reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET)
        return InvalidSocket;
    MakeNotInheritable(s);
    if (sa.sin_family == AF_INET && len >= static_cast<int>(sizeof sa))
        peer = sa.sin_addr.s_addr;
    return FromSocket(s);
}

void SetKeepAlive(socket_t s, int idleSeconds, int intervalSeconds, int /*probes: fixed at 10 by Windows*/)
{
    tcp_keepalive values;
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(idleSeconds) * 1000;
    values.keepaliveinterval = static_cast<ULONG>(intervalSeconds) * 1000;
    DWORD returned = 0;
    ::WSAIoctl(ToSocket(s), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

void Shutdown(socket_t s)
{
    ::shutdown(ToSocket(s), SD_BOTH);
}

void Close(socket_t s)
{
    ::closesocket(ToSocket(s));
}

int Recv(socket_t s, char* buffer, int length)
{
    // SOCKET_ERROR is -1 already.
    return ::recv(ToSocket(s), buffer, length, 0);
}

int Send(socket_t s, const char* buffer, int length)
{
    return ::send(ToSocket(s), buffer, length, 0);
}

int Available(socket_t s)
{
    // Left at ULONG_MAX, the count reads as -1 (unknown) when it is not filled.
    u_long n = ULONG_MAX;
    if (::ioctlsocket(ToSocket(s), FIONREAD, &n) != 0 || n == ULONG_MAX)
        return -1;
    return n > static_cast<u_long>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

std::uint16_t LocalPort(socket_t s)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    if (::getsockname(ToSocket(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return ntohs(sa.sin_port);
}

int Wait(socket_t s, int mask, long seconds, long microseconds, int& ready, socket_t wake)
{
    ready = 0;
    if (s == InvalidSocket || seconds < 0 || microseconds < 0)
        return -1;
    const SOCKET sock = ToSocket(s);
    WaitSets sets;
    if (mask & SelectRead)
        sets.Add(sets.read, sets.useRead, sock);
    if (mask & SelectWrite)
        sets.Add(sets.write, sets.useWrite, sock);
    if (mask & SelectException)
        sets.Add(sets.except, sets.useExcept, sock);
    sets.AddWakeUp(wake);
    const int r = sets.Select(static_cast<long long>(seconds) * 1000000 + microseconds);
    if (r == SOCKET_ERROR)
        return -1;
    if (sets.Woken(wake))
        ready |= ReadyWoken;
    int count = 0;
    if ((mask & SelectRead) && FD_ISSET(sock, &sets.read)) {
        ready |= SelectRead;
        ++count;
    }
    if ((mask & SelectWrite) && FD_ISSET(sock, &sets.write)) {
        ready |= SelectWrite;
        ++count;
    }
    if ((mask & SelectException) && FD_ISSET(sock, &sets.except)) {
        ready |= SelectException;
        ++count;
    }
    return count;
}

int SendWithin(socket_t s, const char* buffer, int length, int timeoutMs, socket_t wake)
{
    const SOCKET sock = ToSocket(s);
    // Non-blocking for this send only: a peer that stops reading is waited
    // for below, where the time-out and the wake-up can end the wait.
    if (!SetBlocking(sock, false))
        return -1;
    const DWORD start = ::GetTickCount();
    int sent = 0;
    while (sent < length) {
        const int n = ::send(sock, buffer + sent, length - sent, 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK)
            break;
        WaitSets sets;
        sets.Add(sets.write, sets.useWrite, sock);
        sets.AddWakeUp(wake);
        const int r = sets.Select(MicrosecondsLeft(start, timeoutMs));
        if (r <= 0 || sets.Woken(wake) || !FD_ISSET(sock, &sets.write))
            break;
    }
    SetBlocking(sock, true);
    return sent == length ? length : -1;
}

bool CreateWakeUp(socket_t& readEnd, socket_t& writeEnd)
{
    // A loopback connection: select() waits on sockets only. The listener
    // lives for the connect alone, and the accepted peer must be the socket
    // just connected, not another program that got in first.
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET)
        return false;
    sockaddr_in sa = MakeAddress(htonl(INADDR_LOOPBACK), 0);
    int len = sizeof sa;
    SOCKET writer = INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) == 0 && ::listen(listener, 1) == 0) {
        writer = ::socket(AF_INET, SOCK_STREAM, 0);
        if (writer != INVALID_SOCKET && ::connect(writer, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
            sockaddr_in mine{}, peer{};
            int mineLen = sizeof mine, peerLen = sizeof peer;
            reader = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLen);
            if (reader != INVALID_SOCKET &&
                (::getsockname(writer, reinterpret_cast<sockaddr*>(&mine), &mineLen) != 0 ||
                 mine.sin_port != peer.sin_port || mine.sin_addr.s_addr != peer.sin_addr.s_addr)) {
                ::closesocket(reader);
                reader = INVALID_SOCKET;
            }
        }
    }
    ::closesocket(listener);
    if (reader == INVALID_SOCKET) {
        if (writer != INVALID_SOCKET)
            ::closesocket(writer);
        return false;
    }
    MakeNotInheritable(reader);
    MakeNotInheritable(writer);
    u_long nonBlocking = 1;
    ::ioctlsocket(reader, FIONBIO, &nonBlocking);
    readEnd = FromSocket(reader);
    writeEnd = FromSocket(writer);
    return true;
}

void SignalWakeUp(socket_t writeEnd)
{
    const char byte = 1;
    ::send(ToSocket(writeEnd), &byte, 1, 0);
}

void DrainWakeUp(socket_t readEnd)
{
    char buffer[64];
    while (::recv(ToSocket(readEnd), buffer, sizeof buffer, 0) > 0) {
    }
}

void CloseWakeUp(socket_t readEnd, socket_t writeEnd)
{
    ::closesocket(ToSocket(readEnd));
    ::closesocket(ToSocket(writeEnd));
}

} // namespace socket_platform
