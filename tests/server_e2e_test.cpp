// The patch server as users run it: "vernwick-cli serve" between viewers and
// the stand-in EpgDataCap_Bon, all real processes on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <chrono>
#include <thread>

#include "net/socket.h"
#include "process/child_process.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "support/alias_rows.h"
#include "support/cli_server.h"
#include "support/free_port.h"
#include "support/port_file.h"
#include "support/standin.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

using namespace std::chrono_literals;
using Requests = std::vector<std::string>;

void Configure(CliServer& server, std::uint16_t remoconPort)
{
    server.settings.RemoconPort = std::to_string(remoconPort);
    // "ＢＳ日テレ" in code page 932 among plain names.
    server.channels = {{"Sogo2", 0}, {"\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C", 1}, {"Sogo1", 2}, {"Shop", 3}};
    server.aliases = {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024),
                      AliasRow(3, 2, 4, 1, 55)};
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

} // namespace

TEST(PatchServer, VirtualTunerAnswersByteExactAndForwardsTheRest)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    Configure(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();

    ViewerClient viewer, other, direct;
    ASSERT_TRUE(viewer.Connect(server.Port()));
    ASSERT_TRUE(other.Connect(server.Port()));
    EXPECT_EQ(viewer.Ask("GetBonList"), "0\t0\t0\tTVTest");
    EXPECT_EQ(viewer.Ask("GetSpaceList"), "0\t0\t0\t\x8D\xAC\x8D\xDD\x83\x66\x83\x57\x83\x5E\x83\x8B");
    // The stand-in starts on service 1024, which is virtual channel 2.
    const std::string chList = "0\t2\t0\tSogo2\t1\t\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C\t2\tSogo1\t3\tShop";
    EXPECT_EQ(viewer.Ask("GetChList"), chList);
    EXPECT_EQ(viewer.Ask("GetServiceList2"), chList);
    EXPECT_EQ(viewer.Ask("SetBon:0"), "0");
    EXPECT_EQ(viewer.Ask("SetSpace:1"), "2");
    EXPECT_EQ(viewer.Ask("SetCh:4"), "2");
    EXPECT_EQ(viewer.Ask("SetCh:-1"), "2");
    const std::size_t before = standin.Requests().size();
    EXPECT_EQ(viewer.Ask("SetCh:1\r\n"), "0");
    const Requests all = standin.Requests();
    EXPECT_EQ(Requests(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
              (Requests{"GetBonList", "SetBon:2", "GetSpaceList", "GetChList", "SetCh:5", "GetServiceList"}));
    EXPECT_EQ(other.Ask("GetChList"), "0\t1" + chList.substr(3));

    // Forwarded commands come back exactly as EpgDataCap_Bon gave them.
    ASSERT_TRUE(direct.Connect(standin.Port()));
    for (const char* request : {"GetServiceList", "SetService:141", "SetService:999", "GetNowPgInfo", "GetNextPgInfo"}) {
        const auto relayed = viewer.Ask(request);
        ASSERT_TRUE(relayed) << request;
        EXPECT_EQ(relayed, direct.Ask(request)) << request;
    }
    EXPECT_EQ(viewer.Ask("SetService:999"), "1");

    // A request the server does not know ends that viewer's connection only.
    EXPECT_FALSE(viewer.Ask("Hello"));
    EXPECT_TRUE(viewer.ClosedByServer(2000));
    EXPECT_EQ(other.Ask("GetBonList"), "0\t0\t0\tTVTest");
    EXPECT_FALSE(other.Ask("GetChList\r\n"));
    EXPECT_TRUE(other.ClosedByServer(2000));
    EXPECT_TRUE(server.Running());
}

TEST(PatchServer, ViewersShareOneUpstreamAndTheLastOneReselectsAndDropsIt)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    Configure(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();

    ViewerClient first, second, direct;
    ASSERT_TRUE(first.Connect(server.Port()));
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(first.Ask("SetCh:3"), "0");
    EXPECT_EQ(second.Ask("GetServiceList").value_or("").substr(0, 5), "0\t55\t");
    EXPECT_EQ(Count(standin.LogLines(), "#open"), 1u);

    first.Disconnect();
    ASSERT_TRUE(server.WaitForOutput("viewer disconnected, viewers now 1", 5000)) << server.Output();

    // Someone else moves EpgDataCap_Bon away; the last viewer's leave puts
    // back the channel that viewer chose, then closes the link.
    ASSERT_TRUE(direct.Connect(standin.Port()));
    EXPECT_EQ(direct.Ask("SetBon:0"), "0");
    direct.Disconnect();
    const std::size_t before = standin.Requests().size();
    second.Disconnect();
    ASSERT_TRUE(server.WaitForOutput("last viewer gone, connection to EpgDataCap_Bon closed", 5000)) << server.Output();
    ASSERT_TRUE(WaitFor([&] { return Count(standin.LogLines(), "#close") == 2; }, 5000));
    const Requests all = standin.Requests();
    EXPECT_EQ(Requests(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
              (Requests{"GetBonList", "SetBon:2", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}));

    const std::string out = server.Output();
    EXPECT_NE(out.find("connected to EpgDataCap_Bon, current channel 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("viewer connected, viewers now 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("viewer disconnected, viewers now 0\n"), std::string::npos) << out;
}

TEST(PatchServer, UpstreamFailuresAreBoundedAndTheLinkIsReplaced)
{
    {
        // Unreachable: the accepted connection is closed at once.
        CliServer server;
        Configure(server, FreePort());
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_TRUE(viewer.ClosedByServer(5000));
        EXPECT_TRUE(server.WaitForOutput("viewer refused", 5000));
        EXPECT_TRUE(server.Running());
    }
    {
        // An upstream that never answers fails the exchange after the reply
        // time-out; the next viewer gets a fresh link.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--silent-on", "SetService"}));
        CliServer server;
        Configure(server, standin.Port());
        ASSERT_TRUE(server.Start({"--reply-timeout", "300"})) << server.Errors();
        ViewerClient first, second;
        ASSERT_TRUE(first.Connect(server.Port()));
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(first.Ask("SetService:1025", 5000), "-1");
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
        // The late reply would put the link out of step, so the next
        // request goes over a new one.
        EXPECT_EQ(first.Ask("GetServiceList").value_or("").substr(0, 2), "0\t");
        EXPECT_TRUE(server.WaitForOutput("connection to EpgDataCap_Bon lost", 5000)) << server.Output();
        EXPECT_TRUE(server.WaitForOutput("reconnected to EpgDataCap_Bon", 5000)) << server.Output();
        ASSERT_TRUE(second.Connect(server.Port()));
        EXPECT_EQ(second.Ask("GetChList").value_or("").substr(0, 2), "0\t");
        EXPECT_EQ(Count(standin.LogLines(), "#open"), 2u);
    }
    {
        // EpgDataCap_Bon closes the link: a failed text exchange has no
        // reply to give and ends that viewer's session; the other viewer's
        // session notices the dead link and gets a new one.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--close-on", "GetNowPgInfo"}));
        CliServer server;
        Configure(server, standin.Port());
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient first, second;
        ASSERT_TRUE(first.Connect(server.Port()));
        ASSERT_TRUE(second.Connect(server.Port()));
        EXPECT_FALSE(first.Ask("GetNowPgInfo"));
        EXPECT_TRUE(first.ClosedByServer(2000));
        EXPECT_TRUE(server.WaitForOutput("connection to EpgDataCap_Bon lost", 5000)) << server.Output();
        EXPECT_TRUE(server.WaitForOutput("reconnected to EpgDataCap_Bon", 5000)) << server.Output();
        EXPECT_EQ(second.Ask("SetService:1025"), "0");
        EXPECT_EQ(Count(standin.LogLines(), "#open"), 2u);
    }
}

TEST(PatchServer, StartFailuresAreReportedWithTheirTexts)
{
    {
        const socket_t taken = CreateListenSocket(0, 1);
        CliServer server;
        Configure(server, FreePort());
        server.settings.ServerPort = std::to_string(LocalPort(taken));
        ASSERT_TRUE(server.Start({}, false));
        const auto status = server.WaitForExit(10000);
        CloseSocket(taken);
        ASSERT_TRUE(status);
        EXPECT_NE(*status, 0);
        EXPECT_NE(server.Errors().find("パッチサーバーを開始できません。"), std::string::npos) << server.Errors();
    }
    {
        CliServer server;
        Configure(server, FreePort());
        ASSERT_TRUE(server.Start({}, false, false));
        const auto status = server.WaitForExit(10000);
        ASSERT_TRUE(status);
        EXPECT_NE(*status, 0);
        EXPECT_NE(server.Errors().find("BonDriver_TVTest(TVTest).ChSet.txt は開けません"), std::string::npos)
            << server.Errors();
    }
}

TEST(PatchServer, StopsInOrderWithViewersConnected)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    Configure(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();
    ViewerClient first, second;
    ASSERT_TRUE(first.Connect(server.Port()));
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(first.Ask("GetBonList"), "0\t0\t0\tTVTest");
    if (!server.RequestStop())
        GTEST_SKIP() << "this platform cannot ask the server to stop";
    EXPECT_EQ(server.WaitForExit(15000), 0) << server.Errors();
    EXPECT_TRUE(first.ClosedByServer(2000));
    EXPECT_TRUE(second.ClosedByServer(2000));
}

TEST(PatchServer, ManyConnectionCyclesLeaveNothingBehind)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    Configure(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();
#ifdef __linux__
    const std::string proc = "/proc/" + std::to_string(server.Id());
    const auto countTasks = [&] {
        std::size_t tasks = 0;
        for (const auto& e : std::filesystem::directory_iterator(proc + "/task"))
            tasks += e.is_directory() ? 1 : 0;
        return tasks;
    };
    const std::size_t idleTasks = countTasks();
#endif
    for (int cycle = 0; cycle < 40; ++cycle) {
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        ASSERT_EQ(viewer.Ask("SetCh:" + std::to_string(cycle % 4)), "0") << cycle;
    }
    // Every session ended, and every link was dropped with its last viewer.
    EXPECT_TRUE(WaitFor([&] {
        const std::string out = server.Output();
        std::size_t ended = 0;
        for (std::size_t at = out.find("viewer disconnected"); at != std::string::npos;
             at = out.find("viewer disconnected", at + 1))
            ++ended;
        return ended == 40 && out.rfind("viewers now 0\n") != std::string::npos;
    }, 10000)) << server.Output();
    EXPECT_TRUE(WaitFor([&] {
        const auto lines = standin.LogLines();
        return Count(lines, "#open") >= 1 && Count(lines, "#open") == Count(lines, "#close");
    }, 10000));
#ifdef __linux__
    // No session thread is left, and no socket but the listener.
    EXPECT_TRUE(WaitFor([&] {
        std::size_t sockets = 0;
        for (const auto& e : std::filesystem::directory_iterator(proc + "/fd"))
            sockets += std::filesystem::read_symlink(e.path()).string().rfind("socket:", 0) == 0 ? 1 : 0;
        return countTasks() == idleTasks && sockets == 1;
    }, 5000));
#endif
}

namespace {

// A copy of the stand-in under a file name of its own, used as the
// EpgDataCap_Bon executable, so that the by-name search cannot see the
// stand-ins of tests running beside this one.
class LaunchableStandIn {
public:
    LaunchableStandIn() : FPort(FreePort())
    {
        const std::string name = "EpgStub-" + FDir.Path().filename().string() +
#ifdef _WIN32
                                 ".exe";
#else
                                 "";
#endif
        FExe = FDir.File(name);
        std::filesystem::copy_file(ToolPath("vernwick-standin"), FExe);
    }
    ~LaunchableStandIn()
    {
        if (FOwn.Running())
            FOwn.Terminate();
        if (RunningByName())
            EndLetGoCopy();
    }

    // Pushes a launched copy, which is not this process's child, to its end:
    // it was started to exit after LaunchedRequestLimit requests.
    bool EndLetGoCopy()
    {
        ViewerClient direct;
        if (!direct.Connect(FPort))
            return false;
        for (int i = 0; i < LaunchedRequestLimit && direct.Ask("GetBonList", 1000); ++i) {
        }
        return EndsWithin(5000);
    }

    void Configure(CliServer& server, const std::string& extraParams = "")
    {
        ::Configure(server, FPort);
        server.settings.EpgDataCapBonAutoLaunch = true;
        server.settings.EpgDataCapBonExePath = FExe;
        server.settings.EpgDataCapBonExeParam = "--port " + std::to_string(FPort) + " --exit-after " +
                                                std::to_string(LaunchedRequestLimit) + " --log " +
                                                QuoteArgument(FDir.File("requests.log")) + extraParams;
    }
    // Starts a copy as if the user had, before any viewer came.
    bool StartOwn()
    {
        if (!FOwn.Start(FExe, {"--port", std::to_string(FPort), "--port-file", FDir.File("own.port")}))
            return false;
        return WaitForPortFile(FDir.File("own.port"), FOwn, 10000).has_value();
    }
    ChildProcess& Own() { return FOwn; }
    bool RunningByName()
    {
        CEpgDataCapBonManager probe(FExe, "", "", nullptr);
        return probe.FindRunningProcess();
    }
    bool EndsWithin(int ms)
    {
        return WaitFor([this] { return !RunningByName(); }, ms);
    }
    std::vector<std::string> LogLines() const { return StandInLogLines(FDir.File("requests.log")); }
    std::uint16_t Port() const { return FPort; }

    static constexpr int LaunchedRequestLimit = 400;

private:
    TempDir FDir;
    std::uint16_t FPort;
    std::string FExe;
    ChildProcess FOwn;
};

} // namespace

TEST(PatchServer, LaunchesEpgDataCapBonOnceAndEndsItWithTheLastViewer)
{
#ifdef _WIN32
    // The wait for a launched program to finish starting up (input idle)
    // does not wait for a console program such as the stand-in, so the
    // server's connection attempts run before it listens.
    GTEST_SKIP() << "needs a windowed stand-in on Windows";
#endif
    LaunchableStandIn epg;
    CliServer server;
    epg.Configure(server);
    ASSERT_TRUE(server.Start()) << server.Errors();
    EXPECT_FALSE(epg.RunningByName());

    ViewerClient first, second;
    ASSERT_TRUE(first.Connect(server.Port()));
    EXPECT_EQ(first.Ask("GetBonList", 15000), "0\t0\t0\tTVTest");
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(second.Ask("SetCh:1"), "0");
    EXPECT_TRUE(epg.RunningByName());
    first.Disconnect();
    second.Disconnect();
    ASSERT_TRUE(server.WaitForOutput("EpgDataCap_Bon ended", 15000)) << server.Output();
    EXPECT_TRUE(epg.EndsWithin(5000));
    const std::string out = server.Output();
    std::size_t launches = 0;
    for (std::size_t at = out.find("EpgDataCap_Bon launched"); at != std::string::npos;
         at = out.find("EpgDataCap_Bon launched", at + 1))
        ++launches;
    EXPECT_EQ(launches, 1u) << out;
    // One link, which carried the viewer's selection.
    const auto lines = epg.LogLines();
    EXPECT_EQ(Count(lines, "#open"), 1u);
    EXPECT_EQ(Count(lines, "SetCh:5"), 1u);

    // The next viewer starts it again.
    ViewerClient third;
    ASSERT_TRUE(third.Connect(server.Port()));
    EXPECT_EQ(third.Ask("GetBonList", 15000), "0\t0\t0\tTVTest");
    third.Disconnect();
    ASSERT_TRUE(WaitFor([&] { return server.Output().find("launched") != server.Output().rfind("launched"); }, 5000));
    EXPECT_TRUE(server.WaitForOutput("EpgDataCap_Bon ended", 15000));
    EXPECT_TRUE(epg.EndsWithin(15000));
}

TEST(PatchServer, LetsGoOfEpgDataCapBonWhenTheReselectionFailsAndLeavesAnotherCopyAlone)
{
#ifdef _WIN32
    // The wait for a launched program to finish starting up (input idle)
    // does not wait for a console program such as the stand-in, so the
    // server's connection attempts run before it listens.
    GTEST_SKIP() << "needs a windowed stand-in on Windows";
#endif
    {
        // Every selection fails, so the last viewer's re-selection does too.
        LaunchableStandIn epg;
        CliServer server;
        epg.Configure(server, " --set-status 1");
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_EQ(viewer.Ask("SetCh:0", 15000), "1");
        viewer.Disconnect();
        ASSERT_TRUE(server.WaitForOutput("EpgDataCap_Bon left running", 15000)) << server.Output();
        EXPECT_TRUE(epg.RunningByName());
        EXPECT_TRUE(server.RequestStop() ? server.WaitForExit(15000) == 0 : true);
        EXPECT_TRUE(epg.RunningByName());
        EXPECT_TRUE(epg.EndLetGoCopy());
    }
    {
        // A copy the user started is used and never ended.
        LaunchableStandIn epg;
        ASSERT_TRUE(epg.StartOwn());
        CliServer server;
        epg.Configure(server);
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_EQ(viewer.Ask("SetCh:3"), "0");
        viewer.Disconnect();
        ASSERT_TRUE(server.WaitForOutput("last viewer gone", 5000)) << server.Output();
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(epg.Own().Running());
        EXPECT_EQ(server.Output().find("EpgDataCap_Bon launched"), std::string::npos) << server.Output();
        EXPECT_EQ(server.Output().find("EpgDataCap_Bon ended"), std::string::npos) << server.Output();
    }
    {
        // Launched, but it never listens where the server looks: the viewer is
        // refused after the attempts, and the copy is ended at shutdown.
        LaunchableStandIn epg;
        CliServer server;
        epg.Configure(server, " --port 0");
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_TRUE(viewer.ClosedByServer(15000));
        ASSERT_TRUE(server.WaitForOutput("viewer refused", 15000)) << server.Output();
        EXPECT_TRUE(epg.RunningByName());
        if (server.RequestStop()) {
            EXPECT_EQ(server.WaitForExit(20000), 0) << server.Errors();
            EXPECT_TRUE(server.WaitForOutput("EpgDataCap_Bon ended", 1000)) << server.Output();
            EXPECT_TRUE(epg.EndsWithin(5000));
        }
    }
}
