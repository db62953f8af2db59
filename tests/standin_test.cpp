// The stand-in EpgDataCap_Bon that every end-to-end test and the demo run
// against: its tree, its selection, its request log and its fault switches.
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "remocon/net_remocon.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using Requests = std::vector<std::string>;

// The default tree's Japanese names, in code page 932.
const std::string Terrestrial = "\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B";          // 地上デジタル
const std::string NhkSogo1 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x50\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合１・東京
const std::string NhkSogo2 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x51\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合２・東京
const std::string SpareChannel = "\x97\x5C\x94\xF5\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // 予備チャンネル
const std::string ShopChannel = "\x83\x56\x83\x87\x83\x62\x83\x76\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // ショップチャンネル
const std::string News = "\x83\x6A\x83\x85\x81\x5B\x83\x58";   // ニュース
const std::string Weather = "\x93\x56\x8B\x43\x97\x5C\x95\xF1"; // 天気予報

// A viewer connection to the stand-in whose replies are the reply text, or
// "" when none came.
struct Link : ViewerClient {
    explicit Link(const StandIn& standIn) { EXPECT_TRUE(Connect(standIn.Port())); }
    std::string operator()(const std::string& request, int quietMs = 40)
    {
        return Ask(request, 5000, quietMs).value_or("");
    }
};

} // namespace

TEST(StandInTree, DefaultTreeAnswersByteExactAtEveryLevel)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    Link ask(standIn);
    EXPECT_EQ(ask("GetBonList"), "0\t0\t0\tBonDriver_PT3-T.dll\t2\tBonDriver_PT3-S.dll");
    EXPECT_EQ(ask("GetSpaceList"), "0\t0\t0\t" + Terrestrial);
    EXPECT_EQ(ask("GetChList"), "0\t3\t3\t27ch\t5\t26ch\t8\t25ch\t12\t" + SpareChannel);
    EXPECT_EQ(ask("GetServiceList"), "0\t1024\t1024\t" + NhkSogo1 + "\t1025\t" + NhkSogo2);
    EXPECT_EQ(ask("GetNowPgInfo"), "0\t" + NhkSogo1 + "\t20:45-21:00\t" + News);
    EXPECT_EQ(ask("GetNextPgInfo"), "0\t" + NhkSogo1 + "\t21:00-21:30\t" + Weather);

    EXPECT_EQ(ask("SetBon:2"), "0");
    EXPECT_EQ(ask("GetSpaceList"), "0\t1\t1\tBS\t4\tCS110");
    EXPECT_EQ(ask("GetChList"), "0\t0\t0\tBS01/TS0\t5\tBS13/TS0\t6\tBS15/TS0");
    EXPECT_EQ(ask("SetSpace:4"), "0");
    EXPECT_EQ(ask("GetChList"), "0\t1\t1\tND02");
    EXPECT_EQ(ask("GetServiceList"), "0\t55\t55\t" + ShopChannel);

    // The channel without services: an empty list, no current, no programme.
    EXPECT_EQ(ask("SetBon:0"), "0");
    EXPECT_EQ(ask("SetCh:12"), "0");
    EXPECT_EQ(ask("GetServiceList"), "0\t-1");
    EXPECT_EQ(ask("GetNowPgInfo"), "1");

    // The second service list spans the whole space; SetService2 tunes
    // channel and service together.
    EXPECT_EQ(ask("SetService2:1034"), "0");
    EXPECT_EQ(ask("GetChList").substr(0, 4), "0\t5\t");
    const std::string list2 = ask("GetServiceList2");
    EXPECT_EQ(list2.substr(0, 36), "0\t1034\t1024\t" + NhkSogo1 + "\t1025\t");
    EXPECT_NE(list2.find("\t1040\t"), std::string::npos);
    EXPECT_EQ(ask("SetService2:55"), "1");
}

