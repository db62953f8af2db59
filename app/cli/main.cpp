// vernwick-cli: the patch server and the channel-file tools without a window,
// for home servers.
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/default_paths.h"
#include "net/socket.h"

namespace {

const char HelpText[] =
    "usage: vernwick-cli COMMAND [OPTIONS]\n"
    "\n"
    "Vernwick shows every TVTest viewer one virtual tuner whose channels are\n"
    "services picked from all of EpgDataCap_Bon's tuners, and drives\n"
    "EpgDataCap_Bon when a viewer selects one.\n"
    "\n"
    "commands:\n"
    "  serve          run the patch server until Ctrl+C, SIGINT or SIGTERM\n"
    "  scan           list every service EpgDataCap_Bon can tune (one line each)\n"
    "  make-channels  write the two channel files from lines in scan's form\n"
    "  check-channels scan again and say which channels no longer match the files\n"
    "\n"
    "options of serve:\n"
    "  --ini FILE          settings file (default: {ini})\n"
    "  --channels DIR      folder of the channel files (default: {channels})\n"
    "  --verbose           one line per viewer connection and disconnection, per\n"
    "                      upstream connection, reconnection and loss, and per\n"
    "                      EpgDataCap_Bon launch and end\n"
    "  --reply-timeout MS  how long to wait for EpgDataCap_Bon's answer (default 15000)\n"
    "  --idle-limit MS     disconnect a viewer silent for this long (default 86400000)\n"
    "  --port-file FILE    write the port number to FILE once listening (useful\n"
    "                      with ServerPort=0, which takes any free port)\n"
    "\n"
    "options of scan:\n"
    "  --ini FILE          settings file (address, port and MultiTuner)\n"
    "\n"
    "options of make-channels:  [--ini FILE] [--channels DIR] [FILE]\n"
    "  reads FILE, or standard input when FILE is absent or \"-\"; the settings\n"
    "  file's ChListReplyLimit says how much of the list the viewer is sent\n"
    "\n"
    "options of check-channels:\n"
    "  --ini FILE          settings file (address, port and MultiTuner)\n"
    "  --channels DIR      folder of the channel files (default: {channels})\n"
    "  --fix               point the ChAlias rows of moved services at their new\n"
    "                      numbers (order and display names stay); nothing is\n"
    "                      written when the files changed during the scan\n"
    "  Each channel is unchanged (same numbers, same service name), renamed (same\n"
    "  numbers, another service name), moved (the service at other numbers) or gone.\n"
    "  Display names TVTest cannot take as one channel are named with their line.\n"
    "  Numbers are BonDriver/space/channel/service. Exit status: 0 all unchanged,\n"
    "  1 some not, 2 EpgDataCap_Bon unreachable, a channel file unreadable, or\n"
    "  the files changed during the scan of --fix.\n"
    "  Like scan, it leaves EpgDataCap_Bon on the last service it visited.\n"
    "\n"
    "A settings file named with --ini must exist; without --ini, a missing\n"
    "{ini} means every setting at its default.\n"
    "\n"
    "vernwick-cli --version prints the version.\n"
    "'vernwick-cli COMMAND --help' shows this text too.\n";

// The help with the defaults this build looks for.
std::string Help()
{
    std::string text = HelpText;
    for (const auto& [mark, value] : {std::pair{"{ini}", DefaultSettingsText}, {"{channels}", DefaultChannelDirText}}) {
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, std::string_view(mark).size(), value);
    }
    return text;
}

} // namespace

void PrintError(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

int main(int argc, char** argv)
{
    console::Setup();
    std::vector<std::string> args = console::Arguments(argc, argv);
    if (args.empty()) {
        std::fputs(Help().c_str(), stderr);
        return 2;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(Help().c_str(), stdout);
            return 0;
        }
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(Help().c_str(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("vernwick-cli %s\n", VERNWICK_VERSION);
        return 0;
    }

    SocketStartup();
    int status = 2;
    if (command == "serve") {
        status = ServeCommand(args);
    } else if (command == "scan") {
        status = ScanCommand(args);
    } else if (command == "make-channels") {
        status = MakeChannelsCommand(args);
    } else if (command == "check-channels") {
        status = CheckChannelsCommand(args);
    } else {
        PrintError("unknown command: " + command + " (see vernwick-cli --help)");
    }
    SocketCleanup();
    return status;
}
