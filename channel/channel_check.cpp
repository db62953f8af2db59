#include "channel/channel_check.h"

#include <algorithm>
#include <limits>

#include "channel/channel_files.h"
#include "common/split_fields.h"

namespace {

bool SameNumbers(const BON_ALIAS& a, const BON_ALIAS& b)
{
    return a.bn.number == b.bn.number && a.spc.number == b.spc.number && a.ch.number == b.ch.number &&
           a.srv.number == b.srv.number;
}

struct Line {
    std::string_view text;
    std::string_view end; // CR LF, LF, CR, or nothing on a last line without one
};

// Lines end as the loaders end them: at CR LF, a lone LF or a lone CR.
std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const std::size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        lines.push_back({text.substr(start, end - start), text.substr(end, next - end)});
        start = next;
    }
    return lines;
}

// Numbers are written as signed 32-bit decimals; the unsigned form of a
// large one reads too.
std::optional<std::uint32_t> StrictNumber(std::string_view field)
{
    const bool negative = !field.empty() && field.front() == '-';
    if (negative)
        field.remove_prefix(1);
    if (field.empty() || field.size() > 10 || !std::all_of(field.begin(), field.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : field)
        value = value * 10 + (c - '0');
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Calls record(fields, numbers) for each line with fieldCount fields whose
// fields at numberFields are numbers; the first line that is not gives the error.
template <class F>
std::optional<std::string> ReadStrictly(std::string_view text, std::size_t fieldCount,
                                        std::initializer_list<std::size_t> numberFields, F&& record)
{
    const std::vector<Line> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        if (lines[i].text.find('\0') != std::string_view::npos)
            return where + "holds a NUL byte";
        // The server reads no empty last field, so it would pass such a line over.
        if (!lines[i].text.empty() && lines[i].text.back() == '\t')
            return where + "ends with a TAB (an empty last field is not read)";
        const std::vector<std::string> fields = SplitFields(lines[i].text, '\t', '\0');
        if (fields.size() != fieldCount)
            return where + std::to_string(fields.size()) + " fields, expected " + std::to_string(fieldCount) +
                   " separated by TAB";
        std::vector<std::uint32_t> numbers;
        for (const std::size_t f : numberFields) {
            const auto number = StrictNumber(fields[f]);
            if (!number)
                return where + "field " + std::to_string(f + 1) + " is not a number";
            numbers.push_back(*number);
        }
        record(fields, numbers);
    }
    return std::nullopt;
}

} // namespace

std::vector<ChannelCheck> CheckChannels(const BonAliasList& rows, const BonAliasList& scanned)
{
    std::vector<ChannelCheck> results;
    for (const BON_ALIAS& row : rows) {
        ChannelCheck check;
        const auto at = std::find_if(scanned.begin(), scanned.end(),
                                     [&](const BON_ALIAS& s) { return SameNumbers(s, row); });
        if (at != scanned.end() && at->srv.name == row.srv.name) {
            check.state = ChannelState::Unchanged;
            check.found.push_back(*at);
            results.push_back(std::move(check));
            continue;
        }
        BonAliasList named, sameBonDriver;
        for (const BON_ALIAS& s : scanned) {
            if (s.srv.name == row.srv.name) {
                named.push_back(s);
                if (s.bn.name == row.bn.name)
                    sameBonDriver.push_back(s);
            }
        }
        if (named.size() > 1 && sameBonDriver.size() == 1)
            named = sameBonDriver;
        if (!named.empty()) {
            check.state = ChannelState::Moved;
            check.found = std::move(named);
        } else if (at != scanned.end()) {
            check.state = ChannelState::Renamed;
            check.found.push_back(*at);
        }
        results.push_back(std::move(check));
    }
    return results;
}

std::optional<std::string> ReadChSetStrictly(std::string_view text, NamedNumberList& channels)
{
    channels.clear();
    return ReadStrictly(text, 4, {2}, [&](const std::vector<std::string>& fields, const std::vector<std::uint32_t>& n) {
        channels.push_back({fields[0], n[0]});
    });
}

std::optional<std::string> ReadChAliasStrictly(std::string_view text, BonAliasList& rows)
{
    rows.clear();
    return ReadStrictly(text, 8, {1, 3, 5, 7},
                        [&](const std::vector<std::string>& fields, const std::vector<std::uint32_t>& n) {
                            BON_ALIAS row;
                            row.index = static_cast<std::int32_t>(rows.size());
                            row.srv = {fields[0], n[0]};
                            row.bn = {fields[2], n[1]};
                            row.spc = {fields[4], n[2]};
                            row.ch = {fields[6], n[3]};
                            rows.push_back(std::move(row));
                        });
}

std::string ReplaceChAliasRows(std::string_view text, const BonAliasList& rows)
{
    const std::vector<Line> lines = SplitLines(text);
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const BON_ALIAS& r) { return r.index == static_cast<std::int32_t>(i); });
        if (row == rows.end()) {
            out += lines[i].text;
        } else {
            std::string formatted = FormatChAliasText({*row});
            formatted.resize(formatted.size() - 2); // its CR LF; the line keeps its own end
            out += formatted;
        }
        out += lines[i].end;
    }
    return out;
}
