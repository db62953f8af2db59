// The patch server as users run it: "vernwick-cli serve" between viewers and
// the stand-in EpgDataCap_Bon, all real processes on loopback. Most cases are
// conversations: what a viewer sends, what EpgDataCap_Bon receives, what the
// viewer gets back and what the server tells meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

#include "common/file_io.h"
#include "net/socket.h"
#include "process/child_process.h"
#include "remocon/protocol.h"
#include "server/patcher.h"
#include "support/cli_server.h"
#include "support/free_port.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using Requests = std::vector<std::string>;

// Who speaks: a viewer of the server by number, or someone at
// EpgDataCap_Bon's own port.
constexpr int Direct = -1;
// Replies that are not texts: the connection ends without one; the bytes
// EpgDataCap_Bon gives the same request asked directly.
const std::string Closed = "(closed)";
const std::string Relayed = "(relayed)";
// Sent: the speaker closes its connection.
const std::string Leaves = "(leaves)";
const Requests Nothing;
// The link's look at EpgDataCap_Bon's levels, which also starts every selection.
const Requests Queries{"GetBonList", "GetSpaceList", "GetChList", "GetServiceList"};
const std::string TVTest = "0\t0\t0\tTVTest";

Requests Plus(Requests first, const Requests& then)
{
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// The channel list of ConfigureChannels with the given current channel.
std::string ChList(char current)
{
    return std::string("0\t") + current + "\t0\tSogo2\t1\t\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C\t2\tSogo1\t3\tShop";
}

struct Step {
    int who;
    std::string send;
    std::string reply;                 // exact, a prefix when it ends in '*', Closed or Relayed
    std::optional<Requests> upstream;  // what EpgDataCap_Bon received meanwhile
    std::string told = {};             // a line the server prints; "#..." one in EpgDataCap_Bon's log
};

struct Scenario {
    const char* name;
    std::vector<std::string> standin;  // its fault switches
    std::vector<std::string> serve;    // serve's own options
    std::function<void(CliServer&)> setup;  // after ConfigureChannels
    std::string tree;                  // the stand-in's tree in place of its own
    std::vector<Step> steps;
    int links = -1;                    // connections EpgDataCap_Bon saw, direct ones included
    int replyWithinMs = 10000;
    int quietMs = 20;                  // OneReceive: as TVTest takes a reply
};

bool Matches(const std::optional<std::string>& got, const std::string& wanted)
{
    if (!got)
        return false;
    if (!wanted.empty() && wanted.back() == '*')
        return got->compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0;
    return *got == wanted;
}

void Converse(const Scenario& s)
{
    SCOPED_TRACE(s.name);
    StandIn standin;
    std::vector<std::string> args = s.standin;
    if (!s.tree.empty()) {
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), s.tree));
        args.insert(args.end(), {"--tree", standin.File("tree.txt")});
    }
    ASSERT_TRUE(standin.Start(args));
    CliServer server;
    ConfigureChannels(server, standin.Port());
    if (s.setup)
        s.setup(server);
    ASSERT_TRUE(server.Start(s.serve)) << server.Errors();
    std::map<int, ViewerClient> parties;
    const auto party = [&](int who) -> ViewerClient& {
        auto [at, fresh] = parties.try_emplace(who);
        if (fresh)
            EXPECT_TRUE(at->second.Connect(who == Direct ? standin.Port() : server.Port())) << who;
        return at->second;
    };
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.steps.size(); ++i) {
        const Step& step = s.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + " " + step.send);
        ViewerClient& speaker = party(step.who);
        std::optional<std::string> got;
        if (step.send == Leaves)
            speaker.Disconnect();
        else
            got = speaker.Ask(step.send, s.replyWithinMs, s.quietMs);
        if (step.reply == Closed) {
            EXPECT_FALSE(got) << *got;
            EXPECT_TRUE(speaker.ClosedByServer(5000));
        } else if (step.send != Leaves && step.reply != Relayed) {
            EXPECT_TRUE(Matches(got, step.reply)) << got.value_or("(none)");
        }
        if (!step.told.empty() && step.told.front() == '#')
            EXPECT_TRUE(WaitFor([&] { return CountLines(standin.LogLines(), step.told) > 0; }, 10000));
        else if (!step.told.empty())
            EXPECT_TRUE(server.WaitForOutput(step.told, 10000)) << server.Output();
        const Requests upstream = standin.RequestsSince(seen);
        if (step.upstream)
            EXPECT_EQ(upstream, *step.upstream);
        if (step.reply == Relayed) {
            EXPECT_TRUE(got && got == party(Direct).Ask(step.send)) << got.value_or("(none)");
            standin.RequestsSince(seen);
        }
    }
    EXPECT_TRUE(server.Running());
    if (s.links >= 0)
        EXPECT_EQ(CountLines(standin.LogLines(), "#open"), std::size_t(s.links));
}

