// The patch server as users run it: "vernwick-cli serve" between viewers and
// the stand-in EpgDataCap_Bon, all real processes on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/parse_int.h"
#include "net/socket.h"
#include "process/child_process.h"
#include "remocon/protocol.h"
#include "server/patcher.h"
#include "support/cli_server.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/tool_path.h"
#include "support/tvtest_viewer.h"
#include "support/viewer_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Requests = std::vector<std::string>;

} // namespace

TEST(PatchServer, VirtualTunerAnswersByteExactAndForwardsTheRest)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    ConfigureChannels(server, standin.Port());
#ifndef _WIN32
    server.settings.RemoconAddr = "";  // this machine, as on Windows
#endif
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
    std::size_t seen = standin.Requests().size();
    EXPECT_EQ(viewer.Ask("SetCh:1\r\n"), "0");
    EXPECT_EQ(standin.RequestsSince(seen),
              (Requests{"GetBonList", "SetBon:2", "GetSpaceList", "GetChList", "SetCh:5", "GetServiceList"}));
    EXPECT_EQ(other.Ask("GetChList"), "0\t1" + chList.substr(3));
    // SetService2 is SetCh by another name.
    EXPECT_EQ(other.Ask("SetService2:3"), "0");
    EXPECT_EQ(standin.RequestsSince(seen),
              (Requests{"GetBonList", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}));
    EXPECT_EQ(viewer.Ask("GetServiceList2"), "0\t3" + chList.substr(3));

    // Forwarded commands come back exactly as EpgDataCap_Bon gave them.
    ASSERT_TRUE(direct.Connect(standin.Port()));
    for (const char* request : {"GetServiceList", "SetService:55", "SetService:999", "GetNowPgInfo", "GetNextPgInfo"}) {
        const auto relayed = viewer.Ask(request);
        ASSERT_TRUE(relayed) << request;
        EXPECT_EQ(relayed, direct.Ask(request)) << request;
    }
    EXPECT_EQ(viewer.Ask("SetService:999"), "1");
    // A channel without services lists none, which fails the exchange: the
    // viewer gets the failure, status -1 and current 0.
    EXPECT_EQ(direct.Ask("SetBon:0"), "0");
    EXPECT_EQ(direct.Ask("SetCh:12"), "0");
    EXPECT_EQ(viewer.Ask("GetServiceList"), "-1\t0");

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
    ConfigureChannels(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();

    ViewerClient first, second, direct;
    ASSERT_TRUE(first.Connect(server.Port()));
    ASSERT_TRUE(second.Connect(server.Port()));
    EXPECT_EQ(first.Ask("SetCh:3"), "0");
    EXPECT_EQ(second.Ask("GetServiceList").value_or("").substr(0, 5), "0\t55\t");
    EXPECT_EQ(CountLines(standin.LogLines(), "#open"), 1u);

    first.Disconnect();
    ASSERT_TRUE(server.WaitForOutput("viewer disconnected, viewers now 1", 5000)) << server.Output();

    // Someone else moves EpgDataCap_Bon away; the last viewer's leave puts
    // back the channel that viewer chose, then closes the link.
    ASSERT_TRUE(direct.Connect(standin.Port()));
    EXPECT_EQ(direct.Ask("SetBon:0"), "0");
    direct.Disconnect();
    std::size_t seen = standin.Requests().size();
    second.Disconnect();
    ASSERT_TRUE(server.WaitForOutput("last viewer gone, connection to EpgDataCap_Bon closed", 5000)) << server.Output();
    ASSERT_TRUE(WaitFor([&] { return CountLines(standin.LogLines(), "#close") == 2; }, 5000));
    EXPECT_EQ(standin.RequestsSince(seen),
              (Requests{"GetBonList", "SetBon:2", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}));

    const std::string out = server.Output();
    EXPECT_NE(out.find("connected to EpgDataCap_Bon, which is on the list's channel 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("viewer connected, viewers now 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("viewer disconnected, viewers now 0\n"), std::string::npos) << out;
}

TEST(PatchServer, UpstreamFailuresAreBoundedAndTheLinkIsReplaced)
{
    {
        // Unreachable: the accepted connection is closed at once.
        CliServer server;
        const std::uint16_t nobody = FreePort();
        ConfigureChannels(server, nobody);
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_TRUE(viewer.ClosedByServer(5000));
        EXPECT_TRUE(server.WaitForOutput(
            "viewer refused: リモコン接続に失敗しました。 (127.0.0.1:" + std::to_string(nobody) + ": ", 5000))
            << server.Output();
        EXPECT_TRUE(server.Running());
    }
    // Replies that fail the exchange within the reply bound (1 s here) and
    // leave the link out of step, so that the next request goes over a new
    // one: none, one after an out-of-band byte (the wait is for readable
    // data only), one that never goes quiet, one that grows without end, and
    // one cut by a pause, whose rest must not answer the next request. The
    // never quiet one is the viewer's GetServiceList (the fifth request, after
    // the link's four of its own); on a busy machine it may be cut instead,
    // which fails it just as well.
    struct Fault {
        std::vector<std::string> args;
        const char* request;
        const char* reply; // what the viewer gets, or its start
    };
    const Fault faults[] = {
        {{"--silent-on", "SetService"}, "SetService:1025", "-1"},
        {{"--urgent-on", "SetService", "--delay", "SetService=4000"}, "SetService:1025", "-1"},
        {{"--trickle-on", "GetServiceList", "--fault-at", "5"}, "GetServiceList", "-1\t0"},
        {{"--flood-on", "GetNowPgInfo"}, "GetNowPgInfo", "-1"},
        {{"--split", "100", "--split-on", "GetNowPgInfo"}, "GetNowPgInfo", "0\t\x82\x6D\x82\x67"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.args.front());
        StandIn standin;
        ASSERT_TRUE(standin.Start(fault.args));
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start({"--reply-timeout", "1000"})) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        const auto started = Clock::now();
        EXPECT_EQ(viewer.Ask(fault.request, 8000).value_or("").substr(0, std::string(fault.reply).size()), fault.reply);
        EXPECT_LT(ElapsedMs(started), 3000);
        std::this_thread::sleep_for(200ms); // the rest of a cut reply arrives
        EXPECT_EQ(viewer.Ask("GetNextPgInfo").value_or("").substr(0, 2), "0\t");
        EXPECT_TRUE(server.WaitForOutput("reconnected to EpgDataCap_Bon", 5000)) << server.Output();
        EXPECT_EQ(CountLines(standin.LogLines(), "#open"), 2u);
    }
    {
        // EpgDataCap_Bon closes the link: a failed text exchange has no
        // reply to give and ends that viewer's session; the other viewer's
        // session notices the dead link and gets a new one.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--close-on", "GetNowPgInfo"}));
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient first, second;
        ASSERT_TRUE(first.Connect(server.Port()));
        ASSERT_TRUE(second.Connect(server.Port()));
        EXPECT_FALSE(first.Ask("GetNowPgInfo"));
        EXPECT_TRUE(first.ClosedByServer(2000));
        EXPECT_TRUE(server.WaitForOutput("connection to EpgDataCap_Bon lost", 5000)) << server.Output();
        EXPECT_TRUE(server.WaitForOutput("reconnected to EpgDataCap_Bon", 5000)) << server.Output();
        EXPECT_EQ(second.Ask("SetService:1025"), "0");
        EXPECT_EQ(CountLines(standin.LogLines(), "#open"), 2u);
    }
}

