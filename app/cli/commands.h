#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "channel/channel_files.h"

// Each subcommand takes the arguments after its name and returns the exit status.
int ServeCommand(const std::vector<std::string>& args);
int ScanCommand(const std::vector<std::string>& args);
int MakeChannelsCommand(const std::vector<std::string>& args);
int CheckChannelsCommand(const std::vector<std::string>& args);

// Prints a UTF-8 text and a line end on stderr.
void PrintError(const std::string& text);

// "リモコン接続に失敗しました。" with the address and port it was for and the
// system's reason, from the calling thread's last failed connect.
std::string RemoconFailureText(const std::string& host, std::int32_t port);
// Why the viewer cannot take a display name as one channel.
std::string DisplayNameFaultText(DisplayNameFault fault);
