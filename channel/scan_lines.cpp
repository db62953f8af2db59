#include "channel/scan_lines.h"

#include <cstdint>
#include <utility>

#include "common/integer_text.h"
#include "common/split_fields.h"
#include "common/terminal_text.h"

namespace {

std::string Number(const NamedNumber& n)
{
    return std::to_string(static_cast<std::int32_t>(n.number));
}

std::string LineFault(std::size_t lineNumber, const std::string& what)
{
    return "line " + std::to_string(lineNumber) + ": " + what;
}

} // namespace

std::string FormatScanLine(const BON_ALIAS& row)
{
    std::string name = Cp932ToTerminal(row.srv.name);
    if (!name.empty() && name.front() == '#')
        name.replace(0, 1, "\\x23");
    std::string displayName = name;
    if (!displayName.empty() && displayName.front() == ';')
        displayName.replace(0, 1, "；");
    std::string line = displayName + "\t" + name + "\t" + Number(row.srv);
    for (const NamedNumber* n : {&row.bn, &row.spc, &row.ch})
        line.append("\t").append(Cp932ToTerminal(n->name)).append("\t").append(Number(*n));
    return line;
}

std::optional<std::string> ParseScanLines(std::string_view text, std::vector<ScanLine>& lines)
{
    lines.clear();
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || (lineNumber == 1 && line.front() == '#'))
            continue;
        // Every field must be there, empty names included, so an empty last
        // field counts too.
        std::vector<std::string> fields = SplitFields(line, '\t', '\0');
        if (line.back() == '\t')
            fields.emplace_back();
        if (fields.size() != ScanFieldCount) {
            return LineFault(lineNumber, std::to_string(fields.size()) + " fields, expected " +
                                             std::to_string(ScanFieldCount) + " separated by TAB");
        }
        std::vector<std::string> bytes;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            auto converted = TerminalToCp932(fields[i]);
            if (!converted)
                return LineFault(lineNumber, "field " + std::to_string(i + 1) +
                                                 " holds a character that code page 932 cannot store");
            bytes.push_back(std::move(*converted));
        }
        std::uint32_t numbers[4] = {};
        for (std::size_t n = 0; n < 4; ++n) {
            const std::size_t field = 2 + 2 * n;
            const auto value = ReadIntegerText(fields[field]);
            if (!value)
                return LineFault(lineNumber, "field " + std::to_string(field + 1) + " is not a number");
            numbers[n] = static_cast<std::uint32_t>(*value);
        }
        ScanLine scanned;
        scanned.displayName = std::move(bytes[0]);
        scanned.row = BON_ALIAS{static_cast<std::int32_t>(lines.size()),
                                {std::move(bytes[3]), numbers[1]},
                                {std::move(bytes[5]), numbers[2]},
                                {std::move(bytes[7]), numbers[3]},
                                {std::move(bytes[1]), numbers[0]}};
        scanned.lineNumber = lineNumber;
        lines.push_back(std::move(scanned));
    }
    return std::nullopt;
}
