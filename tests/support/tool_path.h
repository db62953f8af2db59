#pragma once
#include <string>

// Full path of one of the project's programs, which the build puts beside
// the test programs.
std::string ToolPath(const std::string& name);
