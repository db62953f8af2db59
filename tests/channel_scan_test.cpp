// The channel scan against the stand-in EpgDataCap_Bon, on the caller's
// thread and on a thread of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "channel/channel_scan.h"
#include "channel/channel_scan_thread.h"
#include "common/file_io.h"
#include "support/free_port.h"
#include "support/server_fixture.h"
#include "support/standin.h"

namespace {

using Requests = std::vector<std::string>;

// What a scan reported: its rows, and its rows and texts as they came.
class Recorder : public ChannelScanSink {
public:
    void RowFound(const BON_ALIAS& row) override
    {
        rows.push_back(row);
        sequence.push_back("row " + std::to_string(row.index) + " " + row.srv.name);
    }
    void Progress(const std::string& text) override { sequence.push_back(text); }
    bool CancelRequested() override { return rows.size() >= cancelAtRows; }
    std::vector<BON_ALIAS> rows;
    std::vector<std::string> sequence;
    std::size_t cancelAtRows = SIZE_MAX;
    std::optional<ChannelScanOutcome> outcome; // on a thread of its own
    std::vector<std::uint32_t> Services() const
    {
        std::vector<std::uint32_t> numbers;
        for (const auto& row : rows)
            numbers.push_back(row.srv.number);
        return numbers;
    }
};

// Runs a scan thread and takes its events as a window does, each time it is
// told that news waits, until Ended (at most 20 s); meanwhile runs once the
// thread has started.
Recorder RunScanThread(std::uint16_t port, const std::function<void(TChannelScanThread&)>& meanwhile = {})
{
    std::mutex mutex;
    std::condition_variable told;
    bool news = false;
    TChannelScanThread scan("127.0.0.1", port, true, [&] {
        std::lock_guard<std::mutex> guard(mutex);
        news = true;
        told.notify_all();
    });
    scan.Start();
    if (meanwhile)
        meanwhile(scan);
    Recorder result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::unique_lock<std::mutex> guard(mutex);
    while (!result.outcome && told.wait_until(guard, deadline, [&] { return news; })) {
        news = false;
        guard.unlock();
        for (const ChannelScanEvent& event : scan.TakeEvents()) {
            EXPECT_FALSE(result.outcome) << "an event after the end";
            if (event.kind == ChannelScanEvent::Kind::Row)
                result.RowFound(event.row);
            else if (event.kind == ChannelScanEvent::Kind::Progress)
                result.Progress(event.text);
            else
                result.outcome = event.outcome;
        }
        guard.lock();
    }
    guard.unlock();
    EXPECT_TRUE(result.outcome) << "the scan did not end";
    scan.WaitFor();
    EXPECT_TRUE(scan.TakeEvents().empty());
    return result;
}

// Three BonDrivers; the middle one has a channel without services.
const char* ThreeDrivers = "bon\tA.dll\t0\nspace\tT\t0\nch\tc1\t1\nservice\ta1\t101\n"
                           "bon\tB.dll\t3\nspace\tS\t2\nch\tc7\t7\nservice\tb1\t301\nservice\tb2\t302\nch\tc9\t9\n"
                           "bon\tC.dll\t5\nspace\tU\t0\nch\tc2\t2\nservice\tc1\t501\n";

} // namespace

TEST(ChannelScanThread, WalksEveryLevelInNestedOrderAndReportsAsItGoes)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    const Recorder r = RunScanThread(standin.Port());
    EXPECT_EQ(r.outcome, ChannelScanOutcome::Completed);
    EXPECT_EQ(standin.Requests(),
              (Requests{"GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "SetCh:3",
                        "GetServiceList", "SetService:1024", "SetService:1025", "SetCh:5", "GetServiceList",
                        "SetService:1032", "SetService:1034", "SetCh:8", "GetServiceList", "SetService:1040",
                        "SetCh:12", "GetServiceList", "SetBon:2", "GetSpaceList", "SetSpace:1", "GetChList",
                        "SetCh:0", "GetServiceList", "SetService:151", "SetCh:5", "GetServiceList",
                        "SetService:141", "SetCh:6", "GetServiceList", "SetService:101", "SetSpace:4", "GetChList",
                        "SetCh:1", "GetServiceList", "SetService:55"}));
    EXPECT_EQ(r.Services(), (std::vector<std::uint32_t>{1024, 1025, 1032, 1034, 1040, 151, 141, 101, 55}));
    ASSERT_EQ(r.rows.size(), 9u);
    for (std::size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.rows[i].index, static_cast<std::int32_t>(i));
    EXPECT_EQ(r.rows[6].bn, (NamedNumber{"BonDriver_PT3-S.dll", 2}));
    EXPECT_EQ(std::pair(r.rows[6].spc.number, r.rows[6].ch.number), std::pair(1u, 5u));
    EXPECT_EQ(std::count(r.sequence.begin(), r.sequence.end(),
                         std::string(ScanningText) + "  bn(2/2)  spc(2/2)  ch(1/1)  srv(1/1)"),
              1);
}