// count channels in place of the usual four, over their services in turn.
void ManyChannels(CliServer& server, int count, const std::function<std::string(int)>& name)
{
    const BonAliasList targets = server.aliases;
    server.channels.clear();
    server.aliases.clear();
    for (int i = 0; i < count; ++i) {
        server.channels.push_back({name(i), static_cast<std::uint32_t>(i)});
        BON_ALIAS row = targets[static_cast<std::size_t>(i % 4)];
        row.index = i;
        server.aliases.push_back(row);
    }
}

// A reply that fails within a 1 s bound; the next request gets a new link.
Scenario FailedReply(const char* name, std::vector<std::string> standin, Step failed)
{
    return {.name = name,
            .standin = std::move(standin),
            .serve = {"--reply-timeout", "1000"},
            .steps = {std::move(failed), {0, "GetNextPgInfo", "0\t*", {}, "reconnected to EpgDataCap_Bon"}},
            .links = 2,
            .replyWithinMs = 3000};
}

const Scenario Conversations[] = {
    {.name = "the virtual tuner answers itself and switches only the levels that differ",
#ifndef _WIN32
     .setup = [](CliServer& c) { c.settings.RemoconAddr = ""; },  // this machine, as on Windows
#endif
     .steps = {
         {0, "GetBonList", TVTest, Queries, "connected to EpgDataCap_Bon, which is on the list's channel 2"},
         {0, "GetSpaceList", "0\t0\t0\t\x8D\xAC\x8D\xDD\x83\x66\x83\x57\x83\x5E\x83\x8B", Nothing},
         {0, "GetChList", ChList('2'), Nothing},
         {0, "GetServiceList2", ChList('2'), Nothing},
         {0, "SetBon:0", "0", Nothing},
         {0, "SetSpace:1", "2", Nothing},
         {0, "SetCh:4", "2", Nothing},
         {0, "SetCh:-1", "2", Nothing},
         {0, "SetCh:0", "0", Plus(Queries, {"SetService:1025"})},
         // Another BonDriver puts the lower levels on their first entries
         // (space 1, channel 0, service 151): the channel's switch brings
         // the service wanted. Text after the number does not count.
         {0, "SetCh:1\r\n", "0",
          Requests{"GetBonList", "SetBon:2", "GetSpaceList", "GetChList", "SetCh:5", "GetServiceList"}},
         {1, "GetChList", ChList('1'), Nothing, "viewer connected, viewers now 2"},
         {1, "SetService2:3", "0", Requests{"GetBonList", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}},
         {1, "SetCh:3", "0", Queries},
         {0, "GetServiceList2", ChList('3'), Nothing},
         {0, "GetServiceList", Relayed, Requests{"GetServiceList"}},
         {0, "SetService:55", Relayed},
         {0, "SetService:999", "1"},
         {0, "GetNowPgInfo", Relayed},
         {0, "GetNextPgInfo", Relayed},
         // A channel without services lists none, which fails the exchange.
         {Direct, "SetBon:0", "0"},
         {Direct, "SetCh:12", "0"},
         {0, "GetServiceList", "-1\t0", Requests{"GetServiceList"}},
         // What the server does not know ends that viewer's connection only.
         {0, "Hello", Closed, Nothing},
         {1, "GetBonList", TVTest},
         {1, "GetChList\r\n", Closed}},
     .links = 2},
    {.name = "the last viewer's leave re-selects its channel and drops the link",
     .steps = {{0, "SetCh:3", "0"},
               {1, "GetServiceList", "0\t55\t*", Requests{"GetServiceList"}, "viewers now 2"},
               {0, Leaves, "", Nothing, "viewer disconnected, viewers now 1"},
               {Direct, "SetBon:0", "0"},  // someone else moves EpgDataCap_Bon away
               {1, Leaves, "", Requests{"GetBonList", "SetBon:2", "GetSpaceList", "SetSpace:4", "GetChList",
                                        "GetServiceList"},
                "last viewer gone, connection to EpgDataCap_Bon closed"}},
     .links = 2},
    {.name = "MultiTuner off refuses another BonDriver after asking",
     .standin = {"--select", "2,1,5,141"},
     .setup = [](CliServer& c) { c.settings.MultiTuner = false; },
     .steps = {{0, "GetChList", ChList('1'), Queries},
               {0, "SetCh:0", "2", Requests{"GetBonList"}},
               {0, "GetChList", ChList('0'), Nothing},  // recorded although refused
               {0, "SetCh:3", "0",
                Requests{"GetBonList", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}}}},
    {.name = "unknown current values select every level",
     .standin = {"--current-unknown"},
     .steps = {{0, "GetChList", ChList('0'), Queries},
               {0, "SetCh:2", "0", Requests{"GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList",
                                            "SetCh:3", "GetServiceList", "SetService:1024"}}}},
    {.name = "a refused selection is passed on and ends the switch",
     .standin = {"--set-status", "5"},
     .steps = {{0, "SetCh:1", "5", Plus(Queries, {"GetBonList", "SetBon:2"})}}},
    {.name = "EpgDataCap_Bon gone in the middle of a switch",
     .standin = {"--exit-after", "6"},
     .steps = {{0, "SetCh:1", "-1", Plus(Queries, {"GetBonList", "SetBon:2", "GetSpaceList"})},
               {0, "SetCh:0", Closed, Nothing, "connection to EpgDataCap_Bon lost"}},
     .links = 1},
    {.name = "EpgDataCap_Bon unreachable: the connection is closed at once",
     .setup = [](CliServer& c) { c.settings.RemoconPort = std::to_string(FreePort()); },
     .steps = {{0, "GetBonList", Closed, Nothing, "viewer refused: リモコン接続に失敗しました。 (127.0.0.1:"}},
     .links = 0},
    // Replies that fail the exchange, or leave the link out of step: none,
    // one after an out-of-band byte (the wait is for readable data only),
    // one that never goes quiet, one that grows without end, and one cut by
    // a pause, whose rest must not answer the next request. The never quiet
    // one is the viewer's GetServiceList (the link's own four come first);
    // on a busy machine it may be cut instead, which fails it just as well.
    FailedReply("no reply", {"--silent-on", "SetService"}, {0, "SetService:1025", "-1"}),
    FailedReply("an out-of-band byte", {"--urgent-on", "SetService", "--delay", "SetService=4000"},
                {0, "SetService:1025", "-1"}),
    FailedReply("never quiet", {"--trickle-on", "GetServiceList", "--fault-at", "5"}, {0, "GetServiceList", "-1\t0"}),
    FailedReply("without end", {"--flood-on", "GetNowPgInfo"}, {0, "GetNowPgInfo", "-1"}),
    FailedReply("cut by a pause", {"--split", "100", "--split-on", "GetNowPgInfo"},
                {0, "GetNowPgInfo", "0\t\x82\x6D\x82\x67*", {}, "#rest"}),
    // A reply longer than one receive, its pieces back to back, is one reply.
    {.name = "a long reply",
     .tree = "bon\tB\t0\nspace\tS\t0\nch\tC\t0\nservice\t" + std::string(300, 'A') + "\t1\nservice\tBeta\t2\n",
     .steps = {{0, "GetServiceList", Relayed, Plus(Queries, {"GetServiceList"})}}},
    // 260 channels with 15-character names make a GetChList reply of some
    // 5 kB: the viewer gets as many whole entries as fit its one receive and
    // the exact current number, and every later reply answers its own
    // command.
    {.name = "a channel list longer than one receive",
     .setup = [](CliServer& c) {
         ManyChannels(c, 260, [](int i) { return "_Service No" + std::to_string(1000 + i); });
     },
     .steps = {{0, "GetBonList", TVTest}, {0, "GetSpaceList", "0\t0\t0\t*"}, {0, "GetChList", "0\t2\t*"},
               {0, "SetCh:159", "0"}, {0, "GetChList", "0\t159\t*"}, {0, "GetServiceList", "0\t*"},
               {0, "SetBon:0", "0"}, {0, "SetCh:259", "0"}, {0, "GetChList", "0\t259\t*"},
               {0, "GetServiceList", "0\t*"}, {0, "SetBon:0", "0"}, {0, "SetCh:3", "0"}, {0, "GetChList", "0\t3\t*"}},
     .quietMs = OneReceive},
    // A failed text exchange has no reply to give and ends that viewer's
    // session; the other viewer's gets a new link.
    {.name = "EpgDataCap_Bon closes the link",
     .standin = {"--close-on", "GetNowPgInfo"},
     .steps = {{1, "GetBonList", TVTest},
               {0, "GetNowPgInfo", Closed, {}, "connection to EpgDataCap_Bon lost"},
               {1, "SetService:1025", "0", {}, "reconnected to EpgDataCap_Bon"}},
     .links = 2},
    // This test's address is 127.0.0.1; outside the list it is closed at
    // once, told with its address, and EpgDataCap_Bon is never reached.
    {.name = "not an allowed address",
     .setup = [](CliServer& c) { c.settings.AllowedViewers = "10.0.0.0/8, 192.168.1.7"; },
     .steps = {{0, "GetBonList", Closed, {}, "viewer refused: not in AllowedViewers, address 127.0.0.1"}},
     .links = 0},
};

} // namespace

