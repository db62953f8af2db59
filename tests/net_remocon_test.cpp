#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "remocon/net_remocon.h"
#include "remocon/patched_net_remocon.h"
#include "support/scripted_peer.h"

using namespace std::chrono_literals;

TEST(NetRemoconExchange, PiecesWithinTheQuietPeriodAreOneReplyAndAPauseCutsIt)
{
    // Back to back, and longer than one receive: one reply of two entries.
    const std::string longName(300, 'A');
    ScriptedPeer peer({{Bytes("0\t1\t0\t" + longName), Bytes("\t1\tBeta")},
                       {Bytes("0\t0\t1\tOne"), PauseMs(15), Bytes("\t2\tTwo")}});
    CNetRemocon client(ConnectLoopback(peer.Port()), true);
    NamedNumberList list;
    std::int32_t current = -5;
    EXPECT_EQ(client.GetBonList(list, &current), 0);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(list, (NamedNumberList{{longName, 0}, {"Beta", 1}}));

    // 15 ms apart: the reply ends at the pause.
    EXPECT_EQ(client.GetChList(list, nullptr), 0);
    EXPECT_EQ(list, (NamedNumberList{{"One", 1}}));
    std::this_thread::sleep_for(100ms);
    // Its rest, waiting now, would answer the next request: it is thrown away,
    // and the link is out of step, to be replaced, as after a time-out.
    EXPECT_FALSE(client.OutOfStep());
    EXPECT_EQ(client.GetNowPgInfo(), FailedText);
    EXPECT_TRUE(client.OutOfStep());
    EXPECT_EQ(client.DiscardedBytes(), 6);
    EXPECT_EQ(peer.Requests(), (std::vector<std::string>{"GetBonList", "GetChList"}));
}

TEST(NetRemoconExchange, FailuresGiveMinusOneAndLeaveTheCallersValues)
{
    ScriptedPeer peer({
        {Bytes("0\t-1")},            // too few fields
        {Bytes("0\t-1\t7\tSeven\t")}, // current -1 keeps the caller's; trailing TAB dropped
        {Bytes("0")},                 // status reply
        {Bytes("12 trailing")},       // status read with the C library's rules
        {Bytes("now on air")},
        {CloseConnection()},
    });
    CNetRemocon client(ConnectLoopback(peer.Port()), true);
    NamedNumberList list{{"keep", 3}};
    std::int32_t current = 9;
    EXPECT_EQ(client.GetServiceList(list, &current), StatusFailed);
    EXPECT_EQ(list, (NamedNumberList{{"keep", 3}}));
    EXPECT_EQ(current, 9);
    EXPECT_EQ(client.GetSpaceList(list, &current), 0);
    EXPECT_EQ(current, 9);
    EXPECT_EQ(list, (NamedNumberList{{"Seven", 7}}));
    EXPECT_EQ(client.SetBon(1), 0);
    EXPECT_EQ(client.SetService(1040), 12);
    EXPECT_EQ(client.GetNowPgInfo(), "now on air");
    // The peer closes before answering: a text exchange gives an empty text,
    // and a list exchange after it fails at once.
    EXPECT_EQ(client.GetNextPgInfo(), "");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.GetBonList(list, &current), StatusFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(client.SetCh(1), StatusFailed);
    EXPECT_EQ(peer.Requests(), (std::vector<std::string>{"GetServiceList", "GetSpaceList", "SetBon:1",
                                                          "SetService:1040", "GetNowPgInfo", "GetNextPgInfo"}));
}

TEST(NetRemoconExchange, AnUpstreamThatNeverAnswersFailsAfterTheReplyTimeout)
{
    // A list exchange, and (on the virtual tuner's forwarding) a status one.
    ScriptedPeer peer({{StaySilent()}}), statusPeer({{StaySilent()}});
    CNetRemocon client(ConnectLoopback(peer.Port()), true);
    client.SetReplyTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    NamedNumberList list;
    EXPECT_EQ(client.GetBonList(list, nullptr), StatusFailed);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 3s);
    EXPECT_TRUE(client.OutOfStep());
    // The link is out of step now: nothing more is sent on it.
    EXPECT_EQ(client.SetBon(0), StatusFailed);
    EXPECT_EQ(client.GetNowPgInfo(), FailedText);
    EXPECT_EQ(peer.Requests().size(), 1u);
    EXPECT_GE(ReplyTimeoutMs, 10000) << "EpgDataCap_Bon needs seconds to open a tuner driver";

    CPatchedNetRemocon patched({}, {}, ConnectLoopback(statusPeer.Port()), true, true);
    patched.SetReplyTimeout(200);
    EXPECT_EQ(patched.SetService(5), StatusFailed);
    EXPECT_TRUE(patched.OutOfStep());
}
