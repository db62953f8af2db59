// vernwick-viewer: talks to a remote-control port the way the TVTest viewer
// does (each command as bare text in one send, then its reply) and prints
// what came back, readably or, with --raw, as escaped bytes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/integer_text.h"
#include "net/socket.h"
#include "tools/viewer/console.h"
#include "tools/viewer/readable_reply.h"
#include "tools/viewer/visible_text.h"

namespace {

const char HelpText[] =
    "usage: vernwick-viewer [--host HOST] [--port PORT] [--timeout MS] [--pause MS] [--raw] COMMAND...\n"
    "\n"
    "Connects to HOST:PORT (default 127.0.0.1:51334, the patch server), sends each\n"
    "COMMAND as one request, e.g. GetBonList, GetChList, SetCh:3, GetNowPgInfo,\n"
    "and prints each exchange:  > request  then  < reply\n"
    "A reply ends when the connection has been quiet for 1 ms after its first\n"
    "piece. Replies are shown readably: names (code page 932) as UTF-8, lists as\n"
    "columns of number and name with the current entry marked *, statuses with\n"
    "their meaning (0 success, 2 refused, -1 failed).\n"
    "  --raw         print each reply on one line exactly as its bytes came, with\n"
    "                \\t \\r \\n \\\\ and \\xNN for control bytes and bytes of 0x80 up\n"
    "  --timeout MS  wait at most MS for the first piece of a reply (default 20000)\n"
    "  --pause MS    wait MS between commands (default 0)\n"
    "A request may use the escapes \\r, \\n, \\t, \\\\ and \\xNN to send such bytes.\n"
    "Prints \"< (closed)\" when the peer closes instead of answering and\n"
    "\"< (no reply)\" after the time-out; exits 1 then, 0 when every command got a reply.\n";

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[++i];
        if (e == 'r') {
            out += '\r';
        } else if (e == 'n') {
            out += '\n';
        } else if (e == 't') {
            out += '\t';
        } else if (e == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += e;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    std::string host = "127.0.0.1";
    int port = 51334;
    int timeoutMs = 20000;
    int pauseMs = 0;
    bool raw = false;
    std::vector<std::string> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](int& target) {
            if (i + 1 >= argc || !ReadIntegerText(argv[i + 1])) {
                std::fprintf(stderr, "%s needs a number\n", arg.c_str());
                std::exit(2);
            }
            target = *ReadIntegerText(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        } else if (arg == "--host" && i + 1 < argc) {
            host = argv[++i];
        } else if (arg == "--port") {
            value(port);
        } else if (arg == "--timeout") {
            value(timeoutMs);
        } else if (arg == "--pause") {
            value(pauseMs);
        } else if (arg == "--raw") {
            raw = true;
        } else {
            commands.push_back(Unescape(arg));
        }
    }
    if (commands.empty() || port <= 0 || port > 65535) {
        std::fputs(HelpText, stderr);
        return 2;
    }

    UseUtf8Console();
    SocketStartup();
    const socket_t s = ConnectSocket(host, static_cast<std::uint16_t>(port));
    if (s == InvalidSocket) {
        std::fprintf(stderr, "cannot connect to %s:%d\n", host.c_str(), port);
        SocketCleanup();
        return 1;
    }
    int status = 0;
    {
        CSocketBase connection(s, true);
        for (std::size_t n = 0; n < commands.size(); ++n) {
            const std::string& command = commands[n];
            if (n > 0 && pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            std::printf("> %s\n", VisibleText(command).c_str());
            if (connection.Send(command.data(), static_cast<int>(command.size())) != static_cast<int>(command.size())) {
                std::printf("< (send failed)\n");
                status = 1;
                break;
            }
            std::string reply;
            bool closed = false;
            if (connection.Select(SelectRead | SelectException, timeoutMs / 1000, (timeoutMs % 1000) * 1000L) > 0) {
                for (;;) {
                    char buffer[4096];
                    const int got = connection.Recv(buffer, sizeof buffer);
                    if (got <= 0) {
                        closed = true;
                        break;
                    }
                    reply.append(buffer, static_cast<std::size_t>(got));
                    if (connection.Select(SelectRead | SelectException, 0, 1000) <= 0 || !connection.IsReadable())
                        break;
                }
            }
            if (!reply.empty())
                std::printf("< %s\n", (raw ? VisibleText(reply) : ReadableReply(command, reply)).c_str());
            if (reply.empty() || closed) {
                std::printf("< %s\n", closed ? "(closed)" : "(no reply)");
                status = 1;
                if (closed)
                    break;
            }
            std::fflush(stdout);
        }
    }
    std::fflush(stdout);
    SocketCleanup();
    return status;
}
