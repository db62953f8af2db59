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
#include "common/file_io.h"
#include "common/integer_text.h"
#include "common/settings.h"
#include "common/split_fields.h"
#include "common/terminal_text.h"

namespace {

constexpr const char* ScanHeader =
    "# name\tservice\tservice number\tBonDriver\tBonDriver number\tspace\tspace number\tchannel\tchannel number";
constexpr std::size_t ScanFieldCount = 9;

class PrintingSink : public ChannelScanSink {
public:
    void ScanStarted() override { std::printf("%s\n", ScanHeader); }
    void RowFound(const BON_ALIAS& row) override
    {
        const auto name = [](const NamedNumber& n) { return Cp932ToTerminal(n.name); };
        const auto number = [](const NamedNumber& n) { return std::to_string(static_cast<std::int32_t>(n.number)); };
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", name(row.srv).c_str(), name(row.srv).c_str(),
                    number(row.srv).c_str(), name(row.bn).c_str(), number(row.bn).c_str(), name(row.spc).c_str(),
                    number(row.spc).c_str(), name(row.ch).c_str(), number(row.ch).c_str());
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

    ChannelListModel model;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        // Every field must be there, empty names included, so an empty last
        // field counts too.
        std::vector<std::string> fields = SplitFields(line, '\t', '\0');
        if (line.back() == '\t')
            fields.emplace_back();
        if (fields.size() != ScanFieldCount) {
            PrintError("line " + std::to_string(lineNumber) + ": " + std::to_string(fields.size()) +
                       " fields, expected " + std::to_string(ScanFieldCount) + " separated by TAB");
            return 1;
        }
        std::vector<std::string> bytes;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const auto converted = TerminalToCp932(fields[i]);
            if (!converted) {
                PrintError("line " + std::to_string(lineNumber) + ": field " + std::to_string(i + 1) +
                           " holds a character that code page 932 cannot store");
                return 1;
            }
            bytes.push_back(*converted);
        }
        const auto number = [&](std::size_t i, std::int32_t& out) {
            const auto value = ReadIntegerText(fields[i]);
            out = value.value_or(0);
            return value.has_value();
        };
        std::int32_t srv = 0, bn = 0, spc = 0, ch = 0;
        for (const auto& [index, target] : {std::pair{2u, &srv}, {4u, &bn}, {6u, &spc}, {8u, &ch}}) {
            if (!number(index, *target)) {
                PrintError("line " + std::to_string(lineNumber) + ": field " + std::to_string(index + 1) +
                           " is not a number");
                return 1;
            }
        }
        BON_ALIAS alias{static_cast<std::int32_t>(model.Size()),
                        {bytes[3], static_cast<std::uint32_t>(bn)},
                        {bytes[5], static_cast<std::uint32_t>(spc)},
                        {bytes[7], static_cast<std::uint32_t>(ch)},
                        {bytes[1], static_cast<std::uint32_t>(srv)}};
        model.AddRow(alias);
        const std::size_t row = model.Size() - 1;
        model.SetSelected(row, true);
        model.RenameSelected(bytes[0]);
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
