#include "remocon/protocol.h"

#include <array>

#include "common/parse_int.h"
#include "common/split_fields.h"

namespace {

struct CommandInfo {
    Command command;
    const char* name;
    ReplyKind kind;
};

// In the order the server tries them: exact list commands, then set
// patterns, then exact text commands.
constexpr std::array<CommandInfo, 12> Commands = {{
    {Command::GetBonList, "GetBonList", ReplyKind::List},
    {Command::GetSpaceList, "GetSpaceList", ReplyKind::List},
    {Command::GetChList, "GetChList", ReplyKind::List},
    {Command::GetServiceList, "GetServiceList", ReplyKind::List},
    {Command::GetServiceList2, "GetServiceList2", ReplyKind::List},
    {Command::SetBon, "SetBon", ReplyKind::Status},
    {Command::SetSpace, "SetSpace", ReplyKind::Status},
    {Command::SetCh, "SetCh", ReplyKind::Status},
    {Command::SetService, "SetService", ReplyKind::Status},
    {Command::SetService2, "SetService2", ReplyKind::Status},
    {Command::GetNowPgInfo, "GetNowPgInfo", ReplyKind::Text},
    {Command::GetNextPgInfo, "GetNextPgInfo", ReplyKind::Text},
}};

bool IsScanfSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// scanf's "%d": white space, an optional sign, at least one digit. Out of
// range values wrap to 32 bits, as every other number of the protocol does.
std::optional<std::int32_t> ScanDecimal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsScanfSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return std::nullopt;
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

} // namespace

const char* CommandName(Command command)
{
    return Commands[static_cast<std::size_t>(command)].name;
}

ReplyKind ReplyKindOf(Command command)
{
    return Commands[static_cast<std::size_t>(command)].kind;
}

std::optional<Request> RecognizeRequest(std::string_view request)
{
    if (const std::size_t nul = request.find('\0'); nul != std::string_view::npos)
        request = request.substr(0, nul);
    for (const CommandInfo& info : Commands) {
        if (info.kind == ReplyKind::Status)
            continue;
        if (info.kind == ReplyKind::List && request == info.name)
            return Request{info.command, 0};
    }
    for (const CommandInfo& info : Commands) {
        if (info.kind != ReplyKind::Status)
            continue;
        const std::string_view name = info.name;
        if (request.size() > name.size() && request.starts_with(name) && request[name.size()] == ':') {
            if (const auto n = ScanDecimal(request.substr(name.size() + 1)))
                return Request{info.command, *n};
        }
    }
    for (const CommandInfo& info : Commands) {
        if (info.kind == ReplyKind::Text && request == info.name)
            return Request{info.command, 0};
    }
    return std::nullopt;
}

std::string FormatSetRequest(std::string_view name, std::int32_t number)
{
    std::string text(name);
    text += ':';
    text += std::to_string(number);
    return text;
}

namespace {

void AppendEntry(std::string& reply, const NamedNumber& entry)
{
    reply += '\t';
    reply += std::to_string(static_cast<std::int32_t>(entry.number));
    reply += '\t';
    reply += entry.name;
}

} // namespace

std::string FormatListReply(int status, int current, const NamedNumberList& entries, std::size_t limit)
{
    std::string reply = std::to_string(status);
    reply += '\t';
    reply += std::to_string(current);
    for (const NamedNumber& entry : entries) {
        const std::size_t whole = reply.size();
        AppendEntry(reply, entry);
        if (limit != 0 && reply.size() > limit) {
            // Whole entries only: a cut name, or half a code page 932
            // character, would reach the viewer as a channel of its own.
            reply.resize(whole);
            break;
        }
    }
    return reply;
}

std::size_t ListEntriesWithin(int status, int current, const NamedNumberList& entries, std::size_t limit)
{
    if (limit == 0)
        return entries.size();
    std::string head = std::to_string(status);
    head += '\t';
    head += std::to_string(current);
    std::size_t size = head.size();
    std::size_t count = 0;
    for (const NamedNumber& entry : entries) {
        size += 2 + std::to_string(static_cast<std::int32_t>(entry.number)).size() + entry.name.size();
        if (size > limit)
            break;
        ++count;
    }
    return count;
}

std::string FormatStatusReply(int status)
{
    return std::to_string(status);
}

int ParseListReply(std::string_view reply, NamedNumberList& list, std::int32_t* current)
{
    const std::vector<std::string> fields = SplitFields(reply, '\t', '\0');
    if (fields.size() <= 2)
        return StatusFailed;
    const int status = ParseInt(fields[0]);
    const std::int32_t reportedCurrent = ParseInt(fields[1]);
    if (current && reportedCurrent != -1)
        *current = reportedCurrent;
    list.clear();
    for (std::size_t i = 2; i + 1 < fields.size(); i += 2)
        list.push_back(NamedNumber{fields[i + 1], static_cast<std::uint32_t>(ParseInt(fields[i]))});
    return status;
}