TEST(PatchServer, StartFailuresAreReportedWithTheirTexts)
{
    const socket_t taken = CreateListenSocket(0, 1);
    for (const bool channelFiles : {true, false}) {
        CliServer server;
        ConfigureChannels(server, FreePort());
        server.settings.ServerPort = std::to_string(LocalPort(taken));  // ignored without the files
        ASSERT_TRUE(server.Start({}, false, channelFiles));
        const auto status = server.WaitForExit(10000);
        ASSERT_TRUE(status);
        EXPECT_NE(*status, 0);
        // The system's text, then the port or the file and the system's reason.
        EXPECT_NE(server.Errors().find(channelFiles ? "パッチサーバーを開始できません。 (ポート " +
                                                          std::to_string(LocalPort(taken)) + ": "
                                                    : std::string("BonDriver_TVTest(TVTest).ChSet.txt は開けません (")),
                  std::string::npos)
            << server.Errors();
    }
    CloseSocket(taken);
    // A bad option value is told and ends the command with 2 before anything runs.
    for (const auto& [option, value] : {std::pair{"--reply-timeout", "abc"}, {"--idle-limit", "99999999999"}}) {
        CliServer server;
        ConfigureChannels(server, FreePort());
        ASSERT_TRUE(server.Start({option, value}, false));
        EXPECT_EQ(server.WaitForExit(10000), std::optional<int>(2)) << option << server.Errors();
        EXPECT_NE(server.Errors().find(std::string(option) + " takes a positive number"), std::string::npos)
            << server.Errors();
    }
}

