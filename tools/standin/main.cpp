// vernwick-standin: takes EpgDataCap_Bon's place on its remote-control port
// so that the client, the patch server and the channel scan can be run
// against a known tuner tree, with faults switched on at will (--help).
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/file_io.h"
#include "net/socket.h"
#include "net/socket_platform.h"
#include "tools/standin/options.h"
#include "tools/standin/platform.h"
#include "tools/standin/server.h"
#include "tools/standin/tree.h"
#include "tools/standin/tuner.h"

namespace {

constexpr int Backlog = 10;

socket_t ListenOn(const std::string& host, std::uint16_t port)
{
    const auto addresses = socket_platform::ResolveIPv4(host);
    if (!addresses || addresses->empty())
        return InvalidSocket;
    const socket_t s = socket_platform::CreateStreamSocket();
    if (s == InvalidSocket)
        return InvalidSocket;
    if (BindAndListenAt(s, addresses->front(), port, Backlog) != 0) {
        CloseSocket(s);
        return InvalidSocket;
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    StandInOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "vernwick-standin: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(StandInHelp, stdout);
        return 0;
    }

    Tree tree = DefaultTree();
    if (!options.treeFile.empty()) {
        const auto text = ReadWholeFile(options.treeFile);
        if (!text) {
            std::fprintf(stderr, "vernwick-standin: cannot read %s\n", options.treeFile.c_str());
            return 2;
        }
        auto parsed = ParseTree(*text, error);
        if (!parsed) {
            std::fprintf(stderr, "vernwick-standin: %s: %s\n", options.treeFile.c_str(), error.c_str());
            return 2;
        }
        tree = std::move(*parsed);
    }
    Tuner tuner(std::move(tree), options.behaviour);
    if (!tuner.SelectPath(options.select)) {
        std::fprintf(stderr, "vernwick-standin: --select names an entry the tree does not have\n");
        return 2;
    }

    RequestLog log;
    if (!options.logFile.empty() && !log.Open(options.logFile)) {
        std::fprintf(stderr, "vernwick-standin: cannot write %s\n", options.logFile.c_str());
        return 2;
    }

    InstallStopHandlers();
    // A slow start: busy (not listening) for a while.
    for (int waited = 0; waited < options.listenDelayMs && !StopRequested(); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SocketStartup();
    const socket_t listener = ListenOn(options.host, static_cast<std::uint16_t>(options.port));
    if (listener == InvalidSocket) {
        std::fprintf(stderr, "vernwick-standin: cannot listen on %s:%d\n", options.host.c_str(), options.port);
        SocketCleanup();
        return 1;
    }
    const std::uint16_t port = LocalPort(listener);
    if (!options.portFile.empty() && !ReplaceFileAtomically(options.portFile, std::to_string(port) + "\n")) {
        std::fprintf(stderr, "vernwick-standin: cannot write %s\n", options.portFile.c_str());
        CloseSocket(listener);
        SocketCleanup();
        return 2;
    }
    {
        StandInServer server(options, tuner, log);
        server.Run(listener);
    }
    SocketCleanup();
    return 0;
}