TEST(StandInSelection, SetsFollowTheHierarchyAndAreShared)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    CNetRemocon a(ConnectSocket("127.0.0.1", standIn.Port()), true);
    CNetRemocon b(ConnectSocket("127.0.0.1", standIn.Port()), true);
    NamedNumberList list;
    std::int32_t current = -7;

    // A Set on one connection shows in the lists of another, and the level
    // below goes back to its first entry.
    EXPECT_EQ(a.SetService(1025), 0);
    EXPECT_EQ(a.SetCh(5), 0);
    EXPECT_EQ(b.GetChList(list, &current), 0);
    EXPECT_EQ(current, 5);
    EXPECT_EQ(b.GetServiceList(list, &current), 0);
    EXPECT_EQ(current, 1032);
    EXPECT_EQ(list.size(), 2u);

    // Numbers outside the current parent are refused and change nothing.
    EXPECT_EQ(b.SetService(1024), 1);
    EXPECT_EQ(b.SetSpace(1), 1);
    EXPECT_EQ(b.SetBon(1), 1);
    EXPECT_EQ(a.GetServiceList(list, &current), 0);
    EXPECT_EQ(current, 1032);

    // SetBon resets every lower level.
    EXPECT_EQ(a.SetBon(2), 0);
    EXPECT_EQ(b.GetSpaceList(list, &current), 0);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(b.GetServiceList(list, &current), 0);
    EXPECT_EQ(current, 151);
}

TEST(StandInTree, TreeFileAndEmptyTree)
{
    StandIn custom;
    const std::string bytes = "\x83\x65\x83\x58\x83\x67"; // テスト, with a 0x5C-free trail
    const std::string tree =
        "# a comment\r\n"
        "bon\tBonDriver_A.dll\t7\r\n"
        "space\t" + bytes + "\t-1\r\n"
        "\r\n"
        "ch\tX\\Y\t0x10\n"
        "service\t\t65535\n"
        "bon\tBonDriver_B.dll\t9\n";
    ASSERT_TRUE(ReplaceFileAtomically(custom.File("tree.txt"), tree));
    ASSERT_TRUE(custom.Start({"--tree", custom.File("tree.txt")}));
    Link ask(custom);
    EXPECT_EQ(ask("GetBonList"), "0\t7\t7\tBonDriver_A.dll\t9\tBonDriver_B.dll");
    EXPECT_EQ(ask("GetSpaceList"), "0\t-1\t-1\t" + bytes);
    EXPECT_EQ(ask("GetChList"), "0\t16\t16\tX\\Y");
    EXPECT_EQ(ask("GetServiceList"), "0\t65535\t65535\t");
    EXPECT_EQ(ask("SetBon:9"), "0");
    EXPECT_EQ(ask("GetSpaceList"), "0\t-1");
    EXPECT_EQ(ask("GetServiceList"), "0\t-1");
    EXPECT_EQ(ask("SetSpace:0"), "1");

    StandIn empty;
    ASSERT_TRUE(ReplaceFileAtomically(empty.File("tree.txt"), "# nothing\n"));
    ASSERT_TRUE(empty.Start({"--tree", empty.File("tree.txt")}));
    Link e(empty);
    EXPECT_EQ(e("GetBonList"), "0\t-1");
    EXPECT_EQ(e("SetBon:0"), "1");
    EXPECT_EQ(e("GetNextPgInfo"), "1");
}

TEST(StandInLog, EveryRequestIsLoggedEscapedBeforeItsReply)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    {
        Link ask(standIn);
        EXPECT_EQ(ask("GetBonList").substr(0, 4), "0\t0\t");
        // Read at once: the line must be there by the time the reply is.
        EXPECT_EQ(standIn.Requests(), Requests{"GetBonList"});
        EXPECT_EQ(ask("SetCh:5\r\n"), "0");
        EXPECT_EQ(standIn.Requests().back(), "SetCh:5\\r\\n");
        // An unknown request is logged, then its connection is closed.
        EXPECT_EQ(ask(std::string("\x82\x6D\t\\#") + '\0' + "ignored"), "");
        EXPECT_TRUE(ask.ClosedByServer(2000));
    }
    for (const char* closing : {"getbonlist", "#close"}) {
        Link ask(standIn);
        EXPECT_EQ(ask(closing), "");
        EXPECT_TRUE(ask.ClosedByServer(2000)) << closing;
    }
    {
        Link ask(standIn);
        EXPECT_EQ(ask("GetChList").substr(0, 4), "0\t5\t");
    } // the client closes this one
    const Requests expected{
        "#open", "GetBonList", "SetCh:5\\r\\n", "\\x82m\\t\\\\#", "#close",
        "#open", "getbonlist", "#close",
        "#open", "\\x23close", "#close",
        "#open", "GetChList", "#close"};
    EXPECT_TRUE(WaitFor([&] { return standIn.LogLines().size() >= expected.size(); }, 5000));
    EXPECT_EQ(standIn.LogLines(), expected);
    EXPECT_EQ(standIn.Requests().size(), 6u);
}

