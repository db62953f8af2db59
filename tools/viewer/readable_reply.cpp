#include "tools/viewer/readable_reply.h"

#include <vector>

#include "common/parse_int.h"
#include "common/split_fields.h"
#include "common/terminal_text.h"
#include "common/text_columns.h"
#include "remocon/protocol.h"
#include "tools/viewer/visible_text.h"

namespace {

std::string StatusText(std::int32_t status)
{
    const char* meaning = status == StatusSuccess  ? "success"
                          : status == StatusRefused ? "refused"
                          : status == StatusFailed  ? "failed"
                                                    : "EpgDataCap_Bon's own status";
    return std::to_string(status) + " (" + meaning + ")";
}

std::string ListText(std::string_view reply)
{
    const std::vector<std::string> fields = SplitFields(reply, '\t', '\0');
    if (fields.empty())
        return "";
    const auto status = static_cast<std::int32_t>(ParseInt(fields[0]));
    std::string text = StatusText(status);
    if (fields.size() < 2)
        return text + ", no current number";
    const auto current = static_cast<std::int32_t>(ParseInt(fields[1]));
    text += current == -1 ? ", current unknown" : ", current " + std::to_string(current);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 2; i + 1 < fields.size(); i += 2) {
        const auto number = static_cast<std::int32_t>(ParseInt(fields[i]));
        rows.push_back({number == current ? "*" : "", std::to_string(number), Cp932ToTerminal(fields[i + 1])});
    }
    if (rows.empty())
        return text + ", no entries";
    std::string columns = FormatColumns(rows, {ColumnAlign::Left, ColumnAlign::Right}, "  ");
    columns.pop_back();
    return text + "\n" + columns;
}

// A line of code page 932 text whose TABs part fields.
std::string TextLine(std::string_view line)
{
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        out += Cp932ToTerminal(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return out;
        out += "  ";
        start = tab + 1;
    }
}

// Programme texts: lines of code page 932 text.
std::string TextLines(std::string_view reply)
{
    std::string out;
    std::size_t start = 0;
    while (start <= reply.size()) {
        std::size_t end = reply.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = reply.size();
        if (start > 0)
            out += "\n  ";
        out += TextLine(reply.substr(start, end - start));
        if (end == reply.size())
            break;
        start = end + (reply.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (start == reply.size())
            break;
    }
    return out;
}

} // namespace

std::string ReadableReply(std::string_view request, std::string_view reply)
{
    const auto recognized = RecognizeRequest(request.substr(0, request.find('\0')));
    if (!recognized)
        return VisibleText(reply);
    switch (ReplyKindOf(recognized->command)) {
    case ReplyKind::List: return ListText(reply);
    case ReplyKind::Status: return StatusText(static_cast<std::int32_t>(ParseInt(reply)));
    case ReplyKind::Text: return TextLines(reply);
    }
    return VisibleText(reply);
}