TEST(PatchServer, Conversations)
{
    for (const Scenario& scenario : Conversations)
        Converse(scenario);
}

TEST(PatchServer, StartFailuresAreReportedWithTheirTexts)
{
    const socket_t taken = CreateListenSocket(0, 1);
    const std::string port = std::to_string(LocalPort(taken));
    struct Case {
        std::vector<std::string> args;
        bool channelFiles;
        const char* allowedViewers;
        int status;         // 2: refused before anything runs
        std::string error;  // the system's text, then what failed and the system's reason
    };
    const Case cases[] = {
        {{}, true, nullptr, 1, "パッチサーバーを開始できません。 (ポート " + port + ": "},
        {{}, false, nullptr, 1, "BonDriver_TVTest(TVTest).ChSet.txt は開けません ("},
        {{"--reply-timeout", "abc"}, true, nullptr, 2, "--reply-timeout takes a positive number"},
        {{"--idle-limit", "99999999999"}, true, nullptr, 2, "--idle-limit takes a positive number"},
        {{}, true, "192.168.0.0/16, 192.168.1/24", 2, "\"192.168.1/24\""},
    };
    for (const Case& c : cases) {
        CliServer server;
        ConfigureChannels(server, FreePort());
        server.settings.ServerPort = port;  // ignored unless everything else is right
        if (c.allowedViewers)
            server.settings.AllowedViewers = c.allowedViewers;
        ASSERT_TRUE(server.Start(c.args, false, c.channelFiles));
        EXPECT_EQ(server.WaitForExit(10000), std::optional<int>(c.status)) << c.error;
        EXPECT_NE(server.Errors().find(c.error), std::string::npos) << server.Errors();
    }
    CloseSocket(taken);
    // The server's own failure text, which the window shows.
    TPatchedRemoconMasterThread server(0, "127.0.0.1", FreePort(), false, "", "", "", {}, {}, true, true);
    server.SetAllowedViewers(std::string("10.0.0.1/33"));
    server.Resume();
    server.WaitFor();
    EXPECT_FALSE(server.FSucceeded);
    EXPECT_NE(server.FErrorMessage.find("AllowedViewers の「10.0.0.1/33」"), std::string::npos) << server.FErrorMessage;
    EXPECT_EQ(server.ListeningPort(), 0);
}

