// check-channels: after a rescan, a firmware update or a broadcaster's change
// the numbers in the channel files may no longer lead to the services the
// user picked. This scans EpgDataCap_Bon again and says, channel by channel,
// whether each still matches, and with --fix follows the services that moved.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/command_files.h"
#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "channel/channel_check.h"
#include "channel/channel_files.h"
#include "channel/channel_scan.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "common/terminal_text.h"
#include "common/text_columns.h"
#include "net/socket.h"
#include "remocon/net_remocon.h"

namespace {

// Exit statuses: every channel unchanged, some not, or no answer at all.
constexpr int AllUnchanged = 0;
constexpr int SomeChanged = 1;
constexpr int CannotCheck = 2;

class CollectingSink : public ChannelScanSink {
public:
    void RowFound(const BON_ALIAS& row) override { rows.push_back(row); }
    void Progress(const std::string& text) override { progress.Show(text); }
    BonAliasList rows;
    ProgressLine progress;
};

struct ChannelFile {
    std::string path;
    std::string text;
};

bool ReadChannelFile(const std::string& path, ChannelFile& file)
{
    file.path = path;
    const auto text = ReadWholeFile(path);
    if (!text) {
        PrintError(FileErrorText(FileError(FileOpenErrorText, path)));
        return false;
    }
    file.text = *text;
    return true;
}

std::string Numbers(const BON_ALIAS& row)
{
    std::string text;
    for (const NamedNumber* n : {&row.bn, &row.spc, &row.ch, &row.srv}) {
        if (!text.empty())
            text += '/';
        text += std::to_string(static_cast<std::int32_t>(n->number));
    }
    return text;
}

const char* StateText(ChannelState state)
{
    switch (state) {
    case ChannelState::Unchanged: return "unchanged";
    case ChannelState::Renamed: return "renamed";
    case ChannelState::Moved: return "moved";
    case ChannelState::Gone: return "gone";
    }
    return "";
}

// The display name of virtual channel k: the ChSet entry that the viewer
// selects it with.
std::string DisplayName(const NamedNumberList& channels, std::int32_t k)
{
    for (const NamedNumber& channel : channels) {
        if (channel.number == static_cast<std::uint32_t>(k))
            return Cp932ToTerminal(channel.name);
    }
    return "(not in the ChSet file)";
}

// "9 unchanged, 1 moved, 1 gone": the states that occur, in the table's order.
std::string Summary(const std::vector<ChannelCheck>& results, std::size_t nameProblems)
{
    std::string text;
    for (const ChannelState state :
         {ChannelState::Unchanged, ChannelState::Renamed, ChannelState::Moved, ChannelState::Gone}) {
        const auto count = std::count_if(results.begin(), results.end(),
                                         [state](const ChannelCheck& r) { return r.state == state; });
        if (count > 0)
            text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + StateText(state);
    }
    if (nameProblems > 0)
        text += (text.empty() ? "" : ", ") + CountText(nameProblems, "display name", "display names") + " to change";
    return text.empty() ? "no channels" : text;
}

} // namespace

int CheckChannelsCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--ini", "--channels"}, {"--fix"});
    if (!options.Parse() || !options.Positional().empty()) {
        PrintError(options.Error().empty() ? "check-channels takes no file arguments" : options.Error());
        return CannotCheck;
    }
    const std::optional<Settings> settings = LoadSettingsOption(options);
    if (!settings)
        return CannotCheck;
    const std::string dir = ChannelDirOption(options);

    // Both files must read cleanly before EpgDataCap_Bon is scanned: the scan
    // moves its tuner, which is not worth doing for a check that cannot run.
    ChannelFile chSet, chAlias;
    if (!ReadChannelFile(ChSetFilePath(dir), chSet) || !ReadChannelFile(ChAliasFilePath(dir), chAlias))
        return CannotCheck;
    NamedNumberList channels;
    BonAliasList rows;
    for (const auto& [file, error] : {std::pair{&chSet, ReadChSetStrictly(chSet.text, channels)},
                                      std::pair{&chAlias, ReadChAliasStrictly(chAlias.text, rows)}}) {
        if (error) {
            PrintError(console::PathForDisplay(file->path) + ": " + *error);
            return CannotCheck;
        }
    }

    const std::int32_t port = RemoconPortNumber(*settings);
    const socket_t s = ConnectSocket(settings->RemoconAddr, static_cast<std::uint16_t>(port));
    if (s == InvalidSocket) {
        PrintError(RemoconFailureText(settings->RemoconAddr, port));
        return CannotCheck;
    }
    CollectingSink sink;
    {
        CNetRemocon remocon(s, true);
        ScanChannels(remocon, settings->MultiTuner, sink);
        sink.progress.End();
        // A scan cut short would show the rest as gone, and services found
        // early on other tuners as moved: nothing is judged from it.
        if (remocon.PeerClosed() || remocon.OutOfStep()) {
            PrintError("the connection to EpgDataCap_Bon was lost during the scan; nothing was checked or changed");
            return CannotCheck;
        }
    }

    const std::vector<ChannelCheck> results = CheckChannels(rows, sink.rows);
    const bool fix = options.Flag("--fix");
    std::vector<std::vector<std::string>> table{{"status", "channel", "in the files", "found now", ""}};
    BonAliasList fixed;
    bool allUnchanged = true;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const ChannelCheck& result = results[k];
        const BON_ALIAS& row = rows[k];
        allUnchanged = allUnchanged && result.state == ChannelState::Unchanged;
        std::string now, note;
        for (const BON_ALIAS& found : result.found) {
            if (!now.empty())
                now += " or ";
            now += Numbers(found);
        }
        if (result.state == ChannelState::Renamed) {
            note = "service now " + Cp932ToTerminal(result.found.front().srv.name) + ", was " +
                   Cp932ToTerminal(row.srv.name);
        } else if (result.state == ChannelState::Moved && !result.Fixable()) {
            note = "found more than once, left as it is";
        } else if (result.Fixable() && fix) {
            BON_ALIAS moved = result.found.front();
            moved.index = row.index;
            fixed.push_back(moved);
        }
        table.push_back({StateText(result.state), DisplayName(channels, row.index), Numbers(row),
                         now.empty() ? "-" : now, note});
    }

    // Names the viewer cannot take as one channel, with their lines: the
    // strict reading made every line a record, so channel k is line k + 1.
    std::vector<std::string> nameProblems;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        if (const DisplayNameFault fault = CheckDisplayName(channels[k].name); fault != DisplayNameFault::None) {
            nameProblems.push_back(console::PathForDisplay(chSet.path) + ": line " + std::to_string(k + 1) + ": " +
                                   DisplayNameFaultText(fault));
        }
    }

    // The rows were read before the scan, which takes a while: files that
    // make-channels or the dialog wrote meanwhile are newer than the rows
    // and are left as they are.
    const bool unchanged = fixed.empty() || (ReadWholeFile(chSet.path) == chSet.text &&
                                             ReadWholeFile(chAlias.path) == chAlias.text);
    const bool written = unchanged && (fixed.empty() ||
                                       ReplaceFileAtomically(chAlias.path, ReplaceChAliasRows(chAlias.text, fixed)));
    const std::string failure = written ? std::string() : FileErrorText(FileError(FileCreateErrorText, chAlias.path));
    for (const BON_ALIAS& row : fixed)
        table[static_cast<std::size_t>(row.index) + 1].back() = written ? "fixed" : "not fixed";
    std::fputs(FormatColumns(table, {}, "").c_str(), stdout);
    for (const std::string& problem : nameProblems)
        std::printf("%s\n", problem.c_str());
    std::printf("%s\n", Summary(results, nameProblems.size()).c_str());
    if (!fixed.empty() && written)
        std::printf("A running server reads the channel files only when it starts: restart it "
                    "(systemctl restart vernwick).\n");
    std::fflush(stdout);
    if (!unchanged) {
        PrintError("the channel files changed during the scan; nothing was fixed (run check-channels again)");
        return CannotCheck;
    }
    if (!written) {
        PrintError(failure);
        return CannotCheck;
    }
    return allUnchanged && nameProblems.empty() ? AllUnchanged : SomeChanged;
}
