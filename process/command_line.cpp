#include "process/command_line.h"

#include "common/ascii_case.h"
#include "process/process_control.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> SplitArguments(std::string_view text)
{
    std::vector<std::string> result;
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i >= n)
            break;
        std::string argument;
        bool quoted = false;
        for (;;) {
            std::size_t backslashes = 0;
            while (i < n && text[i] == '\\') {
                ++i;
                ++backslashes;
            }
            bool copy = true;
            if (i < n && text[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (quoted && i + 1 < n && text[i + 1] == '"') {
                        ++i; // "" inside a group: a literal quote
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (i >= n || (!quoted && IsBlank(text[i])))
                break;
            if (copy)
                argument += text[i];
            ++i;
        }
        result.push_back(std::move(argument));
    }
    return result;
}

std::vector<std::string> SplitCommandLine(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size())
        return {};
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && IsBlank(c))
            break;
        else
            program += c;
    }
    std::vector<std::string> result{std::move(program)};
    for (std::string& argument : SplitArguments(line.substr(i)))
        result.push_back(std::move(argument));
    return result;
}

std::string QuoteArgument(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote must not escape it.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string LaunchCommandLine(const std::string& path, const std::string& params)
{
    return "\"" + path + "\" " + params;
}

std::vector<std::string> LaunchArguments(const std::string& path, const std::string& params)
{
    // For any path without a quote this equals SplitCommandLine of the
    // launch command line.
    std::vector<std::string> result{path};
    for (std::string& argument : SplitArguments(params))
        result.push_back(std::move(argument));
    return result;
}

std::string FileNamePart(std::string_view path)
{
    const std::size_t pos = path.find_last_of(ProcessPathSeparators);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

bool SameFileNameIgnoringCase(std::string_view a, std::string_view b)
{
    return EqualIgnoringAsciiCase(a, b);
}
