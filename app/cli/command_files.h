#pragma once
// Where the commands find the settings file and the channel files, and how
// they tell of one they cannot use: the system's own text first, then the
// path and the system's reason.
#include <optional>
#include <string>

#include "channel/channel_files.h"
#include "common/settings.h"

class Options;

// The settings of --ini FILE, or of the default file when --ini is not given.
// A named file that cannot be read is the caller's mistake: it is told on
// stderr and nothing is returned. A default file that is not there gives the
// defaults, as the window does.
std::optional<Settings> LoadSettingsOption(const Options& options);

// The folder of --channels DIR, or the default one, with its separator.
std::string ChannelDirOption(const Options& options);

// "ファイル %s は開けません (reason)" and the like, for the terminal.
std::string FileErrorText(const FileError& error);
