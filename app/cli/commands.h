#pragma once
#include <string>
#include <vector>

// Each subcommand takes the arguments after its name and returns the exit status.
int ServeCommand(const std::vector<std::string>& args);
int ScanCommand(const std::vector<std::string>& args);
int MakeChannelsCommand(const std::vector<std::string>& args);
int CheckChannelsCommand(const std::vector<std::string>& args);

// Prints a UTF-8 text and a line end on stderr.
void PrintError(const std::string& text);
