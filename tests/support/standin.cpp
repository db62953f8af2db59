#include "support/standin.h"

#include <algorithm>

#include "common/file_io.h"
#include "support/port_file.h"
#include "support/run_tool.h"
#include "support/tool_path.h"

StandIn::~StandIn()
{
    Stop();
}

bool StandIn::Start(std::vector<std::string> extraArgs)
{
    if (FStarted)
        return false;
    const std::string portFile = FDir.File("port");
    std::vector<std::string> args{"--port", "0", "--port-file", portFile, "--log", FDir.File("requests.log")};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    if (!FChild.Start(ToolPath("vernwick-standin"), args))
        return false;
    FStarted = true;
    const auto port = WaitForPortFile(portFile, FChild, 10000);
    if (!port) {
        Stop();
        return false;
    }
    FPort = *port;
    return true;
}

std::vector<std::string> StandIn::LogLines() const
{
    return StandInLogLines(FDir.File("requests.log"));
}

std::vector<std::string> StandInLogLines(const std::string& logFile)
{
    // Only lines with their LF: one being written now is not complete yet.
    return Lines(ReadWholeFile(logFile).value_or(""));
}

std::vector<std::string> StandIn::Requests() const
{
    std::vector<std::string> requests;
    for (std::string& line : LogLines()) {
        if (line.empty() || line.front() != '#')
            requests.push_back(std::move(line));
    }
    return requests;
}

std::vector<std::string> StandIn::RequestsSince(std::size_t& seen) const
{
    std::vector<std::string> all = Requests();
    const std::size_t from = std::min(seen, all.size());
    seen = all.size();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

void StandIn::Stop()
{
    if (!FStarted)
        return;
    FChild.Terminate();
    FChild.Wait(10000);
    FStarted = false;
}
