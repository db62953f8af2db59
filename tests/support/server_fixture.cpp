#include "support/server_fixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/file_io.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/port_file.h"
#include "support/standin.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

void ConfigureChannels(CliServer& server, std::uint16_t remoconPort)
{
    server.settings.RemoconPort = std::to_string(remoconPort);
    // "ＢＳ日テレ" in code page 932 among plain names.
    server.channels = {{"Sogo2", 0}, {"\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C", 1}, {"Sogo1", 2}, {"Shop", 3}};
    server.aliases = {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024),
                      AliasRow(3, 2, 4, 1, 55)};
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::size_t CountLines(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::size_t CountText(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

LaunchableStandIn::LaunchableStandIn() : FPort(FreePort())
{
    const std::filesystem::path tool = ToolPath("vernwick-standin");
    FExe = FDir.File("EpgStub-" + FDir.Path().filename().string() + tool.extension().string());
    std::filesystem::copy_file(tool, FExe);
}

LaunchableStandIn::~LaunchableStandIn()
{
    if (FOwn.Running())
        FOwn.Terminate();
    if (RunningByName())
        EndLetGoCopy();
}

bool LaunchableStandIn::EndLetGoCopy()
{
    // The port it listens on, which its parameters may have moved.
    std::uint16_t port = FPort;
    if (const auto text = ReadWholeFile(FDir.File("launched.port")))
        port = static_cast<std::uint16_t>(std::stoi(*text));
    ViewerClient direct;
    if (direct.Connect(port))
        direct.Ask("GetNextPgInfo", 1000);
    return EndsWithin(5000);
}

void LaunchableStandIn::Configure(CliServer& server, const std::string& extraParams)
{
    ConfigureChannels(server, FPort);
    server.settings.EpgDataCapBonAutoLaunch = true;
    server.settings.EpgDataCapBonExePath = FExe;
    server.settings.EpgDataCapBonExeParam = "--port " + std::to_string(FPort) + " --exit-on GetNextPgInfo --log " +
                                            QuoteArgument(FDir.File("requests.log")) + " --port-file " +
                                            QuoteArgument(FDir.File("launched.port")) + extraParams;
}

bool LaunchableStandIn::StartOwn()
{
    if (!FOwn.Start(FExe, {"--port", std::to_string(FPort), "--port-file", FDir.File("own.port")}))
        return false;
    return WaitForPortFile(FDir.File("own.port"), FOwn, 10000).has_value();
}

bool LaunchableStandIn::RunningByName()
{
    CEpgDataCapBonManager probe(FExe, "", "", nullptr);
    return probe.FindRunningProcess();
}

bool LaunchableStandIn::EndsWithin(int ms)
{
    return WaitFor([this] { return !RunningByName(); }, ms);
}

std::vector<std::string> LaunchableStandIn::LogLines() const
{
    return StandInLogLines(FDir.File("requests.log"));
}