TEST(PatchServer, StopsAtOnceWithViewersConnectedAndAnUpstreamRequestHanging)
{
    // The server as the window runs it, in this process: EpgDataCap_Bon
    // never answers SetService, and the reply bound is the usual 15 s, far
    // longer than the stop may take.
    StandIn standin;
    ASSERT_TRUE(standin.Start({"--silent-on", "SetService"}));
    CliServer files;
    ConfigureChannels(files, standin.Port());
    auto server = std::make_unique<TPatchedRemoconMasterThread>(0, "127.0.0.1", standin.Port(), false, "", "", "",
                                                                 files.channels, files.aliases, true, true);
    server->Resume();
    ASSERT_TRUE(WaitFor([&] { return server->ListeningPort() != 0; }, 5000));
    ViewerClient first, second, hanging;
    for (ViewerClient* viewer : {&first, &second, &hanging}) {
        ASSERT_TRUE(viewer->Connect(server->ListeningPort()));
        EXPECT_EQ(viewer->Ask("GetBonList"), "0\t0\t0\tTVTest");
    }
    ASSERT_TRUE(hanging.Send("SetService:1025"));
    ASSERT_TRUE(WaitFor([&] { return CountLines(standin.Requests(), "SetService:1025") == 1; }, 5000));
    const auto started = Clock::now();
    server->Terminate();
    server->WaitFor();
    EXPECT_LT(ElapsedMs(started), 5000);
    EXPECT_TRUE(server->FSucceeded);
    server.reset();
    // The request in flight failed like any other failed exchange, then every
    // session ended, and the link with them; the cut left it out of step, so
    // the last channel went again over a connection of its own.
    EXPECT_EQ(hanging.Receive(1000), "-1");
    for (ViewerClient* viewer : {&first, &second, &hanging})
        EXPECT_TRUE(viewer->ClosedByServer(2000));
    EXPECT_TRUE(WaitFor([&] { return CountLines(standin.LogLines(), "#close") == 2; }, 5000));
    EXPECT_EQ(CountLines(standin.LogLines(), "#open"), 2u);
}

