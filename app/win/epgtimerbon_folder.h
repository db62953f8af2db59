#pragma once
// Documents\EpgTimerBon, the folder where TVTest reads the virtual tuner's
// channel list, for the channel setup dialog's copy of the ChSet file.
#include <string>

// The folder as the user sees it, with its trailing separator; empty when
// the system names no documents folder.
std::wstring EpgTimerBonFolder();