// The other fault switches are guarded where they are used: --split,
// --close-on, --silent-on, --urgent-on, --trickle-on and --flood-on by
// PatchServer.UpstreamFailuresAreBoundedAndTheLinkIsReplaced, --set-status,
// --exit-after, --select and --current-unknown by the VirtualTuner tests,
// --exit-on and --listen-delay by PatchServerLaunch. A delay that did nothing
// would leave VirtualTuner.TwoLinksOnTwoThreadsNeverOverlapTheirExchanges
// nothing to catch, so it is checked here, with the overlap mark.
TEST(StandInFaults, DelayHoldsBackOnlyTheRepliesNamedAndAnOverlapIsMarked)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start({"--delay", "GetChList=800"}));
    Link slow(standIn), other(standIn);
    auto start = Clock::now();
    ASSERT_TRUE(slow.Send("GetChList"));
    ASSERT_TRUE(WaitFor([&] { return standIn.Requests().size() == 1; }, 5000));
    // The other connection is answered while the first waits.
    EXPECT_EQ(other("GetBonList").substr(0, 4), "0\t0\t");
    EXPECT_LT(ElapsedMs(start), 700);
    EXPECT_EQ(slow.Receive(5000).value_or("").substr(0, 4), "0\t3\t");
    EXPECT_GE(ElapsedMs(start), 800);
    EXPECT_EQ(CountLines(standIn.LogLines(), "#overlap"), 1u);
    // Commands not named are not delayed.
    start = Clock::now();
    EXPECT_EQ(slow("SetCh:5"), "0");
    EXPECT_LT(ElapsedMs(start), 600);

    StandIn all;
    ASSERT_TRUE(all.Start({"--delay", "300", "--close-on", "SetCh"}));
    Link delayed(all);
    start = Clock::now();
    EXPECT_EQ(delayed("SetBon:2"), "0");
    EXPECT_GE(ElapsedMs(start), 290);
    // A request that closes the connection is not carried out.
    EXPECT_EQ(delayed("SetCh:5"), "");
    EXPECT_TRUE(delayed.ClosedByServer(2000));
    Link after(all);
    EXPECT_EQ(after("GetChList").substr(0, 4), "0\t0\t");
}

TEST(StandInProcess, HelpBadArgumentsAndStop)
{
    ChildProcess help;
    ASSERT_TRUE(help.Start(ToolPath("vernwick-standin"), {"--help"}));
    EXPECT_EQ(help.Wait(10000), 0);
    StandIn tree;
    ASSERT_TRUE(ReplaceFileAtomically(tree.File("tree"), "space\tS\t0\n"));  // a space before any bon
    const std::vector<std::vector<std::string>> refused{
        {"--bogus"}, {"--port", "70000"}, {"--close-on", "GetAll"}, {"--delay", "SetCh=x"}, {"--tree", tree.File("tree")}};
    for (const std::vector<std::string>& args : refused) {
        StandIn wrong;
        EXPECT_FALSE(wrong.Start(args)) << args.back();
        EXPECT_EQ(wrong.WaitForExit(5000), 2) << args.back();
    }
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    Link ask(standIn);
    EXPECT_EQ(ask("SetBon:0"), "0");
    standIn.Stop();
    EXPECT_FALSE(standIn.Running());
    EXPECT_TRUE(ask.ClosedByServer(2000));
}