TEST(PatchServer, EndsTheSessionsOfSilentViewersAndOfViewersThatNeverRead)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    {
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start({"--idle-limit", "600"})) << server.Errors();
        ViewerClient silent, busy;
        ASSERT_TRUE(silent.Connect(server.Port()));
        ASSERT_TRUE(busy.Connect(server.Port()));
        EXPECT_FALSE(silent.ClosedByServer(300));
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(busy.Ask("GetBonList"), "0\t0\t0\tTVTest");
            std::this_thread::sleep_for(200ms);
        }
        EXPECT_TRUE(silent.ClosedByServer(3000));
        EXPECT_EQ(busy.Ask("SetBon:0"), "0");
    }
    {
        // Eight viewers that ask and never read, each request padded to a
        // whole receive as the server reads them, beside one that reads.
        // Replies of some 200 kB fill their buffers after a few dozen; each
        // is dropped once a reply cannot be sent in time, and the honest
        // viewer, asking what goes upstream and what does not, never waits
        // on them.
        CliServer server;
        ConfigureChannels(server, standin.Port());
        server.settings.ChListReplyLimit = 0;
        server.channels.clear();
        server.aliases.clear();
        for (int i = 0; i < 4000; ++i) {
            server.channels.push_back({"Channel number " + std::to_string(i) + " with a long name for its size",
                                       static_cast<std::uint32_t>(i)});
            server.aliases.push_back(AliasRow(i, 0, 0, 3, 1024));
        }
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient hostile[8], busy;
        ASSERT_TRUE(busy.Connect(server.Port()));
        std::string padded = "GetChList";
        padded.resize(RequestBufferSize - 1, '\0');
        for (ViewerClient& h : hostile) {
            ASSERT_TRUE(h.Connect(server.Port()));
            for (int i = 0; i < 80; ++i)
                ASSERT_TRUE(h.Send(padded)) << i;
        }
        long slowest = 0;
        for (int i = 0; i < 12; ++i) {
            for (const char* request : {"GetBonList", "GetServiceList", "SetCh:0"}) {
                const auto started = Clock::now();
                EXPECT_EQ(busy.Ask(request, 10000).value_or("").substr(0, 1), "0") << request;
                slowest = std::max(slowest, ElapsedMs(started));
            }
            std::this_thread::sleep_for(500ms);
        }
        std::printf("an honest viewer's slowest exchange beside 8 that never read: %ld ms\n", slowest);
        EXPECT_LT(slowest, 4000);
        EXPECT_TRUE(server.WaitForOutput("viewer disconnected, viewers now 1", 10000)) << server.Output();
        EXPECT_EQ(busy.Ask("GetBonList"), "0\t0\t0\tTVTest");
    }
}

