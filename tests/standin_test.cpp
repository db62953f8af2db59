#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "net/socket.h"
#include "process/child_process.h"
#include "remocon/net_remocon.h"
#include "support/standin.h"
#include "support/tool_path.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The default tree's Japanese names, in code page 932.
const std::string Terrestrial = "\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B";          // 地上デジタル
const std::string NhkSogo1 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x50\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合１・東京
const std::string NhkSogo2 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x51\x81\x45\x93\x8C\x8B\x9E"; // ＮＨＫ総合２・東京
const std::string SpareChannel = "\x97\x5C\x94\xF5\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // 予備チャンネル
const std::string ShopChannel = "\x83\x56\x83\x87\x83\x62\x83\x76\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B"; // ショップチャンネル
const std::string News = "\x83\x6A\x83\x85\x81\x5B\x83\x58";   // ニュース
const std::string Weather = "\x93\x56\x8B\x43\x97\x5C\x95\xF1"; // 天気予報

struct Reply {
    std::string bytes;
    bool closed = false;
    long long firstMs = -1; // when the first piece came
};

std::unique_ptr<CSocketBase> Connect(const StandIn& standIn)
{
    const socket_t s = ConnectSocket("127.0.0.1", standIn.Port());
    EXPECT_NE(s, InvalidSocket);
    return std::make_unique<CSocketBase>(s, true);
}

// Sends request in one send and collects what comes back until the
// connection has been quiet for quietMs (or closes); waits at most waitMs for
// the first piece.
Reply Exchange(CSocketBase& socket, const std::string& request, int waitMs = 5000, int quietMs = 40)
{
    Reply reply;
    const auto start = Clock::now();
    if (socket.Send(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size())) {
        reply.closed = true;
        return reply;
    }
    int wait = waitMs;
    while (socket.Select(SelectRead, wait / 1000, (wait % 1000) * 1000L) > 0 && socket.IsReadable()) {
        char buffer[4096];
        const int got = socket.Recv(buffer, sizeof buffer);
        if (got <= 0) {
            reply.closed = true;
            break;
        }
        if (reply.firstMs < 0)
            reply.firstMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        reply.bytes.append(buffer, static_cast<std::size_t>(got));
        wait = quietMs;
    }
    return reply;
}

std::string Ask(CSocketBase& socket, const std::string& request)
{
    return Exchange(socket, request).bytes;
}

// True when the peer closed within ms, without sending anything first.
bool ClosedWithin(CSocketBase& socket, int ms)
{
    if (socket.Select(SelectRead, ms / 1000, (ms % 1000) * 1000L) <= 0 || !socket.IsReadable())
        return false;
    char byte;
    return socket.Recv(&byte, 1) <= 0;
}

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

} // namespace

TEST(StandInTree, DefaultTreeAnswersByteExactAtEveryLevel)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    auto c = Connect(standIn);
    EXPECT_EQ(Ask(*c, "GetBonList"), "0\t0\t0\tBonDriver_PT3-T.dll\t2\tBonDriver_PT3-S.dll");
    EXPECT_EQ(Ask(*c, "GetSpaceList"), "0\t0\t0\t" + Terrestrial);
    EXPECT_EQ(Ask(*c, "GetChList"), "0\t3\t3\t27ch\t5\t26ch\t8\t25ch\t12\t" + SpareChannel);
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t1024\t1024\t" + NhkSogo1 + "\t1025\t" + NhkSogo2);
    EXPECT_EQ(Ask(*c, "GetNowPgInfo"), "0\t" + NhkSogo1 + "\t20:45-21:00\t" + News);
    EXPECT_EQ(Ask(*c, "GetNextPgInfo"), "0\t" + NhkSogo1 + "\t21:00-21:30\t" + Weather);

    EXPECT_EQ(Ask(*c, "SetBon:2"), "0");
    EXPECT_EQ(Ask(*c, "GetSpaceList"), "0\t1\t1\tBS\t4\tCS110");
    EXPECT_EQ(Ask(*c, "GetChList"), "0\t0\t0\tBS01/TS0\t5\tBS13/TS0\t6\tBS15/TS0");
    EXPECT_EQ(Ask(*c, "SetSpace:4"), "0");
    EXPECT_EQ(Ask(*c, "GetChList"), "0\t1\t1\tND02");
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t55\t55\t" + ShopChannel);

    // The channel without services: an empty list, no current, no programme.
    EXPECT_EQ(Ask(*c, "SetBon:0"), "0");
    EXPECT_EQ(Ask(*c, "SetCh:12"), "0");
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t-1");
    EXPECT_EQ(Ask(*c, "GetNowPgInfo"), "1");

    // The second service list spans the whole space; SetService2 tunes
    // channel and service together.
    EXPECT_EQ(Ask(*c, "SetService2:1034"), "0");
    EXPECT_EQ(Ask(*c, "GetChList").substr(0, 4), "0\t5\t");
    const std::string list2 = Ask(*c, "GetServiceList2");
    EXPECT_EQ(list2.substr(0, 36), "0\t1034\t1024\t" + NhkSogo1 + "\t1025\t");
    EXPECT_NE(list2.find("\t1040\t"), std::string::npos);
    EXPECT_EQ(Ask(*c, "SetService2:55"), "1");
}

