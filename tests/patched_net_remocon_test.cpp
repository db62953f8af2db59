// The virtual tuner against the stand-in EpgDataCap_Bon: which requests a
// channel selection really sends, level by level.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "net/socket.h"
#include "remocon/patched_net_remocon.h"
#include "support/alias_rows.h"
#include "support/standin.h"

namespace {

using Requests = std::vector<std::string>;

// Services of the stand-in's built-in tree, on both of its BonDrivers.
BonAliasList Aliases()
{
    return {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024), AliasRow(3, 2, 4, 1, 55)};
}

NamedNumberList Channels()
{
    return {{"Sogo2", 0}, {"BS NTV", 1}, {"Sogo1", 2}, {"Shop", 3}};
}

// The requests that arrived since the last call.
struct Log {
    const StandIn& standin;
    std::size_t seen = 0;
    Requests Next() { return standin.RequestsSince(seen); }
};

std::unique_ptr<CPatchedNetRemocon> Link(const StandIn& standin, bool multiTuner)
{
    const socket_t s = ConnectSocket("127.0.0.1", standin.Port());
    if (s == InvalidSocket)
        return nullptr;
    return std::make_unique<CPatchedNetRemocon>(Channels(), Aliases(), s, multiTuner, true);
}

} // namespace

TEST(VirtualTuner, SetChSendsOnlyTheLevelsThatDiffer)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    auto link = Link(standin, true);
    ASSERT_TRUE(link);
    Log log{standin};

    // The stand-in starts on its first service, 1024 on channel 3.
    EXPECT_EQ(link->SetCh(0), 0);
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "GetSpaceList", "GetChList", "GetServiceList", "SetService:1025"}));
    EXPECT_EQ(link->CurrentChannel(), 0);

    // Another driver: SetBon puts the lower levels on their first entries
    // (space 1, channel 0, service 151), so only the channel differs after it,
    // and the channel switch brings its first service, which is the one wanted.
    EXPECT_EQ(link->SetCh(1), 0);
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "SetBon:2", "GetSpaceList", "GetChList", "SetCh:5", "GetServiceList"}));

    EXPECT_EQ(link->SetCh(3), 0);
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}));

    // Already there: the four queries and nothing else.
    EXPECT_EQ(link->SetService2(3), 0);
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "GetSpaceList", "GetChList", "GetServiceList"}));
    EXPECT_EQ(link->CurrentChannel(), 3);

    // Out of range, also as an unsigned -1: refused, nothing sent, current kept.
    EXPECT_EQ(link->SetCh(4), 2);
    EXPECT_EQ(link->SetCh(-1), 2);
    EXPECT_EQ(link->CurrentChannel(), 3);

    // The virtual tuner's own answers send nothing either.
    NamedNumberList list;
    std::int32_t current = -7;
    EXPECT_EQ(link->GetBonList(list, &current), 0);
    EXPECT_EQ(list, (NamedNumberList{{"TVTest", 0}}));
    EXPECT_EQ(link->GetChList(list, &current), 0);
    EXPECT_EQ(list, Channels());
    EXPECT_EQ(current, 3);
    EXPECT_EQ(link->SetBon(0), 0);
    EXPECT_EQ(link->SetSpace(1), 2);
    EXPECT_TRUE(log.Next().empty());

    // Forwarded ones go through as they are.
    EXPECT_EQ(link->GetServiceList(list, &current), 0);
    EXPECT_EQ(current, 55);
    EXPECT_EQ(log.Next(), Requests{"GetServiceList"});
}

TEST(VirtualTuner, MultiTunerOffRefusesAnotherDriverAfterAsking)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start({"--select", "2,1,5,141"}));
    auto link = Link(standin, false);
    ASSERT_TRUE(link);
    Log log{standin};

    link->SyncCurrentChannel();
    EXPECT_EQ(link->CurrentChannel(), 1);
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "GetSpaceList", "GetChList", "GetServiceList"}));

    EXPECT_EQ(link->SetCh(0), 2);
    EXPECT_EQ(log.Next(), Requests{"GetBonList"});
    EXPECT_EQ(link->CurrentChannel(), 0); // recorded although refused

    EXPECT_EQ(link->SetCh(3), 0); // same driver
    EXPECT_EQ(log.Next(), (Requests{"GetBonList", "GetSpaceList", "SetSpace:4", "GetChList", "GetServiceList"}));
}

TEST(VirtualTuner, FailuresStopTheSwitchAtTheirLevel)
{
    {
        // Unknown current values are -1, so every level is selected.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--current-unknown"}));
        auto link = Link(standin, true);
        ASSERT_TRUE(link);
        link->SyncCurrentChannel();
        EXPECT_EQ(link->CurrentChannel(), 0);
        Log log{standin};
        log.Next();
        EXPECT_EQ(link->SetCh(2), 0);
        EXPECT_EQ(log.Next(), (Requests{"GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "SetCh:3",
                                        "GetServiceList", "SetService:1024"}));
    }
    {
        // A refused selection is passed on and ends the switch there.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--set-status", "5"}));
        auto link = Link(standin, true);
        ASSERT_TRUE(link);
        Log log{standin};
        EXPECT_EQ(link->SetCh(1), 5);
        EXPECT_EQ(log.Next(), (Requests{"GetBonList", "SetBon:2"}));
    }
    {
        // EpgDataCap_Bon going away in the middle: -1, nothing more is sent.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--exit-after", "2"}));
        auto link = Link(standin, true);
        ASSERT_TRUE(link);
        EXPECT_EQ(link->SetCh(1), -1);
        EXPECT_EQ(standin.WaitForExit(5000), 3);
        EXPECT_EQ(standin.Requests(), (Requests{"GetBonList", "SetBon:2", "GetSpaceList"}));
        EXPECT_EQ(link->SetCh(0), -1);
        EXPECT_EQ(link->CurrentChannel(), 0);
    }
}

TEST(VirtualTuner, TwoLinksOnTwoThreadsNeverOverlapTheirExchanges)
{
    // Every reply takes a little while, so that two exchanges would overlap
    // without the "Tuner" lock; the stand-in notes a request that arrives
    // while another is being answered.
    StandIn standin;
    ASSERT_TRUE(standin.Start({"--delay", "2"}));
    auto first = Link(standin, true);
    auto second = Link(standin, true);
    ASSERT_TRUE(first && second);
    // Whole selections may interleave (that is what "Remocon" is for), so
    // some of them fail; single exchanges may not.
    const auto run = [&](CPatchedNetRemocon& link, int offset) {
        NamedNumberList list;
        for (int i = 0; i < 12; ++i) {
            link.SetCh((i + offset) % 4);
            link.GetServiceList(list, nullptr);
        }
    };
    std::thread other([&] { run(*second, 1); });
    run(*first, 0);
    other.join();
    EXPECT_FALSE(first->OutOfStep() || second->OutOfStep());
    const auto lines = standin.LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "#overlap"), 0);
    EXPECT_GE(standin.Requests().size(), 2u * 12 * 5);
}