TEST(PatchServer, TheRealViewerIsAnsweredAtOnceDuringASlowSwitchAndStaysInStepWithALongList)
{
    {
        // EpgDataCap_Bon takes 4 s to open another BonDriver. A viewer that
        // starts meanwhile gets its start-up answers before that switch is
        // done, well within its 2000 ms patience, with a current channel from
        // before or after it.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--delay", "SetBon=4000"}));
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient switching;
        ASSERT_TRUE(switching.Connect(server.Port()));
        ASSERT_TRUE(switching.Send("SetCh:1"));
        ASSERT_TRUE(WaitFor([&] { return CountLines(standin.Requests(), "SetBon:2") == 1; }, 5000));
        TVTestViewer starting[8];
        long slowest = 0;
        for (TVTestViewer& viewer : starting) {
            const auto started = Clock::now();
            ASSERT_TRUE(viewer.Connect(server.Port()));
            EXPECT_TRUE(viewer.StartUp());
            EXPECT_EQ(viewer.Ask("GetSpaceList").value_or("").substr(0, 6), "0\t0\t0\t");
            const auto chList = viewer.Ask("GetChList");
            slowest = std::max(slowest, ElapsedMs(started));
            ASSERT_TRUE(chList);
            const auto current = TVTestViewer::CurrentOf(*chList);
            EXPECT_TRUE(current == 2 || current == 1) << *chList;
        }
        EXPECT_FALSE(switching.Receive(0)) << "answered only after the switch, at most " << slowest << " ms";
        std::printf("start-up answers during a slow switch: %ld ms at most\n", slowest);
        EXPECT_EQ(switching.Receive(10000), "0");
        EXPECT_EQ(starting[0].Ask("GetChList").value_or("").substr(0, 3), "0\t1");
    }
    // 260 channels with 14-character names make a GetChList reply of some
    // 5 kB: the viewer gets as many whole entries as fit its one receive and
    // the exact current number, and every later reply answers its own
    // command. The second name starts with ';', which the viewer's ChSet
    // reader takes for a comment: its menu item 1 is the server's channel 2.
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    ConfigureChannels(server, standin.Port());
    const BonAliasList targets = server.aliases;
    server.channels.clear();
    server.aliases.clear();
    for (int i = 0; i < 260; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%sService No%03d", i == 1 ? ";" : "_", i);
        server.channels.push_back({name, static_cast<std::uint32_t>(i)});
        BON_ALIAS row = targets[static_cast<std::size_t>(i % 4)];
        row.index = i;
        server.aliases.push_back(row);
    }
    ASSERT_TRUE(server.Start()) << server.Errors();
    TVTestViewer viewer;
    ASSERT_TRUE(viewer.Connect(server.Port()));
    ASSERT_TRUE(viewer.StartUp());
    EXPECT_EQ(viewer.Ask("GetSpaceList").value_or("").substr(0, 6), "0\t0\t0\t");
    const auto first = viewer.Ask("GetChList");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->substr(0, 4), "0\t2\t");
    EXPECT_LE(first->size(), std::size_t(TVTestViewer::ReceiveLimit));
    // Cut after a whole entry: the last name is the one of its number.
    const std::size_t lastTab = first->rfind('\t');
    const std::size_t numberTab = first->rfind('\t', lastTab - 1);
    const auto last = static_cast<std::size_t>(ParseInt(first->substr(numberTab + 1)));
    ASSERT_LT(last, 259u);
    EXPECT_EQ(first->substr(lastTab + 1), server.channels[last].name);
    for (const int channel : {2, 159, 259, 3}) {
        EXPECT_EQ(viewer.Ask("SetCh:" + std::to_string(channel)), "0") << channel;
        const auto list = viewer.Ask("GetChList");
        ASSERT_TRUE(list) << channel;
        EXPECT_EQ(TVTestViewer::CurrentOf(*list), channel);
        EXPECT_EQ(viewer.Ask("GetServiceList").value_or("").substr(0, 2), "0\t") << channel;
        EXPECT_EQ(viewer.Ask("SetBon:0"), "0") << channel;
    }
    EXPECT_EQ(viewer.Dropped(), 0u);
    const auto menu = TVTestViewer::ReadChSet(ReadWholeFile(ChSetFilePath(server.Folder())).value_or(""));
    ASSERT_EQ(menu.size(), 259u);
    EXPECT_EQ(menu[1], server.channels[2].name);
    EXPECT_EQ(viewer.Ask("SetCh:1"), "0");
    EXPECT_EQ(TVTestViewer::CurrentOf(viewer.Ask("GetChList").value_or("")), 1);
}