TEST(StandInSelection, SetsFollowTheHierarchyAndAreSharedByConnections)
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
    EXPECT_EQ(a.GetBonList(list, &current), 0);
    EXPECT_EQ(current, 0);

    // SetBon resets every lower level.
    EXPECT_EQ(a.SetBon(2), 0);
    EXPECT_EQ(b.GetSpaceList(list, &current), 0);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(b.GetChList(list, &current), 0);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(b.GetServiceList(list, &current), 0);
    EXPECT_EQ(current, 151);

    // A set request with bytes after its number is still recognised.
    auto raw = Connect(standIn);
    EXPECT_EQ(Ask(*raw, "SetCh:6\r\n"), "0");
    EXPECT_EQ(b.GetChList(list, &current), 0);
    EXPECT_EQ(current, 6);
}

TEST(StandInSelection, InitialSelectionAndUnknownCurrent)
{
    StandIn selected;
    ASSERT_TRUE(selected.Start({"--select", "2,4,1,55"}));
    auto c = Connect(selected);
    EXPECT_EQ(Ask(*c, "GetBonList").substr(0, 4), "0\t2\t");
    EXPECT_EQ(Ask(*c, "GetSpaceList"), "0\t4\t1\tBS\t4\tCS110");
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t55\t55\t" + ShopChannel);

    StandIn unknown;
    ASSERT_TRUE(unknown.Start({"--current-unknown", "--select", "0,0,8"}));
    auto u = Connect(unknown);
    EXPECT_EQ(Ask(*u, "GetSpaceList"), "0\t-1\t0\t" + Terrestrial);
    EXPECT_EQ(Ask(*u, "GetServiceList").substr(0, 10), "0\t-1\t1040\t");

    StandIn wrong;
    EXPECT_FALSE(wrong.Start({"--select", "0,1"}));
    EXPECT_EQ(wrong.WaitForExit(5000), 2);
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
    auto c = Connect(custom);
    EXPECT_EQ(Ask(*c, "GetBonList"), "0\t7\t7\tBonDriver_A.dll\t9\tBonDriver_B.dll");
    EXPECT_EQ(Ask(*c, "GetSpaceList"), "0\t-1\t-1\t" + bytes);
    EXPECT_EQ(Ask(*c, "GetChList"), "0\t16\t16\tX\\Y");
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t65535\t65535\t");
    EXPECT_EQ(Ask(*c, "SetBon:9"), "0");
    EXPECT_EQ(Ask(*c, "GetSpaceList"), "0\t-1");
    EXPECT_EQ(Ask(*c, "GetServiceList"), "0\t-1");
    EXPECT_EQ(Ask(*c, "SetSpace:0"), "1");

    StandIn empty;
    ASSERT_TRUE(ReplaceFileAtomically(empty.File("tree.txt"), "# nothing\n"));
    ASSERT_TRUE(empty.Start({"--tree", empty.File("tree.txt")}));
    auto e = Connect(empty);
    EXPECT_EQ(Ask(*e, "GetBonList"), "0\t-1");
    EXPECT_EQ(Ask(*e, "GetChList"), "0\t-1");
    EXPECT_EQ(Ask(*e, "SetBon:0"), "1");
    EXPECT_EQ(Ask(*e, "GetNextPgInfo"), "1");

    for (const std::string bad : {"space\tS\t0\n", "bon\tB\n", "bon\tB\t1x\n", "tuner\tB\t1\n"}) {
        StandIn broken;
        ASSERT_TRUE(ReplaceFileAtomically(broken.File("tree.txt"), bad));
        EXPECT_FALSE(broken.Start({"--tree", broken.File("tree.txt")})) << bad;
        EXPECT_EQ(broken.WaitForExit(5000), 2) << bad;
    }
}