TEST(ChannelScan, MultiTunerOffEmptyTreesLostLinksCancelsAndNoConnection)
{
    // The stand-in's tree (none: its own), its options, MultiTuner, the rows
    // after which a cancel is asked for, and what comes of it.
    const Requests twoServices{"GetBonList", "SetBon:0",       "GetSpaceList",    "SetSpace:0",     "GetChList",
                               "SetCh:3",    "GetServiceList", "SetService:1024", "SetService:1025"};
    for (const auto& [tree, options, multiTuner, cancelAtRows, services, requests] :
         std::vector<std::tuple<const char*, Requests, bool, std::size_t, std::vector<std::uint32_t>, Requests>>{
             // Only the driver in use, in the middle of the list, and no SetBon.
             {ThreeDrivers, {"--select", "3"}, false, SIZE_MAX, {301, 302},
              {"GetBonList", "GetSpaceList", "SetSpace:2", "GetChList", "SetCh:7", "GetServiceList",
               "SetService:301", "SetService:302", "SetCh:9", "GetServiceList"}},
             // Of several drivers with the one in use unknown, none is guessed.
             {ThreeDrivers, {"--current-unknown"}, false, SIZE_MAX, {}, {"GetBonList"}},
             {"# nothing\n", {}, true, SIZE_MAX, {}, {"GetBonList"}},
             // The link goes away at the first of a channel's two services:
             // both got their rows, since a row follows its SetService whatever
             // the reply, and nothing below a failed request is found.
             {nullptr, {"--exit-after", "7"}, true, SIZE_MAX, {1024, 1025},
              Requests(twoServices.begin(), twoServices.end() - 1)},
             // A cancel asked for after the second row: not one request more.
             {nullptr, {}, true, 2, {1024, 1025}, twoServices}}) {
        StandIn standin;
        Requests args = options;
        if (tree) {
            ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), tree));
            args.insert(args.end(), {"--tree", standin.File("tree.txt")});
        }
        ASSERT_TRUE(standin.Start(args));
        Recorder r;
        r.cancelAtRows = cancelAtRows;
        EXPECT_TRUE(ScanChannels("127.0.0.1", standin.Port(), multiTuner, r));
        EXPECT_EQ(r.Services(), services) << ::testing::PrintToString(options);
        EXPECT_EQ(standin.Requests(), requests) << ::testing::PrintToString(options);
    }
    Recorder refused;
    EXPECT_FALSE(ScanChannels("127.0.0.1", FreePort(), true, refused));
    EXPECT_TRUE(refused.rows.empty());
}

TEST(ChannelScanThread, ACancelEndsAtOnceWithoutTheAnswerInFlight)
{
    // Cancelled while EpgDataCap_Bon has stopped answering GetChList:
    // the scan ends at once, not after the reply's 15 s time-out, and
    // nothing is sent after it.
    StandIn standin;
    ASSERT_TRUE(standin.Start({"--silent-on", "GetChList"}));
    std::chrono::steady_clock::time_point cancelled;
    const Recorder run = RunScanThread(standin.Port(), [&](TChannelScanThread& scan) {
        EXPECT_TRUE(WaitFor([&] { return standin.Requests().size() >= 5; }, 10000));
        cancelled = std::chrono::steady_clock::now();
        scan.Cancel();
    });
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(10));
    EXPECT_EQ(run.outcome, ChannelScanOutcome::Cancelled);
    EXPECT_EQ(run.sequence, (std::vector<std::string>{ScanningText}));
    EXPECT_TRUE(WaitFor([&] { return !standin.LogLines().empty() && standin.LogLines().back() == "#close"; }, 10000));
    EXPECT_EQ(standin.LogLines(),
              (Requests{"#open", "GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "#close"}));
    const Recorder refused = RunScanThread(FreePort());
    EXPECT_EQ(refused.outcome, ChannelScanOutcome::ConnectFailed);
    EXPECT_TRUE(refused.sequence.empty());
}
