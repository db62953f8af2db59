// The patch server under hostile or careless viewers and a starved system:
// each case ends at most the connection that caused it, every other viewer
// is served on, and no thread or descriptor is left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "remocon/protocol.h"
#include "support/cli_server.h"
#include "support/out_of_band.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/viewer_client.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* TVTestList = "0\t0\t0\tTVTest";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true; // they reserve vast address space of their own
#else
constexpr bool Sanitized = false;
#endif

// Resources of the server once every session but the ones kept has gone.
bool SettlesAt(const CliServer& server, const std::optional<ResourceCounts>& expected)
{
    if (!expected)
        return true;
    return WaitFor([&] { return CountResources(server.Id()) == expected; }, 10000);
}

// One hostile viewer of the given kind, left open when it is to linger.
std::unique_ptr<ViewerClient> Hostile(std::uint16_t port, int kind)
{
    auto viewer = std::make_unique<ViewerClient>();
    if (!viewer->Connect(port))
        return viewer;
    std::string padded = "GetChList";
    padded.resize(RequestBufferSize - 1, '\0');
    switch (kind) {
    case 0: // gone at once
        viewer->Disconnect();
        break;
    case 1: // an unknown request
        viewer->Send("Hello");
        break;
    case 2: // more than one receive of junk
        viewer->Send(std::string(700, 'x'));
        break;
    case 3: // an out-of-band byte
        SendOutOfBand(viewer->Socket());
        break;
    case 4: // half a request, then gone
        viewer->Send("GetCh");
        viewer->Disconnect();
        break;
    case 5: // a request, gone before the reply
        viewer->Send("SetCh:1");
        viewer->Disconnect();
        break;
    case 6: // many requests, no reading, then gone
        for (int i = 0; i < 20; ++i)
            viewer->Send(padded);
        viewer->Disconnect();
        break;
    default: // connected and silent
        break;
    }
    return viewer;
}

} // namespace

TEST(PatchServerAbuse, HostileViewersEndOnlyTheirOwnConnectionsAndLeaveNothingBehind)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    ConfigureChannels(server, standin.Port());
    server.settings.MaxViewers = 40;
    ASSERT_TRUE(server.Start()) << server.Errors();
    ViewerClient good;
    ASSERT_TRUE(good.Connect(server.Port()));
    ASSERT_EQ(good.Ask("SetCh:1"), "0");
    const auto before = CountResources(server.Id());

    // 300 connections in waves, every kind in each wave; the last wave is
    // all silent ones, more than the 40 viewers allowed at once (MaxViewers
    // in the settings file): those beyond are closed at once.
    // Each is let in before the next few come: a burst beyond the backlog of
    // 10 would only wait for the system's second connect attempt.
    std::size_t accepted = 0;
    const auto acceptedAll = [&] {
        const std::string out = server.Output();
        return CountText(out, "viewer connected") + CountText(out, "viewer refused") >= accepted;
    };
    for (int wave = 0; wave < 5; ++wave) {
        std::vector<std::unique_ptr<ViewerClient>> viewers;
        for (int i = 0; i < (wave == 4 ? 80 : 55); ++i) {
            viewers.push_back(Hostile(server.Port(), wave == 4 ? 7 : i % 8));
            if (++accepted % 5 == 0)
                ASSERT_TRUE(WaitFor(acceptedAll, 10000)) << server.Output();
        }
        EXPECT_EQ(good.Ask("GetServiceList").value_or("").substr(0, 2), "0\t") << wave;
        if (wave == 4)
            EXPECT_TRUE(viewers.back()->ClosedByServer(2000));
        viewers.clear();
        EXPECT_EQ(good.Ask("SetCh:3"), "0") << wave;
    }
    EXPECT_EQ(CountText(server.Output(), "viewer refused: MaxViewers reached, viewers now 40"), 80u - 39u)
        << server.Output();
    EXPECT_TRUE(server.Running());
    EXPECT_TRUE(SettlesAt(server, before));
    EXPECT_EQ(good.Ask("GetChList").value_or("").substr(0, 3), "0\t3");
}

TEST(PatchServerAbuse, ManyConnectionCyclesLeaveNothingBehind)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    ConfigureChannels(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();
    const auto idle = CountResources(server.Id());
    constexpr int Cycles = 1000;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        // Every tenth one goes upstream, beyond the link's own set-up.
        const std::string request = cycle % 10 ? "GetBonList" : "SetCh:" + std::to_string(cycle / 10 % 4);
        ASSERT_EQ(viewer.Ask(request, 5000, 2).value_or("").substr(0, 1), "0") << cycle;
    }
    // Every session ended, and every link was dropped with its last viewer.
    EXPECT_TRUE(WaitFor([&] {
        const std::string out = server.Output();
        return CountText(out, "viewer disconnected") == Cycles && out.rfind("viewers now 0\n") != std::string::npos;
    }, 20000)) << server.Output();
    EXPECT_TRUE(WaitFor([&] {
        const auto lines = standin.LogLines();
        return CountLines(lines, "#open") >= 1 && CountLines(lines, "#open") == CountLines(lines, "#close");
    }, 10000));
    EXPECT_TRUE(SettlesAt(server, idle));
}

TEST(PatchServerAbuse, StarvedTheServerWaitsWithoutSpinningOrClosesOnlyTheConnectionWithoutAThread)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    ConfigureChannels(server, standin.Port());
    ASSERT_TRUE(server.Start()) << server.Errors();
    ViewerClient first, waiting, refused, later;
    ASSERT_TRUE(first.Connect(server.Port()));
    ASSERT_EQ(first.Ask("SetCh:1"), "0");
    {
        // Out of descriptors, a connection cannot be accepted and stays
        // waiting; the server does not spin on it meanwhile, and serves the
        // viewer it has.
        TightLimit limit(server.Id(), TightLimit::Descriptors, 0);
        if (!limit.Applied())
            GTEST_SKIP() << "this system cannot limit another process";
        ASSERT_TRUE(waiting.Connect(server.Port()));
        const long cpu = CpuTimeMs(server.Id()).value_or(0);
        std::this_thread::sleep_for(1s);
        EXPECT_LT(CpuTimeMs(server.Id()).value_or(0) - cpu, 300);
        EXPECT_EQ(first.Ask("GetBonList"), TVTestList);
        EXPECT_EQ(CountText(server.Output(), "viewer connected"), 1u) << server.Output();
    }
    EXPECT_EQ(waiting.Ask("GetBonList"), TVTestList);
    if (Sanitized)
        GTEST_SKIP() << "a sanitizer reserves address space that no limit can leave room for";
    {
        // No session has ended yet, so no thread stack is kept for reuse:
        // another thread needs address space that is not there.
        TightLimit limit(server.Id(), TightLimit::AddressSpace, 1024);
        ASSERT_TRUE(limit.Applied());
        ASSERT_TRUE(refused.Connect(server.Port()));
        EXPECT_TRUE(refused.ClosedByServer(5000));
        EXPECT_TRUE(server.WaitForOutput("viewer refused: no thread for its session", 5000)) << server.Output();
        EXPECT_EQ(first.Ask("GetBonList"), TVTestList);
    }
    ASSERT_TRUE(later.Connect(server.Port()));
    EXPECT_EQ(later.Ask("GetChList").value_or("").substr(0, 3), "0\t1");
    EXPECT_TRUE(server.Running());
}