TEST(StandInLog, EveryRequestIsLoggedEscapedBeforeItsReply)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    {
        auto c = Connect(standIn);
        EXPECT_EQ(Ask(*c, "GetBonList").substr(0, 4), "0\t0\t");
        // Read at once: the line must be there by the time the reply is.
        EXPECT_EQ(standIn.Requests(), std::vector<std::string>{"GetBonList"});
        EXPECT_EQ(Ask(*c, "SetCh:5\r\n"), "0");
        EXPECT_EQ(standIn.Requests().back(), "SetCh:5\\r\\n");
        // An unknown request is logged, then its connection is closed.
        const Reply unknown = Exchange(*c, std::string("\x82\x6D\t\\#") + '\0' + "ignored");
        EXPECT_TRUE(unknown.closed);
        EXPECT_EQ(unknown.bytes, "");
    }
    {
        auto c = Connect(standIn);
        const Reply lower = Exchange(*c, "getbonlist");
        EXPECT_TRUE(lower.closed);
        EXPECT_EQ(lower.bytes, "");
    }
    {
        auto c = Connect(standIn);
        EXPECT_TRUE(Exchange(*c, "#close").closed);
    }
    {
        auto c = Connect(standIn);
        EXPECT_EQ(Ask(*c, "GetChList").substr(0, 4), "0\t5\t");
    } // the client closes this one
    const std::vector<std::string> expected{
        "#open", "GetBonList", "SetCh:5\\r\\n", "\\x82m\\t\\\\#", "#close",
        "#open", "getbonlist", "#close",
        "#open", "\\x23close", "#close",
        "#open", "GetChList", "#close"};
    EXPECT_TRUE(Eventually([&] { return standIn.LogLines().size() >= expected.size(); }));
    EXPECT_EQ(standIn.LogLines(), expected);
    EXPECT_EQ(standIn.Requests().size(), 6u);
}

TEST(StandInFaults, DelayHoldsBackTheReplyButNotOtherConnections)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start({"--delay", "GetChList=800"}));
    auto slow = Connect(standIn);
    auto other = Connect(standIn);
    const auto start = Clock::now();
    ASSERT_EQ(slow->Send("GetChList", 9), 9);
    // The other connection is answered while the first waits.
    EXPECT_EQ(Ask(*other, "GetBonList").substr(0, 4), "0\t0\t");
    EXPECT_LT(Clock::now() - start, 700ms);
    const Reply delayed = Exchange(*slow, "", 5000);
    EXPECT_EQ(delayed.bytes.substr(0, 4), "0\t3\t");
    EXPECT_GE(Clock::now() - start, 800ms);
    // Commands not named are not delayed.
    const Reply quick = Exchange(*slow, "SetCh:5");
    EXPECT_EQ(quick.bytes, "0");
    EXPECT_LT(quick.firstMs, 600);

    StandIn all;
    ASSERT_TRUE(all.Start({"--delay", "300"}));
    auto c = Connect(all);
    const Reply status = Exchange(*c, "SetBon:2");
    EXPECT_EQ(status.bytes, "0");
    EXPECT_GE(status.firstMs, 290);
}

TEST(StandInFaults, SplitSendsListAndTextRepliesInTwoPieces)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start({"--split", "400"}));
    auto c = Connect(standIn);
    const std::string whole = "0\t0\t0\tBonDriver_PT3-T.dll\t2\tBonDriver_PT3-S.dll";
    // With a quiet period shorter than the gap, the first piece comes alone.
    const Reply first = Exchange(*c, "GetBonList", 5000, 150);
    EXPECT_EQ(first.bytes, whole.substr(0, whole.size() / 2));
    const Reply rest = Exchange(*c, "", 5000, 150);
    EXPECT_EQ(first.bytes + rest.bytes, whole);
    const Reply text = Exchange(*c, "GetNowPgInfo", 5000, 1000);
    EXPECT_EQ(text.bytes, "0\t" + NhkSogo1 + "\t20:45-21:00\t" + News);
    // Status replies stay whole.
    EXPECT_EQ(Exchange(*c, "SetBon:0", 5000, 600).bytes, "0");
    // The plain client takes the first piece as the whole reply.
    CNetRemocon client(ConnectSocket("127.0.0.1", standIn.Port()), true);
    NamedNumberList list;
    EXPECT_EQ(client.GetBonList(list, nullptr), 0);
    EXPECT_EQ(list.size(), 1u);
}

