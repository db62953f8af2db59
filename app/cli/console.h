#pragma once
// What the command line needs of its console, per platform.
#include <string>
#include <vector>

namespace console {

// Texts reach the terminal as UTF-8.
void Setup();
// The command's arguments after the program's name, as UTF-8, which is how
// every path goes to the file calls.
std::vector<std::string> Arguments(int argc, char** argv);
// Ctrl+C, SIGINT, SIGTERM and, on Windows, the console closing, ask the
// program to stop instead of killing it.
void InstallStopHandler();
bool StopRequested();
// Tells a waiting console-close handler that the program has stopped.
void AcknowledgeStopped();
// Whether stderr is a terminal (not a pipe, a file or the journal).
bool ErrorsGoToTerminal();
// A file path as the platform's file calls take it (UTF-8), shown as UTF-8.
std::string PathForDisplay(const std::string& path);

} // namespace console
