// Case-insensitive names, blanks around names and values ignored, values
// replaced in place, missing keys added at the end of their section.
#include "common/ini_text.h"

#include <cstddef>
#include <vector>

#include "common/ascii_case.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

struct Line {
    std::string_view text; // without its line end
    std::size_t begin = 0; // offset of the line in the file
    std::size_t end = 0;   // offset just past its line end
};

std::vector<Line> SplitLines(std::string_view file)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < file.size()) {
        std::size_t eol = file.find('\n', pos);
        const std::size_t next = eol == std::string_view::npos ? file.size() : eol + 1;
        if (eol == std::string_view::npos)
            eol = file.size();
        std::size_t textEnd = eol;
        if (textEnd > pos && file[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back({file.substr(pos, textEnd - pos), pos, next});
        pos = next;
    }
    return lines;
}

// The section's name when the line is a section header.
bool SectionHeader(std::string_view line, std::string_view& name)
{
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    const auto close = line.find(']');
    name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value)
{
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

std::string CleanValue(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > ProfileValueLimit)
        value = value.substr(0, ProfileValueLimit);
    return std::string(value);
}

// What ends the text's last line when it has no LF: a last line ending in a
// lone CR needs only the LF, or its CR would stay behind as part of it (the
// value of a key there would gain a CR).
std::string_view EndOfLastLine(char last, std::string_view eol)
{
    return last == '\r' ? std::string_view("\n") : eol;
}

// Replaces or adds one key in the file's text.
void SetKey(std::string& file, std::string_view section, std::string_view key, std::string_view value,
            std::string_view eol)
{
    const std::vector<Line> lines = SplitLines(file);
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    std::size_t sectionEnd = std::string::npos; // where a new key goes
    for (const Line& line : lines) {
        std::string_view name, k, v;
        if (SectionHeader(line.text, name)) {
            if (inSection)
                break;
            inSection = EqualIgnoringAsciiCase(name, section);
            if (inSection)
                sectionEnd = line.end;
            continue;
        }
        if (!inSection)
            continue;
        if (KeyLine(line.text, k, v) && EqualIgnoringAsciiCase(k, key)) {
            file.replace(line.begin, line.text.size(), keyLine);
            return;
        }
        if (!Trim(line.text).empty())
            sectionEnd = line.end;
    }
    if (sectionEnd == std::string::npos) {
        if (!file.empty() && file.back() != '\n')
            file += EndOfLastLine(file.back(), eol);
        file.append("[").append(section).append("]").append(eol).append(keyLine).append(eol);
        return;
    }
    std::string insert = keyLine + std::string(eol);
    // The section's last line may be the file's last line without an end.
    if (sectionEnd > 0 && file[sectionEnd - 1] != '\n')
        insert = std::string(EndOfLastLine(file[sectionEnd - 1], eol)) + keyLine;
    file.insert(sectionEnd, insert);
}

} // namespace

std::string ReadProfileText(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view defaultValue)
{
    bool inSection = false;
    for (const Line& line : SplitLines(text)) {
        std::string_view name, k, v;
        if (SectionHeader(line.text, name)) {
            inSection = EqualIgnoringAsciiCase(name, section);
            continue;
        }
        if (inSection && KeyLine(line.text, k, v) && EqualIgnoringAsciiCase(k, key))
            return CleanValue(v);
    }
    return CleanValue(defaultValue);
}

std::string WriteProfileText(std::string text, std::string_view section, const ProfileEntries& entries,
                             std::string_view newTextLineEnd)
{
    const std::string_view eol = text.find("\r\n") != std::string::npos ? "\r\n"
                                 : text.find('\n') != std::string::npos  ? "\n"
                                                                         : newTextLineEnd;
    for (const auto& [key, value] : entries)
        SetKey(text, section, key, value, eol);
    return text;
}