TEST(PatchServer, EndsTheSessionsOfSilentViewersAndOfViewersThatNeverRead)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    {
        // Each viewer's own silence counts: one that keeps asking stays.
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start({"--idle-limit", "600"})) << server.Errors();
        ViewerClient silent, busy;
        ASSERT_TRUE(silent.Connect(server.Port()) && busy.Connect(server.Port()));
        EXPECT_FALSE(silent.ClosedByServer(300));
        int asked = 0;
        for (; asked < 50 && !silent.ClosedByServer(200); ++asked)
            EXPECT_EQ(busy.Ask("GetBonList"), TVTest);
        EXPECT_LT(asked, 50);
        EXPECT_EQ(busy.Ask("SetBon:0"), "0");
    }
    // Eight viewers that ask and never read, each request padded to a whole
    // receive as the server reads them, beside one that reads. Replies of
    // some 200 kB fill their buffers after a few dozen; each is dropped once
    // a reply cannot be sent in time, and the honest viewer, asking what goes
    // upstream and what does not, never waits on them.
    CliServer server;
    ConfigureChannels(server, standin.Port());
    server.settings.ChListReplyLimit = 0;
    ManyChannels(server, 4000,
                 [](int i) { return "Channel number " + std::to_string(i) + " with a long name for its size"; });
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
    EXPECT_TRUE(WaitFor([&] {
        for (const char* request : {"GetBonList", "GetServiceList", "SetCh:0"}) {
            const auto started = Clock::now();
            EXPECT_EQ(busy.Ask(request, 10000).value_or("").substr(0, 1), "0") << request;
            slowest = std::max(slowest, ElapsedMs(started));
        }
        return server.Output().find("viewer disconnected, viewers now 1") != std::string::npos;
    }, 60000)) << server.Output();
    std::printf("an honest viewer's slowest exchange beside 8 that never read: %ld ms\n", slowest);
    EXPECT_LT(slowest, 4000);
}

