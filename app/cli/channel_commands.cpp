// scan and make-channels: the channel setup dialog's work at a terminal.
// scan prints one line per service; a person deletes, reorders and renames
// lines in an editor, and make-channels turns what is left into the two
// channel files, exactly as the dialog would for those rows ticked in that
// order under those names.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan.h"
#include "channel/scan_lines.h"
#include "common/file_io.h"
#include "common/settings.h"

namespace {

class PrintingSink : public ChannelScanSink {
public:
    void ScanStarted() override { std::printf("%s\n", ScanHeader); }
    void RowFound(const BON_ALIAS& row) override
    {
        std::printf("%s\n", FormatScanLine(row).c_str());
        std::fflush(stdout);
    }
    void Progress(const std::string& text) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

std::string FileErrorText(const FileError& error)
{
    std::string text = error.Template();
    const std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, console::PathForDisplay(error.Path()));
    return text;
}

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

} // namespace

int ScanCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--ini"}, {});
    if (!options.Parse() || !options.Positional().empty()) {
        PrintError(options.Error().empty() ? "scan takes no file arguments" : options.Error());
        return 2;
    }
    const Settings settings = LoadSettings(options.Value("--ini").value_or(DefaultSettingsPath()));
    PrintingSink sink;
    if (!ScanChannels(settings.RemoconAddr, RemoconPortNumber(settings), settings.MultiTuner, sink)) {
        PrintError(RemoconConnectFailedText);
        return 1;
    }
    return 0;
}

int MakeChannelsCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--channels"}, {});
    if (!options.Parse() || options.Positional().size() > 1) {
        PrintError(options.Error().empty() ? "make-channels takes at most one FILE" : options.Error());
        return 2;
    }
    const std::string file = options.Positional().empty() ? std::string() : options.Positional().front();
    std::string text;
    if (!ReadAll(file, text)) {
        PrintError(FileErrorText(FileError(FileOpenErrorText, file)));
        return 1;
    }

    std::vector<ScanLine> lines;
    if (const auto fault = ParseScanLines(text, lines)) {
        PrintError(*fault);
        return 1;
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

    // Written all the same, as asked; the person learns why the viewer would
    // stumble over the list.
    if (const std::size_t replySize = model.ChListReplySize(); replySize > ViewerReceiveLimit)
        PrintError(ChListTooLongText(replySize));
    const std::string dir = WithTrailingSeparator(options.Value("--channels").value_or(ExecutableDir()));
    try {
        model.CreateChannelFiles(dir);
    } catch (const FileError& error) {
        PrintError(FileErrorText(error));
        return 1;
    }
    std::printf("%s\n", ChannelFilesCreatedText);
    return 0;
}
