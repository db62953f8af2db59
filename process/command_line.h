#pragma once
// Command lines as Windows programs see them. EpgDataCap_Bon is started with
// one command-line text; where the system starts programs from an argument
// vector instead, that text is split by the same rules its runtime would use.
#include <string>
#include <string_view>
#include <vector>

// Splits a whole command line: the program name first (double quotes group,
// backslashes are plain characters there), then the arguments as
// SplitArguments does. Blanks before the program name are skipped; a text
// of blanks only gives no elements.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Splits arguments: blanks and tabs separate; double quotes group;
// 2n backslashes before a quote give n backslashes and the quote toggles
// grouping; 2n+1 backslashes before a quote give n backslashes and a
// literal quote; other backslashes are literal; "" inside a group gives a
// literal quote and the group goes on.
std::vector<std::string> SplitArguments(std::string_view text);

// One argument written so that SplitArguments gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

// The command line EpgDataCap_Bon is started with: the path in double quotes,
// one blank, then the parameters; the blank is there even without parameters.
std::string LaunchCommandLine(const std::string& path, const std::string& params);

// The argument vector of that command line, with the path itself as the
// first element (splitting could not give back a path holding a quote).
std::vector<std::string> LaunchArguments(const std::string& path, const std::string& params);

// The file-name part of a path: the text after its last "\" or ":" (and on
// systems with "/" folders, after "/" too).
std::string FileNamePart(std::string_view path);

// File names compared ignoring the letter case of ASCII letters.
bool SameFileNameIgnoringCase(std::string_view a, std::string_view b);
