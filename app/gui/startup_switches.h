#pragma once
// The command-line switches of the window program.
#include <string>
#include <vector>

struct StartupSwitches {
    bool minimize = false;     // "/min": start in the tray
    bool startServer = false;  // "/start": press the server button at once
};

// Every argument after the program's path, compared with "/min" and
// "/start" without regard to letter case; anything else is ignored.
StartupSwitches ParseStartupSwitches(const std::vector<std::wstring>& arguments);

// A press of the left button on the tray icon restores the window, and the
// release of the right one opens its menu; no other mouse event on it does
// anything.
bool RestoresFromTray(unsigned mouseMessage);
bool OpensTrayMenu(unsigned mouseMessage);
