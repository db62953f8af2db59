#pragma once
// Runs one of the project's programs to its end and keeps what it printed.
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

struct ToolRun {
    std::optional<int> status; // nothing when it could not start or did not end within 30 s
    std::string out, err;      // line ends as LF
};

// Its output files go into dir.
ToolRun RunTool(const TempDir& dir, const std::string& name, const std::vector<std::string>& args);

// A file a program's console stream went to, with CR LF (Windows) as LF.
std::string ReadConsoleFile(const std::string& path);

// The text's lines, each without its CR LF or LF.
std::vector<std::string> Lines(const std::string& text);
