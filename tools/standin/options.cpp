#include "tools/standin/options.h"

#include <cstring>
#include <optional>

#include "common/integer_text.h"

const char StandInHelp[] =
    "usage: vernwick-standin [OPTION]...\n"
    "\n"
    "Serves EpgDataCap_Bon's remote-control port: the list, set and programme\n"
    "requests over a tree of BonDrivers > spaces > channels > services, with one\n"
    "current selection shared by every connection. An unknown request closes its\n"
    "connection without a reply. A Set for a number that is not listed answers 1\n"
    "and changes nothing; a Set that succeeds makes every level below it go to\n"
    "its first entry. Stops on SIGTERM/SIGINT (Ctrl+C on Windows).\n"
    "\n"
    "  --host ADDR        listen on ADDR (default 127.0.0.1)\n"
    "  --port N           listen on port N (default 1334; 0 = any free port)\n"
    "  --port-file FILE   once listening, write the port number to FILE (atomically)\n"
    "  --tree FILE        serve the tree in FILE instead of the built-in one\n"
    "  --select B,S,C,V   initial selection by numbers (BonDriver[,space[,ch[,service]]])\n"
    "  --log FILE         write \"#open\", each request and \"#close\" to FILE, one line\n"
    "                     each, flushed before the reply; TAB, CR, LF, backslash and\n"
    "                     bytes outside printable ASCII appear as \\t \\r \\n \\\\ \\xHH,\n"
    "                     and a request's leading # as \\x23; \"#overlap\" before a\n"
    "                     request that came while another connection's request\n"
    "                     was still being answered\n"
    "\n"
    "Faults (CMD is a command name such as GetChList or SetCh):\n"
    "  --delay MS         wait MS before every reply\n"
    "  --delay CMD=MS     wait MS before the replies to CMD (overrides --delay MS)\n"
    "  --split GAP_MS     send list and text replies in two pieces, GAP_MS apart\n"
    "  --split-on CMD     with --split, split the replies to CMD only (repeatable);\n"
    "                     the log gets \"#rest\" once the second piece has gone\n"
    "  --urgent-on CMD    send an out-of-band byte before the reply to CMD\n"
    "  --flood-on CMD     answer CMD with bytes that never end, as fast as they\n"
    "                     are taken\n"
    "  --trickle-on CMD   answer CMD with bytes that never end, one every 100 us\n"
    "                     (never quiet for 1 ms)\n"
    "  --listen-delay MS  wait MS before listening (a slow start)\n"
    "  --close            close the connection instead of replying\n"
    "  --close-on CMD     the same, for CMD only (repeatable)\n"
    "  --silent           never reply, keep the connection open\n"
    "  --silent-on CMD    the same, for CMD only (repeatable)\n"
    "  --set-status N     answer every Set with status N, changing nothing\n"
    "  --current-unknown  lists give -1 as the current number\n"
    "  --exit-after N     answer N requests, then end the process (exit code 3)\n"
    "                     as soon as the next one arrives, without replying\n"
    "  --exit-on CMD      end the process (exit code 3) when CMD arrives\n"
    "  --fault-at N       apply the other faults to the Nth request only (counting\n"
    "                     every request from 1, over all connections)\n"
    "  --help             this text\n"
    "\n"
    "Tree file: one entry per line, KEYWORD<TAB>NAME<TAB>NUMBER, where KEYWORD is\n"
    "bon, space, ch or service; each entry belongs to the entry last given one\n"
    "level up. NAME is sent byte for byte (code page 932). Empty lines and lines\n"
    "starting with # are skipped; a file with no bon line is an empty tree.\n"
    "  bon\tBonDriver_PT3-T.dll\t0\n"
    "  space\tTerrestrial\t0\n"
    "  ch\t27ch\t3\n"
    "  service\tNHK\t1024\n";

namespace {

std::optional<Command> CommandNamed(std::string_view name)
{
    for (int i = 0; i <= static_cast<int>(Command::GetNextPgInfo); ++i) {
        const auto command = static_cast<Command>(i);
        if (name == CommandName(command))
            return command;
    }
    return std::nullopt;
}

bool ReadCount(const std::string& text, int& target)
{
    const auto value = ReadIntegerText(text);
    if (!value || *value < 0)
        return false;
    target = *value;
    return true;
}

} // namespace

bool ParseOptions(int argc, char** argv, StandInOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--close") {
            options.closeAll = true;
            continue;
        }
        if (arg == "--silent") {
            options.silentAll = true;
            continue;
        }
        if (arg == "--current-unknown") {
            options.behaviour.currentUnknown = true;
            continue;
        }
        static const std::set<std::string> WithValue{
            "--host", "--port", "--port-file", "--log", "--tree", "--select", "--delay",
            "--split", "--close-on", "--silent-on", "--set-status", "--exit-after", "--split-on", "--exit-on",
            "--urgent-on", "--flood-on", "--trickle-on", "--listen-delay", "--fault-at"};
        if (!WithValue.count(arg)) {
            error = "unknown argument " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        const std::string bad = "bad value for " + arg + ": " + value;
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--port") {
            if (!ReadCount(value, options.port) || options.port > 65535) {
                error = bad;
                return false;
            }
        } else if (arg == "--port-file") {
            options.portFile = value;
        } else if (arg == "--log") {
            options.logFile = value;
        } else if (arg == "--tree") {
            options.treeFile = value;
        } else if (arg == "--select") {
            options.select.clear();
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = value.find(',', start);
                const auto number = ReadIntegerText(value.substr(start, comma - start));
                if (!number || options.select.size() == 4) {
                    error = bad;
                    return false;
                }
                options.select.push_back(static_cast<std::uint32_t>(*number));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (arg == "--delay") {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos) {
                if (!ReadCount(value, options.delayMs)) {
                    error = bad;
                    return false;
                }
            } else {
                const auto command = CommandNamed(value.substr(0, equals));
                int ms = 0;
                if (!command || !ReadCount(value.substr(equals + 1), ms)) {
                    error = bad;
                    return false;
                }
                options.delayByCommand[*command] = ms;
            }
        } else if (arg == "--split") {
            if (!ReadCount(value, options.splitGapMs)) {
                error = bad;
                return false;
            }
        } else if (arg == "--fault-at") {
            int n = 0;
            if (!ReadCount(value, n) || n < 1) {
                error = bad;
                return false;
            }
            options.faultAt = n;
        } else if (arg == "--listen-delay") {
            if (!ReadCount(value, options.listenDelayMs)) {
                error = bad;
                return false;
            }
        } else if (arg.ends_with("-on")) {
            const auto command = CommandNamed(value);
            if (!command) {
                error = bad;
                return false;
            }
            std::set<Command>& set = arg == "--close-on"    ? options.closeOn
                                     : arg == "--silent-on" ? options.silentOn
                                     : arg == "--split-on"  ? options.splitOn
                                     : arg == "--exit-on"   ? options.exitOn
                                     : arg == "--urgent-on" ? options.urgentOn
                                     : arg == "--flood-on"  ? options.floodOn
                                                            : options.trickleOn;
            set.insert(*command);
        } else if (arg == "--set-status") {
            const auto status = ReadIntegerText(value);
            if (!status) {
                error = bad;
                return false;
            }
            options.behaviour.forcedSetStatus = *status;
        } else if (arg == "--exit-after") {
            int count = 0;
            if (!ReadCount(value, count)) {
                error = bad;
                return false;
            }
            options.exitAfter = count;
        }
    }
    return true;
}
