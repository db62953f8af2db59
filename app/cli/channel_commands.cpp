// scan and make-channels: the channel setup dialog's work at a terminal.
// scan prints one line per service; a person deletes, reorders and renames
// lines in an editor, and make-channels turns what is left into the two
// channel files, exactly as the dialog would for those rows ticked in that
// order under those names.
#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "app/cli/command_files.h"
#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan.h"
#include "channel/scan_lines.h"
#include "net/socket.h"
#include "common/failure_text.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "remocon/protocol.h"

namespace {

// Refused input, as a wrong option is: nothing is written.
constexpr int Refused = 2;

class PrintingSink : public ChannelScanSink {
public:
    void ScanStarted() override { std::printf("%s\n", ScanHeader); }
    void RowFound(const BON_ALIAS& row) override
    {
        std::printf("%s\n", FormatScanLine(row).c_str());
        std::fflush(stdout);
        ++services;
        bonDrivers.insert(row.bn.number);
    }
    void Progress(const std::string& text) override { progress.Show(text); }

    ProgressLine progress;
    std::size_t services = 0;
    std::set<std::uint32_t> bonDrivers;
};

bool ReadAll(const std::string& file, std::string& text)
{
    if (file.empty() || file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    const auto contents = ReadWholeFile(file);
    if (!contents)
        return false;
    text = *contents;
    return true;
}

// What the viewer does with the list when its reply passes the limit: it
// reads the whole entries that fit, and switches by its own channel file.
std::string CutWarning(const NamedNumberList& channels, std::size_t replySize, std::int32_t limit)
{
    const int largestCurrent = static_cast<int>(channels.size()) - 1;
    const std::size_t carried =
        ListEntriesWithin(StatusSuccess, largestCurrent, channels, static_cast<std::size_t>(limit));
    return "warning: the channel list's reply is " + std::to_string(replySize) +
           " bytes, more than ChListReplyLimit (" + std::to_string(limit) + "): the list is cut for the viewer at " +
           std::to_string(carried) + " channels; switching still works for all " + std::to_string(channels.size()) +
           ".";
}

} // namespace

std::string DisplayNameFaultText(DisplayNameFault fault)
{
    switch (fault) {
    case DisplayNameFault::None: break;
    case DisplayNameFault::Empty: return "the display name is empty";
    case DisplayNameFault::LeadingSemicolon:
        return "the display name starts with ';', which TVTest takes for a comment: every later channel would be "
               "one off";
    case DisplayNameFault::LineBreakOrTab: return "the display name holds a TAB, CR or LF";
    }
    return std::string();
}

std::string RemoconFailureText(const std::string& host, std::int32_t port)
{
    return WithReason(RemoconConnectFailedText, host + ":" + std::to_string(port), LastSocketFailureText());
}

int ScanCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--ini"}, {});
    if (!options.Parse() || !options.Positional().empty()) {
        PrintError(options.Error().empty() ? "scan takes no file arguments" : options.Error());
        return 2;
    }
    const std::optional<Settings> settings = LoadSettingsOption(options);
    if (!settings)
        return 2;
    PrintingSink sink;
    const std::int32_t port = RemoconPortNumber(*settings);
    if (!ScanChannels(settings->RemoconAddr, static_cast<std::uint16_t>(port), settings->MultiTuner, sink)) {
        PrintError(RemoconFailureText(settings->RemoconAddr, port));
        return 1;
    }
    sink.progress.End();
    PrintError(CountText(sink.services, "service", "services") + " on " +
               CountText(sink.bonDrivers.size(), "BonDriver", "BonDrivers"));
    return 0;
}

int MakeChannelsCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--ini", "--channels"}, {});
    if (!options.Parse() || options.Positional().size() > 1) {
        PrintError(options.Error().empty() ? "make-channels takes at most one FILE" : options.Error());
        return 2;
    }
    const std::optional<Settings> settings = LoadSettingsOption(options);
    if (!settings)
        return 2;
    const std::string file = options.Positional().empty() ? std::string() : options.Positional().front();
    std::string text;
    if (!ReadAll(file, text)) {
        PrintError(FileErrorText(FileError(FileOpenErrorText, file)));
        return 1;
    }

    std::vector<ScanLine> lines;
    if (const auto fault = ParseScanLines(text, lines)) {
        PrintError(*fault);
        return Refused;
    }
    for (const ScanLine& line : lines) {
        if (const DisplayNameFault fault = CheckDisplayName(line.displayName); fault != DisplayNameFault::None) {
            PrintError("line " + std::to_string(line.lineNumber) + ": " + DisplayNameFaultText(fault) +
                       "; nothing was written");
            return Refused;
        }
    }
    // Two empty files would give the viewer a tuner without channels, which
    // it refuses.
    if (lines.empty()) {
        PrintError("no channels in " + (file.empty() || file == "-" ? "the input" : console::PathForDisplay(file)) +
                   ": nothing was written");
        return Refused;
    }
    ChannelListModel model;
    for (const ScanLine& line : lines) {
        model.AddRow(line.row);
        const std::size_t row = model.Size() - 1;
        model.SetSelected(row, true);
        model.RenameSelected(line.displayName);
        model.SetSelected(row, false);
        model.SetChecked(row, true);
    }

    // Written all the same, as asked; the person learns what the viewer
    // will make of the list.
    const std::size_t replySize = model.ChListReplySize();
    const std::int32_t limit = settings->ChListReplyLimit;
    if (limit > 0 && replySize > static_cast<std::size_t>(limit)) {
        NamedNumberList channels;
        BonAliasList aliases;
        model.BuildChannelLists(channels, aliases);
        PrintError(CutWarning(channels, replySize, limit));
    }
    try {
        model.CreateChannelFiles(ChannelDirOption(options));
    } catch (const FileError& error) {
        PrintError(FileErrorText(error));
        return 1;
    }
    std::printf("%s\n", ChannelFilesCreatedText);
    return 0;
}
