// The patch server starting and ending EpgDataCap_Bon: "vernwick-cli serve"
// with auto-launch on, launching a uniquely named copy of the stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "process/command_line.h"
#include "support/cli_server.h"
#include "support/server_fixture.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

std::size_t Launches(const CliServer& server)
{
    return CountText(server.Output(), "EpgDataCap_Bon launched");
}

std::size_t Ends(const CliServer& server)
{
    return CountText(server.Output(), "EpgDataCap_Bon ended");
}

} // namespace

TEST(PatchServerLaunch, LeavesACopyTheUserStartedAloneAndEndsOneThatNeverListensAtShutdown)
{
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
        // Nor at the server's end.
        if (server.RequestStop())
            EXPECT_EQ(server.WaitForExit(15000), 0);
        EXPECT_TRUE(epg.Own().Running());
        EXPECT_EQ(Launches(server), 0u) << server.Output();
        EXPECT_EQ(Ends(server), 0u) << server.Output();
    }
    {
        // Launched, but it never listens where the server looks: the viewer is
        // refused once the wait for its port is over, and the copy is ended at
        // shutdown.
        LaunchableStandIn epg;
        CliServer server;
        epg.Configure(server, " --port 0");
#ifndef _WIN32
        // Run by a wrapper script that stays as its parent (no exec), so that
        // no process has the configured file name: the copy held is still the
        // one running, and ending it ends the program too.
        const std::string script = epg.File("epg-wrapper.sh");
        std::ofstream(script) << "#!/bin/sh\n'" << epg.Exe() << "' \"$@\"\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        server.settings.EpgDataCapBonExePath = script;
#endif
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

TEST(PatchServerLaunch, WaitsForThePortOfACopySlowerToListenThanToStart)
{
    // Started by a launcher that exits at once, leaving it running.
    LaunchableStandIn epg;
    CliServer server;
    epg.Configure(server, " --listen-delay 1500");
    const std::string launcher = epg.File("launch-" + std::filesystem::path(epg.Exe()).filename().string());
    std::filesystem::copy_file(ToolPath("vernwick-sleeper"), launcher);
    server.settings.EpgDataCapBonExeParam =
        "--exit-after-ms 0 --spawn " + QuoteArgument(epg.Exe()) + " " + server.settings.EpgDataCapBonExeParam;
    server.settings.EpgDataCapBonExePath = launcher;
    ASSERT_TRUE(server.Start()) << server.Errors();
    ViewerClient viewer;
    ASSERT_TRUE(viewer.Connect(server.Port()));
    EXPECT_EQ(viewer.Ask("GetServiceList", 15000).value_or("").substr(0, 7), "0\t1024\t");
}

TEST(PatchServerLaunch, ANewcomerAsTheLastViewerLeavesIsServed)
{
    // The leaving viewer's close must not end the copy that the newcomer's
    // link reaches, nor one launched for the newcomer. The newcomer comes in
    // before the leave (and shares the copy), after the close (and starts a
    // copy again), or at the leave, where either may come first.
    LaunchableStandIn epg;
    CliServer server;
    epg.Configure(server);
    ASSERT_TRUE(server.Start()) << server.Errors();
    EXPECT_FALSE(epg.RunningByName());  // launched for the first viewer only
    auto current = std::make_unique<ViewerClient>();
    ASSERT_TRUE(current->Connect(server.Port()));
    ASSERT_EQ(current->Ask("GetBonList", 15000), "0\t0\t0\tTVTest");
    enum Order { Before, AfterTheClose, AtTheLeave };
    for (int cycle = 0; cycle < 12; ++cycle) {
        const Order order = cycle % 4 < 2 ? Order(cycle % 4) : AtTheLeave;
        const std::size_t launched = Launches(server);
        auto next = std::make_unique<ViewerClient>();
        if (order == Before) {
            const std::size_t both = CountText(server.Output(), "viewers now 2");
            ASSERT_TRUE(next->Connect(server.Port()));
            ASSERT_TRUE(WaitFor([&] { return CountText(server.Output(), "viewers now 2") > both; }, 10000)) << cycle;
        }
        std::thread leave([&] { current->Disconnect(); });
        if (order == AfterTheClose) {
            leave.join();
            ASSERT_TRUE(WaitFor([&] { return Ends(server) == launched; }, 15000)) << cycle << server.Output();
        }
        if (order == AtTheLeave)
            std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 3 * 3));
        if (order != Before)
            ASSERT_TRUE(next->Connect(server.Port()));
        if (leave.joinable())
            leave.join();
        EXPECT_EQ(next->Ask("GetServiceList", 15000).value_or("").substr(0, 2), "0\t") << cycle << server.Output();
        EXPECT_EQ(Launches(server), Ends(server) + 1) << cycle << server.Output();
        if (order != AtTheLeave)
            EXPECT_EQ(Launches(server), launched + (order == AfterTheClose ? 1 : 0)) << cycle << server.Output();
        current = std::move(next);
    }
    current->Disconnect();
    ASSERT_TRUE(WaitFor([&] { return Ends(server) == Launches(server); }, 15000)) << server.Output();
    EXPECT_TRUE(epg.EndsWithin(5000));
}

TEST(PatchServerLaunch, ViewersLeavingTogetherStillReselectAndLetGoOfAHandSwitchedCopy)
{
    // MultiTuner off: after EpgDataCap_Bon was switched by hand to another
    // BonDriver, the re-selection answers 2 and the copy must be left running.
    // The sessions leave together.
    LaunchableStandIn epg;
    CliServer server;
    epg.Configure(server);
    server.settings.MultiTuner = false;
    ASSERT_TRUE(server.Start()) << server.Errors();
    for (int cycle = 0; cycle < 6; ++cycle) {
        ViewerClient viewers[4], byHand;
        for (ViewerClient& viewer : viewers) {
            ASSERT_TRUE(viewer.Connect(server.Port()));
            ASSERT_EQ(viewer.Ask("SetCh:0", 15000), "0") << cycle;
        }
        ASSERT_TRUE(byHand.Connect(epg.Port()));
        ASSERT_EQ(byHand.Ask("SetBon:2"), "0");
        byHand.Disconnect();
        for (ViewerClient& viewer : viewers)
            viewer.Disconnect();
        ASSERT_TRUE(WaitFor([&] { return CountText(server.Output(), "left running") == std::size_t(cycle) + 1; },
                            10000))
            << cycle << server.Output();
        EXPECT_EQ(Ends(server), 0u) << server.Output();
        if (cycle == 5 && server.RequestStop()) {
            // Nor does the server's end touch it.
            EXPECT_EQ(server.WaitForExit(15000), 0) << server.Errors();
            EXPECT_TRUE(epg.RunningByName());
        }
        ASSERT_TRUE(epg.EndLetGoCopy());
    }
}