TEST(StandInFaults, CloseAndSilentSwitches)
{
    StandIn closeOn;
    ASSERT_TRUE(closeOn.Start({"--close-on", "SetCh"}));
    auto c = Connect(closeOn);
    EXPECT_EQ(Ask(*c, "SetCh:5"), "");
    EXPECT_TRUE(c->PeerClosed());
    c = Connect(closeOn);
    EXPECT_EQ(Ask(*c, "GetChList").substr(0, 4), "0\t3\t"); // not carried out
    EXPECT_EQ(Ask(*c, "SetCh:8"), "");

    StandIn closeAll;
    ASSERT_TRUE(closeAll.Start({"--close"}));
    c = Connect(closeAll);
    const Reply closed = Exchange(*c, "GetBonList");
    EXPECT_TRUE(closed.closed);
    EXPECT_EQ(closed.bytes, "");

    StandIn silentOn;
    ASSERT_TRUE(silentOn.Start({"--silent-on", "GetNowPgInfo"}));
    c = Connect(silentOn);
    const Reply none = Exchange(*c, "GetNowPgInfo", 500);
    EXPECT_FALSE(none.closed);
    EXPECT_EQ(none.bytes, "");
    // Still open and served.
    EXPECT_EQ(Ask(*c, "SetBon:2"), "0");
    EXPECT_EQ(silentOn.Requests(), (std::vector<std::string>{"GetNowPgInfo", "SetBon:2"}));

    StandIn silent;
    ASSERT_TRUE(silent.Start({"--silent"}));
    c = Connect(silent);
    const Reply nothing = Exchange(*c, "GetBonList", 500);
    EXPECT_FALSE(nothing.closed);
    EXPECT_EQ(nothing.bytes, "");
    EXPECT_FALSE(ClosedWithin(*c, 200));
}

TEST(StandInFaults, SetStatusAnswersEverySetAndChangesNothing)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start({"--set-status", "5"}));
    auto c = Connect(standIn);
    EXPECT_EQ(Ask(*c, "SetBon:2"), "5");
    EXPECT_EQ(Ask(*c, "SetCh:5"), "5");
    EXPECT_EQ(Ask(*c, "SetService:99"), "5");
    EXPECT_EQ(Ask(*c, "GetBonList").substr(0, 4), "0\t0\t");
    EXPECT_EQ(Ask(*c, "GetChList").substr(0, 4), "0\t3\t");
}

TEST(StandInFaults, ExitAfterEndsTheProcessAtTheNextRequest)
{
    StandIn standIn;
    ASSERT_TRUE(standIn.Start({"--exit-after", "2"}));
    auto a = Connect(standIn);
    auto b = Connect(standIn);
    EXPECT_EQ(Ask(*a, "SetBon:2"), "0");
    EXPECT_EQ(Ask(*b, "GetBonList").substr(0, 4), "0\t2\t");
    const Reply last = Exchange(*a, "GetChList");
    EXPECT_TRUE(last.closed);
    EXPECT_EQ(last.bytes, "");
    EXPECT_EQ(standIn.WaitForExit(5000), 3);
    EXPECT_TRUE(ClosedWithin(*b, 2000));
    EXPECT_EQ(standIn.Requests(), (std::vector<std::string>{"SetBon:2", "GetBonList", "GetChList"}));
}

TEST(StandInProcess, HelpBadArgumentsAndStop)
{
    ChildProcess help;
    ASSERT_TRUE(help.Start(ToolPath("vernwick-standin"), {"--help"}));
    EXPECT_EQ(help.Wait(10000), 0);
    for (const std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--port"}, {"--port", "70000"}, {"--close-on", "GetAll"}, {"--delay", "SetCh=x"}}) {
        StandIn wrong;
        EXPECT_FALSE(wrong.Start(args)) << args[0];
        EXPECT_EQ(wrong.WaitForExit(5000), 2) << args[0];
    }
    StandIn standIn;
    ASSERT_TRUE(standIn.Start());
    auto c = Connect(standIn);
    EXPECT_EQ(Ask(*c, "SetBon:0"), "0");
    standIn.Stop();
    EXPECT_FALSE(standIn.Running());
    EXPECT_TRUE(ClosedWithin(*c, 2000));
}