TEST(PatchServer, AStopIsBoundedWhateverTheUpstreamDoesAndEndsALaunchedCopyWhenTheReselectionSucceeds)
{
    // From the stop request to the end of the server: the exchange in flight is
    // cut, and the re-selection of the last channel has 1 s in all. The
    // stand-in's requests are counted over all connections: the link's own
    // four come first, then the viewers'.
    struct Case {
        const char* name;
        std::vector<std::string> faults;
        const char* asked;      // a viewer's request answered before the stop
        const char* inFlight;   // a viewer's request still unanswered at the stop
        const char* waitFor;    // the stand-in's request that shows it in flight
        bool holdRemocon;       // another process holds "Remocon" throughout
        const char* outcome;    // with auto-launch: what becomes of the copy
    };
    const Case cases[] = {
        {"silent upstream", {"--silent-on", "GetBonList", "--fault-at", "5"}, nullptr, nullptr, nullptr, false, nullptr},
        {"12 s upstream", {"--delay", "GetBonList=12000", "--fault-at", "5"}, nullptr, nullptr, nullptr, false, nullptr},
        {"Remocon held elsewhere", {}, nullptr, "SetService:1025", nullptr, true, nullptr},
        // The cut leaves the link out of step; the re-selection goes over a
        // fresh connection, finds the BonDriver not yet switched, switches it
        // (quickly now) and succeeds: the copy launched is ended.
        {"slow switch, launched", {"--delay", "SetBon=4000", "--fault-at", "6"}, nullptr, "SetCh:1", "SetBon:2", false,
         "ended"},
        // Every selection fails, so the re-selection does: the copy is let go.
        {"failing selection, launched", {"--set-status", "1"}, "SetCh:1", nullptr, nullptr, false, "left running"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StandIn standin;
        LaunchableStandIn epg;
        CliServer server;
        std::string params;
        for (const std::string& fault : c.faults)
            params += " " + fault;
        if (c.outcome) {
            epg.Configure(server, params);
        } else {
            ASSERT_TRUE(standin.Start(c.faults));
            ConfigureChannels(server, standin.Port());
        }
        const auto requests = [&] { return c.outcome ? epg.LogLines() : standin.Requests(); };
        // The server as the window runs it, in this process.
        const Settings& set = server.settings;
        auto master = std::make_unique<TPatchedRemoconMasterThread>(
            0, set.RemoconAddr, std::stoi(set.RemoconPort), set.EpgDataCapBonAutoLaunch, set.EpgDataCapBonExePath,
            set.EpgDataCapBonExeParam, set.EpgDataCapBonWindowText, server.channels, server.aliases, true, true);
        std::mutex eventsMutex;
        std::vector<ServerEvent> events;
        master->SetObserver([&](ServerEvent event, const std::string&) {
            std::lock_guard<std::mutex> lock(eventsMutex);
            events.push_back(event);
        });
        master->SetReplyTimeout(c.holdRemocon ? 1000 : 15000);
        master->Resume();
        ASSERT_TRUE(WaitFor([&] { return master->ListeningPort() != 0; }, 5000));
        const std::uint16_t port = master->ListeningPort();
        ViewerClient idle, asking;
        ASSERT_TRUE(idle.Connect(port));
        ASSERT_EQ(idle.Ask("GetBonList", 15000), "0\t0\t0\tTVTest");
        ASSERT_TRUE(asking.Connect(port));
        ASSERT_EQ(asking.Ask("GetSpaceList").value_or("").substr(0, 6), "0\t0\t0\t");
        if (c.asked)
            ASSERT_EQ(asking.Ask(c.asked), "1");
        ChildProcess holder;
        if (c.holdRemocon) {
            const std::string ready = server.File("held");
            ASSERT_TRUE(holder.Start(ToolPath("vernwick-lockholder"), {"Remocon", ready, "-1"}));
            ASSERT_TRUE(WaitFor([&] { return PathExists(ready); }, 10000));
            // What does not go upstream is answered still; what does fails
            // once a reply's time is up.
            EXPECT_EQ(asking.Ask("GetChList").value_or("").substr(0, 4), "0\t2\t");
            EXPECT_EQ(asking.Ask(c.inFlight, 10000), "-1");
        }
        if (c.inFlight && !c.holdRemocon) {
            ASSERT_TRUE(asking.Send(c.inFlight));
            ASSERT_TRUE(WaitFor([&] { return CountLines(requests(), c.waitFor) == 1; }, 10000));
        }
        const auto started = Clock::now();
        master->Terminate();
        master->WaitFor();
        const long stopMs = ElapsedMs(started);
        std::printf("stop with %s: %ld ms\n", c.name, stopMs);
        EXPECT_TRUE(master->FSucceeded);
        EXPECT_LT(stopMs, 5000);
        master.reset();
        if (c.outcome) {
            const ServerEvent wanted = std::string(c.outcome) == "ended" ? ServerEvent::EpgDataCapBonEnded
                                                                         : ServerEvent::EpgDataCapBonLetGo;
            EXPECT_EQ(std::count(events.begin(), events.end(), wanted), 1);
            epg.EndLetGoCopy();
        }
        holder.Terminate();
    }
}
