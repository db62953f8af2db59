#pragma once
// Documents\EpgTimerBon, the folder where TVTest reads the virtual tuner's
// channel list, for the channel setup dialog's copy of the ChSet file.
#include <optional>
#include <string>

// The folder as the user sees it, with its trailing separator; empty when
// the system names no documents folder.
std::wstring EpgTimerBonFolder();

// The folder as the narrow file functions take it (ANSI code page): the path
// itself when every character has a form there, else the same place through
// the documents folder's short name; nothing when neither works.
std::optional<std::string> AnsiEpgTimerBonFolder(const std::wstring& folder);