TEST(PatchServer, TheRealViewerIsAnsweredAtOnceDuringASlowSwitch)
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
    ViewerClient starting[8];
    long slowest = 0;
    for (ViewerClient& viewer : starting) {
        const auto started = Clock::now();
        ASSERT_TRUE(viewer.Connect(server.Port()));
        EXPECT_EQ(viewer.Ask("GetBonList", TVTestStartUpMs, OneReceive), TVTest);
        EXPECT_EQ(viewer.Ask("GetSpaceList", 5000, OneReceive).value_or("").substr(0, 6), "0\t0\t0\t");
        const std::string chList = viewer.Ask("GetChList", 5000, OneReceive).value_or("");
        slowest = std::max(slowest, ElapsedMs(started));
        EXPECT_TRUE(chList.starts_with("0\t2\t") || chList.starts_with("0\t1\t")) << chList;
    }
    EXPECT_FALSE(switching.Receive(0)) << "answered only after the switch, at most " << slowest << " ms";
    std::printf("start-up answers during a slow switch: %ld ms at most\n", slowest);
    EXPECT_EQ(switching.Receive(10000), "0");
    EXPECT_EQ(starting[0].Ask("GetChList").value_or("").substr(0, 3), "0\t1");
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
        {"Remocon held elsewhere", {}, nullptr, "SetService:1025", nullptr, true, nullptr},
        // Far within the usual 15 s reply bound.
        {"no reply in flight", {"--silent-on", "SetService"}, nullptr, "SetService:1025", "SetService:1025", false,
         nullptr},
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
        // The server as the window runs it, in this process.
        const Settings& set = server.settings;
        auto master = std::make_unique<TPatchedRemoconMasterThread>(
            0, set.RemoconAddr, std::stoi(set.RemoconPort), set.EpgDataCapBonAutoLaunch, set.EpgDataCapBonExePath,
            set.EpgDataCapBonExeParam, set.EpgDataCapBonWindowText, server.channels, server.aliases, true, true);
        std::atomic<int> ended{0}, letGo{0};
        master->SetObserver([&](ServerEvent event, const std::string&) {
            ended += event == ServerEvent::EpgDataCapBonEnded;
            letGo += event == ServerEvent::EpgDataCapBonLetGo;
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
            ASSERT_TRUE(WaitFor(
                [&] { return CountLines(c.outcome ? epg.LogLines() : standin.Requests(), c.waitFor) == 1; }, 10000));
        }
        const auto started = Clock::now();
        master->Terminate();
        master->WaitFor();
        const long stopMs = ElapsedMs(started);
        std::printf("stop with %s: %ld ms\n", c.name, stopMs);
        EXPECT_TRUE(master->FSucceeded);
        EXPECT_LT(stopMs, 5000);
        master.reset();
        // The request in flight failed like any other failed exchange, then
        // every session ended; the cut left the link out of step, so the last
        // channel went again over a connection of its own.
        const bool cut = c.inFlight && !c.holdRemocon;
        if (cut)
            EXPECT_EQ(asking.Receive(1000), "-1");
        for (ViewerClient* viewer : {&idle, &asking})
            EXPECT_TRUE(viewer->ClosedByServer(2000));
        EXPECT_EQ(CountLines(c.outcome ? epg.LogLines() : standin.LogLines(), "#open"), cut ? 2u : 1u);
        if (c.outcome) {
            EXPECT_EQ(std::string(c.outcome) == "ended" ? ended : letGo, 1);
            epg.EndLetGoCopy();
        }
        holder.Terminate();
    }
}
