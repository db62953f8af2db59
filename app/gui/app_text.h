#pragma once
// The texts the program derives rather than states: its title, and the text
// of its standard error box.
#include <string>
#include <string_view>

// The executable's file name without its folder, cut at its first ".", with
// every character after the first in lower case. It names the taskbar button
// and captions the error boxes.
std::wstring ApplicationTitle(std::wstring_view exePath);

// An error's text as the standard error box shows it: with "." added unless
// the text is empty or already ends in "." or in a character with a lower code.
std::wstring ErrorBoxText(std::wstring_view text);

// "%s に書き込めません" (cannot write to the settings file).
std::wstring SettingsWriteErrorBoxText(std::wstring_view iniPath);

// The file-error templates with the path put in for "%s".
std::wstring FillPath(std::wstring_view messageTemplate, std::wstring_view path);
