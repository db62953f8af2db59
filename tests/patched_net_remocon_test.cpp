// Two virtual-tuner links to one EpgDataCap_Bon, as two copies of the server
// would have: each exchange is theirs alone.
#include <gtest/gtest.h>

#include <thread>

#include "net/socket.h"
#include "remocon/patched_net_remocon.h"
#include "support/alias_rows.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/viewer_client.h"

TEST(VirtualTuner, TwoLinksOnTwoThreadsNeverOverlapTheirExchanges)
{
    // Every reply takes a little while, so that two exchanges would overlap
    // without the "Tuner" lock; the stand-in notes a request that arrives
    // while another is being answered.
    StandIn standin;
    ASSERT_TRUE(standin.Start({"--delay", "2", "--delay", "GetNowPgInfo=1000"}));
    {
        // The mark this test relies on: two plain connections do overlap.
        ViewerClient slow, quick;
        ASSERT_TRUE(slow.Connect(standin.Port()) && quick.Connect(standin.Port()));
        ASSERT_TRUE(slow.Send("GetNowPgInfo"));
        ASSERT_TRUE(WaitFor([&] { return standin.Requests().size() == 1; }, 5000));
        EXPECT_EQ(quick.Ask("GetBonList").value_or("").substr(0, 2), "0\t");
        EXPECT_EQ(CountLines(standin.LogLines(), "#overlap"), 1u);
        EXPECT_TRUE(slow.Receive(5000));
    }
    const BonAliasList aliases{AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024),
                               AliasRow(3, 2, 4, 1, 55)};
    const auto link = [&] {
        return std::make_unique<CPatchedNetRemocon>(NamedNumberList{}, aliases,
                                                    ConnectSocket("127.0.0.1", standin.Port()), true, true);
    };
    auto first = link();
    auto second = link();
    // Whole selections may interleave (that is what "Remocon" is for), so
    // some of them fail; single exchanges may not.
    const auto run = [&](CPatchedNetRemocon& remocon, int offset) {
        NamedNumberList list;
        for (int i = 0; i < 12; ++i) {
            remocon.SetCh((i + offset) % 4);
            remocon.GetServiceList(list, nullptr);
        }
    };
    const std::size_t before = standin.Requests().size();
    std::thread other([&] { run(*second, 1); });
    run(*first, 0);
    other.join();
    EXPECT_FALSE(first->OutOfStep() || second->OutOfStep());
    EXPECT_EQ(CountLines(standin.LogLines(), "#overlap"), 1u);
    EXPECT_GE(standin.Requests().size() - before, 2u * 12 * 5);
}
