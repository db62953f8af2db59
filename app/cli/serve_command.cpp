#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "app/cli/command_files.h"
#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/integer_text.h"
#include "common/settings.h"
#include "common/thread_base.h"
#include "server/patch_server.h"

namespace {

const char* EventText(ServerEvent event)
{
    switch (event) {
    case ServerEvent::Listening: return "listening on port";
    case ServerEvent::ViewerConnected: return "viewer connected, viewers now";
    case ServerEvent::ViewerRefused: return "viewer refused:";
    case ServerEvent::ViewerOverLimit: return "viewer refused: MaxViewers reached, viewers now";
    case ServerEvent::ViewerNotAllowed: return "viewer refused: not in AllowedViewers, address";
    case ServerEvent::ViewerReplaced: return "silent viewer closed for a newcomer, silent for seconds";
    case ServerEvent::AcceptFailed: return "cannot accept connections (out of descriptors?), times";
    case ServerEvent::SessionNotStarted: return "viewer refused: no thread for its session";
    case ServerEvent::ViewerDisconnected: return "viewer disconnected, viewers now";
    case ServerEvent::UpstreamConnected: return "connected to EpgDataCap_Bon, which is on the list's channel";
    case ServerEvent::UpstreamReconnected: return "reconnected to EpgDataCap_Bon, which is on the list's channel";
    case ServerEvent::UpstreamLost: return "connection to EpgDataCap_Bon lost";
    case ServerEvent::UpstreamDropped: return "last viewer gone, connection to EpgDataCap_Bon closed";
    case ServerEvent::EpgDataCapBonLaunched: return "EpgDataCap_Bon launched";
    case ServerEvent::EpgDataCapBonEnded: return "EpgDataCap_Bon ended";
    case ServerEvent::EpgDataCapBonLetGo: return "EpgDataCap_Bon left running";
    case ServerEvent::ChannelSelected: return "EpgDataCap_Bon now on the list's channel";
    }
    return "";
}

} // namespace

int ServeCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--ini", "--channels", "--reply-timeout", "--idle-limit", "--port-file"}, {"--verbose"});
    if (!options.Parse() || !options.Positional().empty()) {
        PrintError(options.Error().empty() ? "serve takes no file arguments" : options.Error());
        return 2;
    }
    // Every value is checked before anything starts: a bad one is the
    // caller's mistake, told with its option's name, and nothing runs.
    std::optional<std::int32_t> replyTimeout, idleLimit;
    for (const auto& [name, value] : {std::pair{"--reply-timeout", &replyTimeout}, {"--idle-limit", &idleLimit}}) {
        if (const auto text = options.Value(name)) {
            *value = ReadIntegerText(*text);
            if (!*value || **value <= 0) {
                PrintError(std::string(name) + " takes a positive number of milliseconds");
                return 2;
            }
        }
    }
    const std::optional<Settings> loaded = LoadSettingsOption(options);
    if (!loaded)
        return 2;
    const Settings& settings = *loaded;
    const std::string dir = ChannelDirOption(options);
    std::string badEntry;
    if (!CAllowedViewers::FromSetting(settings.AllowedViewers, badEntry)) {
        PrintError("AllowedViewers: \"" + badEntry +
                   "\" is not an IPv4 address, a range such as 192.168.0.0/16, or *");
        return 2;
    }
    const bool verbose = options.Flag("--verbose");
    const std::string portFile = options.Value("--port-file").value_or("");
    auto printMutex = std::make_shared<std::mutex>();
    ServerObserver observer = [printMutex, verbose, portFile, remoconAddr = settings.RemoconAddr,
                               remoconPort = RemoconPortNumber(settings)](ServerEvent event, const std::string& detail) {
        // Scripts and tests that let the server pick its port learn it here.
        if (event == ServerEvent::Listening && !portFile.empty() && !ReplaceFileAtomically(portFile, detail + "\n"))
            PrintError("cannot write " + console::PathForDisplay(portFile));
        if (!verbose)
            return;
        std::lock_guard<std::mutex> guard(*printMutex);
        // Told on the thread whose connection failed, as the scan tells it.
        const std::string shown =
            event == ServerEvent::ViewerRefused ? RemoconFailureText(remoconAddr, remoconPort) : detail;
        std::printf("%s%s%s\n", EventText(event), shown.empty() ? "" : " ", shown.c_str());
        std::fflush(stdout);
    };
    ServerTuning tuning;
    tuning.replyTimeoutMs = replyTimeout;
    if (idleLimit)
        tuning.idleLimitMs = static_cast<std::uint32_t>(*idleLimit);

    console::InstallStopHandler();
    MainThreadCalls::BecomeMainThread();
    bool finished = false;
    std::unique_ptr<TPatchedRemoconMasterThread> server;
    try {
        server = StartPatchServer(settings, dir, std::move(observer), [&finished] { finished = true; }, tuning);
    } catch (const FileError& error) {
        PrintError(FileErrorText(error));
        return 1;
    }

    bool stopSent = false;
    while (!finished) {
        // Woken by the server's calls and by a stop request; the time-out is
        // only a safety net.
        MainThreadCalls::RunPending(10000);
        if (!stopSent && console::StopRequested()) {
            server->Terminate();
            stopSent = true;
        }
    }
    server->WaitFor();
    const bool succeeded = server->FSucceeded;
    const std::string message = server->FErrorMessage;
    server.reset();
    console::AcknowledgeStopped();
    if (!succeeded) {
        PrintError(message);
        return 1;
    }
    return 0;
}
