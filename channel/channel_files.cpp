#include "channel/channel_files.h"

#include <string>
#include <utility>
#include <vector>

#include "common/file_io.h"
#include "common/parse_int.h"
#include "common/split_fields.h"
#include "remocon/protocol.h"

namespace {

constexpr std::size_t ChSetFieldCount = 4;
constexpr std::size_t ChAliasFieldCount = 8;

std::string FillPath(std::string_view messageTemplate, std::string_view path)
{
    std::string message(messageTemplate);
    const std::size_t pos = message.find("%s");
    if (pos != std::string::npos)
        message.replace(pos, 2, path);
    return message;
}

// A name is written as it is, except for the bytes that carry the line format
// itself: a TAB would add fields and a CR or LF would split the line, so the
// loader would drop the channel (and every virtual number after it would point
// at the wrong row), and a NUL would end the text there. Each of these becomes
// a blank, which keeps the channel loadable under a name that still reads the
// same. CP932 bytes, including lead and trail bytes, never take these values.
void AppendName(std::string& out, std::string_view name)
{
    for (const char c : name)
        out += (c == '\t' || c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
}

// Numbers are stored as signed 32-bit decimal; ParseInt reads them back to the
// same 32 bits.
void AppendNumber(std::string& out, std::uint32_t number)
{
    out += std::to_string(static_cast<std::int32_t>(number));
}

std::uint32_t NumberField(const std::string& field)
{
    return static_cast<std::uint32_t>(ParseInt(field));
}

// Calls f for every line. A line ends at CR LF, a lone LF or a lone CR; a NUL
// ends the whole text; a last line without an end still counts.
template <class F>
void ForEachLine(std::string_view text, F&& f)
{
    text = text.substr(0, text.find('\0'));
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            f(text.substr(start));
            return;
        }
        f(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
}

std::vector<std::string> SplitLine(std::string_view line)
{
    return SplitFields(line, '\t', '\0');
}

} // namespace

FileError::FileError(const char* messageTemplate, std::string path)
    : std::runtime_error(FillPath(messageTemplate, path)), FPath(std::move(path)), FTemplate(messageTemplate),
      FReason(LastFileFailureText())
{
}

std::string FileError::Text(std::string_view shownPath) const
{
    return FillPath(FTemplate, shownPath);
}

std::string ChSetFilePath(const std::string& dir)
{
    return dir + ChannelFileBaseName + ChSetFileSuffix;
}

std::string ChAliasFilePath(const std::string& dir)
{
    return dir + ChannelFileBaseName + ChAliasFileSuffix;
}

std::string FormatChSetText(const NamedNumberList& channels)
{
    std::string text;
    for (const NamedNumber& channel : channels) {
        AppendName(text, channel.name);
        text += "\t0\t";
        AppendNumber(text, channel.number);
        text += "\t0\r\n";
    }
    return text;
}

std::string FormatChAliasText(const BonAliasList& aliases)
{
    std::string text;
    for (const BON_ALIAS& alias : aliases) {
        // Service first, then BonDriver, space and channel; the index is the
        // line's position and is not written.
        for (const NamedNumber* item : {&alias.srv, &alias.bn, &alias.spc, &alias.ch}) {
            if (item != &alias.srv)
                text += '\t';
            AppendName(text, item->name);
            text += '\t';
            AppendNumber(text, item->number);
        }
        text += "\r\n";
    }
    return text;
}

void ParseChSetText(std::string_view text, NamedNumberList& channels)
{
    channels.clear();
    ForEachLine(text, [&](std::string_view line) {
        std::vector<std::string> fields = SplitLine(line);
        if (fields.size() != ChSetFieldCount)
            return;
        // The second and fourth fields are always written as 0 and mean nothing.
        channels.push_back(NamedNumber{std::move(fields[0]), NumberField(fields[2])});
    });
}

void ParseChAliasText(std::string_view text, BonAliasList& aliases)
{
    aliases.clear();
    ForEachLine(text, [&](std::string_view line) {
        std::vector<std::string> fields = SplitLine(line);
        if (fields.size() != ChAliasFieldCount)
            return;
        BON_ALIAS alias;
        // A row is numbered by its place among the rows kept, not among all
        // lines of the file: a virtual channel is selected by its position in
        // this list, and the current channel reported back is this index, so
        // the two must agree even in a hand-edited file with skipped lines.
        alias.index = static_cast<std::int32_t>(aliases.size());
        alias.srv = NamedNumber{std::move(fields[0]), NumberField(fields[1])};
        alias.bn = NamedNumber{std::move(fields[2]), NumberField(fields[3])};
        alias.spc = NamedNumber{std::move(fields[4]), NumberField(fields[5])};
        alias.ch = NamedNumber{std::move(fields[6]), NumberField(fields[7])};
        aliases.push_back(std::move(alias));
    });
}

void SaveChSetFile(const std::string& path, const NamedNumberList& channels)
{
    if (!ReplaceFileAtomically(path, FormatChSetText(channels)))
        throw FileError(FileCreateErrorText, path);
}

void SaveChAliasFile(const std::string& path, const BonAliasList& aliases)
{
    if (!ReplaceFileAtomically(path, FormatChAliasText(aliases)))
        throw FileError(FileCreateErrorText, path);
}

void SaveChannelFiles(const std::string& dir, const NamedNumberList& channels, const BonAliasList& aliases,
                      const std::string& copyDir)
{
    std::vector<FileReplacement> files{{ChSetFilePath(dir), FormatChSetText(channels)},
                                       {ChAliasFilePath(dir), FormatChAliasText(aliases)}};
    std::vector<std::string> createdFolders;
    if (!copyDir.empty()) {
        files.push_back({ChSetFilePath(copyDir), files.front().contents});
        if (!CreateFolders(copyDir, createdFolders))
            throw FileError(FileCreateErrorText, files.back().path);
    }
    if (const auto failed = ReplaceFilesTogether(files)) {
        RemoveCreatedFolders(createdFolders);
        throw FileError(FileCreateErrorText, files[*failed].path);
    }
}

DisplayNameFault CheckDisplayName(std::string_view name)
{
    if (name.empty())
        return DisplayNameFault::Empty;
    if (name.front() == ';')
        return DisplayNameFault::LeadingSemicolon;
    if (name.find_first_of("\t\r\n") != std::string_view::npos)
        return DisplayNameFault::LineBreakOrTab;
    return DisplayNameFault::None;
}

std::size_t ChListReplySize(const NamedNumberList& channels)
{
    NamedNumberList served;
    ParseChSetText(FormatChSetText(channels), served);
    const int lastChannel = served.empty() ? 0 : static_cast<int>(served.size() - 1);
    return FormatListReply(StatusSuccess, lastChannel, served).size();
}

void LoadChSetFile(const std::string& path, NamedNumberList& channels)
{
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        throw FileError(FileOpenErrorText, path);
    ParseChSetText(*text, channels);
}

void LoadChAliasFile(const std::string& path, BonAliasList& aliases)
{
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        throw FileError(FileOpenErrorText, path);
    ParseChAliasText(*text, aliases);
}
