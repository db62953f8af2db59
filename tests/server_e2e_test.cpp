// The patch server as users run it: "vernwick-cli serve" between viewers and
// the stand-in EpgDataCap_Bon, all real processes on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/socket.h"
#include "remocon/protocol.h"
#include "server/patcher.h"
#include "support/cli_server.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/server_fixture.h"
#include "support/standin.h"
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
    // session ended, and the link with them.
    EXPECT_EQ(hanging.Receive(1000), "-1");
    for (ViewerClient* viewer : {&first, &second, &hanging})
        EXPECT_TRUE(viewer->ClosedByServer(2000));
    EXPECT_TRUE(WaitFor([&] { return CountLines(standin.LogLines(), "#close") == 1; }, 5000));
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
        // A viewer that asks and never reads, each request padded to a whole
        // receive as the server reads them, beside one that reads. Replies of
        // some 200 kB fill the first one's buffers after a few dozen; it is
        // dropped once a reply cannot be sent in time, and the other one is
        // served throughout.
        CliServer server;
        ConfigureChannels(server, standin.Port());
        server.channels.clear();
        server.aliases.clear();
        for (int i = 0; i < 4000; ++i) {
            server.channels.push_back({"Channel number " + std::to_string(i) + " with a long name for its size",
                                       static_cast<std::uint32_t>(i)});
            server.aliases.push_back(AliasRow(i, 0, 0, 3, 1024));
        }
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient hostile, busy;
        ASSERT_TRUE(busy.Connect(server.Port()));
        ASSERT_TRUE(hostile.Connect(server.Port()));
        std::string padded = "GetChList";
        padded.resize(RequestBufferSize - 1, '\0');
        for (int i = 0; i < 80; ++i)
            ASSERT_TRUE(hostile.Send(padded)) << i;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(busy.Ask("GetBonList", 10000), "0\t0\t0\tTVTest") << i;
            std::this_thread::sleep_for(500ms);
        }
        EXPECT_TRUE(server.WaitForOutput("viewer disconnected, viewers now 1", 10000)) << server.Output();
        EXPECT_EQ(busy.Ask("GetBonList"), "0\t0\t0\tTVTest");
    }
}
