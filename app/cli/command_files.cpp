#include "app/cli/command_files.h"

#include "app/cli/commands.h"
#include "app/cli/console.h"
#include "app/cli/default_paths.h"
#include "app/cli/options.h"
#include "common/failure_text.h"
#include "common/file_io.h"

std::optional<Settings> LoadSettingsOption(const Options& options)
{
    const std::optional<std::string> named = options.Value("--ini");
    const std::string path =
        named ? *named : (*ConfiguredSettingsPath ? std::string(ConfiguredSettingsPath) : DefaultSettingsPath());
    // A file read key by key would give the defaults for one that is not
    // there, and the person would never learn that the file was not used.
    if ((named || PathExists(path)) && !ReadWholeFile(path)) {
        PrintError(FileErrorText(FileError(FileOpenErrorText, path)));
        return std::nullopt;
    }
    return LoadSettings(path);
}

std::string ChannelDirOption(const Options& options)
{
    const std::string dir = options.Value("--channels").value_or(*ConfiguredChannelDir ? ConfiguredChannelDir
                                                                                       : ExecutableDir());
    return WithTrailingSeparator(dir);
}

std::string FileErrorText(const FileError& error)
{
    return WithReason(error.Text(console::PathForDisplay(error.Path())), "", error.Reason());
}
