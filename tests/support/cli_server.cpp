#include "support/cli_server.h"

#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/ini_profile.h"
#include "support/run_tool.h"
#include "support/server_fixture.h"
#include "support/tool_path.h"

CliServer::CliServer()
{
    settings.ServerPort = "0";
}

CliServer::~CliServer()
{
    // A polite stop first, so that the server's own children end with it.
    if (FChild.Running() && FChild.RequestStop())
        FChild.Wait(15000);
    FChild.Terminate();
}

bool CliServer::Start(std::vector<std::string> extraArgs, bool waitListening, bool writeChannels)
{
    SaveSettings(FDir.File("Vernwick.ini"), settings);
    // Not keys the window saves.
    ProfileEntries fileOnly;
    if (settings.MaxViewers != Settings().MaxViewers)
        fileOnly.emplace_back("MaxViewers", std::to_string(settings.MaxViewers));
    if (settings.ChListReplyLimit != Settings().ChListReplyLimit)
        fileOnly.emplace_back("ChListReplyLimit", std::to_string(settings.ChListReplyLimit));
    if (settings.AllowedViewers)
        fileOnly.emplace_back("AllowedViewers", *settings.AllowedViewers);
    if (!fileOnly.empty())
        WriteProfileStrings(FDir.File("Vernwick.ini"), SettingsSection, fileOnly);
    if (writeChannels) {
        SaveChSetFile(ChSetFilePath(FDir.Folder()), channels);
        SaveChAliasFile(ChAliasFilePath(FDir.Folder()), aliases);
    }
    std::vector<std::string> args{"serve", "--verbose", "--ini", FDir.File("Vernwick.ini"), "--channels",
                                  FDir.Folder(), "--port-file", FDir.File("port")};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    FChild.SetOutputFiles(FDir.File("stdout.txt"), FDir.File("stderr.txt"));
    if (!FChild.Start(FProgram.empty() ? ToolPath("vernwick-cli") : FProgram, args))
        return false;
    if (!waitListening)
        return true;
    const auto port = WaitForPortFile(FDir.File("port"), FChild, 10000);
    FPort = port.value_or(0);
    return port.has_value();
}

std::string CliServer::Output() const
{
    return ReadConsoleFile(FDir.File("stdout.txt"));
}

std::string CliServer::Errors() const
{
    return ReadConsoleFile(FDir.File("stderr.txt"));
}

bool CliServer::WaitForOutput(const std::string& text, int timeoutMs) const
{
    return WaitFor([&] { return Output().find(text) != std::string::npos; }, timeoutMs);
}
