// The channel scan against the stand-in EpgDataCap_Bon, and the scan and
// make-channels commands feeding "serve" as a person at a terminal uses them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan.h"
#include "channel/channel_scan_thread.h"
#include "common/file_io.h"
#include "net/socket.h"
#include "support/cli_server.h"
#include "support/free_port.h"
#include "support/run_tool.h"
#include "support/standin.h"
#include "support/temp_dir.h"
#include "support/viewer_client.h"

namespace {

using Requests = std::vector<std::string>;

class Recorder : public ChannelScanSink {
public:
    void RowFound(const BON_ALIAS& row) override
    {
        rows.push_back(row);
        sequence.push_back("row " + std::to_string(row.index) + " " + row.srv.name);
    }
    void Progress(const std::string& text) override
    {
        progress.push_back(text);
        sequence.push_back(text);
    }
    bool CancelRequested() override { return rows.size() >= cancelAtRows; }
    std::vector<BON_ALIAS> rows;
    std::vector<std::string> progress;
    std::vector<std::string> sequence; // rows and texts as they came
    std::size_t cancelAtRows = SIZE_MAX;
};

Recorder Scan(StandIn& standin, bool multiTuner)
{
    Recorder recorder;
    EXPECT_TRUE(ScanChannels("127.0.0.1", standin.Port(), multiTuner, recorder));
    return recorder;
}

std::vector<std::uint32_t> ServiceNumbers(const Recorder& r)
{
    std::vector<std::uint32_t> numbers;
    for (const auto& row : r.rows)
        numbers.push_back(row.srv.number);
    return numbers;
}

// Three BonDrivers; the middle one has a channel without services.
const char* ThreeDrivers = "bon\tA.dll\t0\nspace\tT\t0\nch\tc1\t1\nservice\ta1\t101\n"
                           "bon\tB.dll\t3\nspace\tS\t2\nch\tc7\t7\nservice\tb1\t301\nservice\tb2\t302\nch\tc9\t9\n"
                           "bon\tC.dll\t5\nspace\tU\t0\nch\tc2\t2\nservice\tc1\t501\n";

} // namespace

TEST(ChannelScan, WalksEveryLevelInNestedOrderAndCountsRowsOverTheWholeScan)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    const Recorder r = Scan(standin, true);
    EXPECT_EQ(standin.Requests(),
              (Requests{"GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "SetCh:3",
                        "GetServiceList", "SetService:1024", "SetService:1025", "SetCh:5", "GetServiceList",
                        "SetService:1032", "SetService:1034", "SetCh:8", "GetServiceList", "SetService:1040",
                        "SetCh:12", "GetServiceList", "SetBon:2", "GetSpaceList", "SetSpace:1", "GetChList",
                        "SetCh:0", "GetServiceList", "SetService:151", "SetCh:5", "GetServiceList",
                        "SetService:141", "SetCh:6", "GetServiceList", "SetService:101", "SetSpace:4", "GetChList",
                        "SetCh:1", "GetServiceList", "SetService:55"}));
    EXPECT_EQ(ServiceNumbers(r), (std::vector<std::uint32_t>{1024, 1025, 1032, 1034, 1040, 151, 141, 101, 55}));
    for (std::size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.rows[i].index, static_cast<std::int32_t>(i));
    ASSERT_FALSE(r.rows.empty());
    EXPECT_EQ(r.rows[6].bn.name, "BonDriver_PT3-S.dll");
    EXPECT_EQ(r.rows[6].bn.number, 2u);
    EXPECT_EQ(r.rows[6].spc.number, 1u);
    EXPECT_EQ(r.rows[6].ch.number, 5u);
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.front(), ScanningText);
    EXPECT_NE(std::find(r.progress.begin(), r.progress.end(),
                        std::string(ScanningText) + "  bn(2/2)  spc(2/2)  ch(1/1)  srv(1/1)"),
              r.progress.end());
}

TEST(ChannelScan, MultiTunerOffEmptyTreesLostLinksAndNoConnection)
{
    {
        // Only the driver in use, in the middle of the list, and no SetBon.
        StandIn standin;
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), ThreeDrivers));
        ASSERT_TRUE(standin.Start({"--tree", standin.File("tree.txt"), "--select", "3"}));
        const Recorder r = Scan(standin, false);
        EXPECT_EQ(ServiceNumbers(r), (std::vector<std::uint32_t>{301, 302}));
        EXPECT_EQ(standin.Requests(), (Requests{"GetBonList", "GetSpaceList", "SetSpace:2", "GetChList", "SetCh:7",
                                                "GetServiceList", "SetService:301", "SetService:302", "SetCh:9",
                                                "GetServiceList"}));
    }
    {
        // Of several drivers with the one in use unknown, none is guessed.
        StandIn standin;
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), ThreeDrivers));
        ASSERT_TRUE(standin.Start({"--tree", standin.File("tree.txt"), "--current-unknown"}));
        EXPECT_TRUE(Scan(standin, false).rows.empty());
        EXPECT_EQ(standin.Requests(), (Requests{"GetBonList"}));
    }
    {
        StandIn standin;
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), "# nothing\n"));
        ASSERT_TRUE(standin.Start({"--tree", standin.File("tree.txt")}));
        const Recorder r = Scan(standin, true);
        EXPECT_TRUE(r.rows.empty());
        EXPECT_EQ(r.progress, (std::vector<std::string>{ScanningText}));
    }
    {
        // The link goes away at the first of a channel's two services: both
        // got their rows, since a row follows its SetService whatever the
        // reply, and nothing below a failed request is found.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--exit-after", "7"}));
        const Recorder r = Scan(standin, true);
        EXPECT_EQ(ServiceNumbers(r), (std::vector<std::uint32_t>{1024, 1025}));
        EXPECT_EQ(standin.Requests().back(), "SetService:1024");
    }
    {
        // A cancel asked for after the second row: not one request more.
        StandIn standin;
        ASSERT_TRUE(standin.Start());
        Recorder r;
        r.cancelAtRows = 2;
        EXPECT_TRUE(ScanChannels("127.0.0.1", standin.Port(), true, r));
        EXPECT_EQ(ServiceNumbers(r), (std::vector<std::uint32_t>{1024, 1025}));
        EXPECT_EQ(standin.Requests(), (Requests{"GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList",
                                                "SetCh:3", "GetServiceList", "SetService:1024", "SetService:1025"}));
    }
    {
        Recorder r;
        EXPECT_FALSE(ScanChannels("127.0.0.1", FreePort(), true, r));
        EXPECT_TRUE(r.rows.empty());
    }
}

namespace {

struct ThreadScan {
    std::vector<std::string> sequence; // rows and texts, as Recorder::sequence
    std::optional<ChannelScanOutcome> outcome;
};

// Runs a scan thread and takes its events as a window does, each time it is
// told that news waits, until Ended (at most 20 s); meanwhile runs once the
// thread has started.
ThreadScan RunScanThread(std::uint16_t port, const std::function<void(TChannelScanThread&)>& meanwhile = {})
{
    std::mutex mutex;
    std::condition_variable told;
    int tells = 0;
    TChannelScanThread scan("127.0.0.1", port, true, [&] {
        std::lock_guard<std::mutex> guard(mutex);
        ++tells;
        told.notify_all();
    });
    scan.Start();
    if (meanwhile)
        meanwhile(scan);
    ThreadScan result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int taken = 0; !result.outcome;) {
        {
            std::unique_lock<std::mutex> guard(mutex);
            if (!told.wait_until(guard, deadline, [&] { return tells > taken; })) {
                ADD_FAILURE() << "the scan did not end";
                break;
            }
            taken = tells;
        }
        for (const ChannelScanEvent& event : scan.TakeEvents()) {
            EXPECT_FALSE(result.outcome) << "an event after the end";
            if (event.kind == ChannelScanEvent::Kind::Row)
                result.sequence.push_back("row " + std::to_string(event.row.index) + " " + event.row.srv.name);
            else if (event.kind == ChannelScanEvent::Kind::Progress)
                result.sequence.push_back(event.text);
            else
                result.outcome = event.outcome;
        }
    }
    scan.WaitFor();
    EXPECT_TRUE(scan.TakeEvents().empty());
    return result;
}

} // namespace

TEST(ChannelScanThread, ReportsAsItGoesAndACancelEndsAtOnceWithoutTheAnswerInFlight)
{
    {
        // The same rows and texts in the same order as a scan on the caller's
        // thread.
        StandIn standin;
        ASSERT_TRUE(standin.Start());
        const Recorder direct = Scan(standin, true);
        const ThreadScan run = RunScanThread(standin.Port());
        EXPECT_EQ(run.sequence, direct.sequence);
        EXPECT_EQ(run.outcome, ChannelScanOutcome::Completed);
    }
    {
        // Cancelled while EpgDataCap_Bon has stopped answering GetChList:
        // the scan ends at once, not after the reply's 15 s time-out, and
        // nothing is sent after it.
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--silent-on", "GetChList"}));
        std::chrono::steady_clock::time_point cancelled;
        const ThreadScan run = RunScanThread(standin.Port(), [&](TChannelScanThread& scan) {
            for (int i = 0; i < 1000 && standin.Requests().size() < 5; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            cancelled = std::chrono::steady_clock::now();
            scan.Cancel();
        });
        EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(5));
        EXPECT_EQ(run.outcome, ChannelScanOutcome::Cancelled);
        EXPECT_EQ(run.sequence, (std::vector<std::string>{ScanningText}));
        for (int i = 0; i < 1000 && (standin.LogLines().empty() || standin.LogLines().back() != "#close"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(standin.LogLines(),
                  (Requests{"#open", "GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "#close"}));
    }
    const ThreadScan refused = RunScanThread(FreePort());
    EXPECT_EQ(refused.outcome, ChannelScanOutcome::ConnectFailed);
    EXPECT_TRUE(refused.sequence.empty());
}

TEST(ChannelCommands, ScanEditMakeChannelsAndServeGiveTheViewerThePickedChannels)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    server.settings.RemoconPort = std::to_string(standin.Port());
    TempDir work;
    SaveSettings(work.File("scan.ini"), server.settings);

    const ToolRun scan = RunTool(work, "vernwick-cli", {"scan", "--ini", work.File("scan.ini")});
    ASSERT_EQ(scan.status, 0) << scan.err;
    const auto lines = Lines(scan.out);
    ASSERT_EQ(lines.size(), 10u) << scan.out;
    EXPECT_EQ(lines[0].front(), '#');
    // Display name, then the eight fields of a ChAlias line; names as UTF-8.
    EXPECT_EQ(lines[1], "ＮＨＫ総合１・東京\tＮＨＫ総合１・東京\t1024\tBonDriver_PT3-T.dll\t0\t地上デジタル\t0\t27ch\t3");
    EXPECT_NE(scan.err.find(ScanningText), std::string::npos);
    EXPECT_EQ(Lines(scan.err).back(), "9 services on 2 BonDrivers");

    // The person keeps three services, reorders them and renames one (with a
    // name in Japanese, typed as UTF-8).
    const std::string picked = "# my pick\n\n" + lines[5] + "\n" + lines[1] + "\n" + "テスト局" +
                               lines[7].substr(lines[7].find('\t')) + "\n";
    ASSERT_TRUE(ReplaceFileAtomically(work.File("picked.txt"), picked));
    const ToolRun make = RunTool(work, "vernwick-cli", {"make-channels", "--channels", server.Folder(), work.File("picked.txt")});
    ASSERT_EQ(make.status, 0) << make.err;
    EXPECT_NE(make.out.find("チャンネルファイルを作成しました。"), std::string::npos);

    // Refused, named and nothing written: a line with a field too few, a
    // display name the viewer cannot take as one channel (empty, a leading
    // ';' that it reads as a comment, a TAB or CR once unescaped), and a
    // pick of no channel at all.
    const auto before = std::pair{ReadWholeFile(ChSetFilePath(server.Folder())),
                                  ReadWholeFile(ChAliasFilePath(server.Folder()))};
    const std::string service = lines[2].substr(lines[2].find('\t'));
    for (const auto& [text, said] : std::vector<std::pair<std::string, std::string>>{
             {lines[1] + "\n" + lines[2].substr(0, lines[2].rfind('\t')) + "\n", "line 2: 8 fields"},
             {lines[1] + "\n" + service + "\n", "line 2: the display name is empty"},
             {lines[1] + "\n;News" + service + "\n", "line 2: the display name starts with ';'"},
             {lines[1] + "\na\\x09b" + service + "\n", "line 2: the display name holds a TAB, CR or LF"},
             {lines[1] + "\n\na\\x0Db" + service + "\n", "line 3: the display name holds a TAB, CR or LF"},
             {lines[0] + "\n\n", "no channels"}}) {
        ASSERT_TRUE(ReplaceFileAtomically(work.File("bad.txt"), text));
        const ToolRun bad =
            RunTool(work, "vernwick-cli", {"make-channels", "--channels", server.Folder(), work.File("bad.txt")});
        EXPECT_EQ(bad.status, 2) << said;
        EXPECT_NE(bad.err.find(said), std::string::npos) << bad.err;
        EXPECT_EQ(std::pair(ReadWholeFile(ChSetFilePath(server.Folder())),
                            ReadWholeFile(ChAliasFilePath(server.Folder()))), before) << said;
    }
    // A file that cannot be written says why.
    const ToolRun nowhere =
        RunTool(work, "vernwick-cli", {"make-channels", "--channels", work.File("no/such"), work.File("picked.txt")});
    EXPECT_EQ(nowhere.status, 1);
    const std::string created = "BonDriver_TVTest(TVTest).ChSet.txt を作成できません (";
    ASSERT_NE(nowhere.err.find(created), std::string::npos) << nowhere.err;
    EXPECT_GT(nowhere.err.find(")\n", nowhere.err.find(created)), nowhere.err.find(created) + created.size())
        << nowhere.err;

    ASSERT_TRUE(server.Start({}, true, false)) << server.Errors();
    ViewerClient viewer;
    ASSERT_TRUE(viewer.Connect(server.Port()));
    // 日テレ１, ＮＨＫ総合１・東京 and テスト局 in code page 932.
    const auto list = viewer.Ask("GetChList");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->substr(list->find('\t', 2)),
              "\t0\t\x93\xFA\x83\x65\x83\x8C\x82\x50" "\t1\t\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x50\x81\x45\x93\x8C\x8B\x9E"
              "\t2\t\x83\x65\x83\x58\x83\x67\x8B\xC7");
    EXPECT_EQ(viewer.Ask("SetCh:2"), "0");
    const Requests requests = standin.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2], "SetCh:5");
}

TEST(ChannelCommands, MakeChannelsWarnsOfAChannelListLongerThanTheViewerTakesInOneReceive)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    CliServer server;
    server.settings.RemoconPort = std::to_string(standin.Port());
    TempDir work;
    // 100 channels: the reply is "0", TAB, "99", then per channel a TAB, its
    // number, a TAB and its name: 394 bytes and the names' lengths together.
    // The limit is the settings file's ChListReplyLimit (0: none).
    const std::string cut = "the list is cut for the viewer at ";
    for (const auto& [size, limit, warning] : std::vector<std::tuple<std::size_t, std::string, std::string>>{
             {ViewerReceiveLimit, "", ""},
             {ViewerReceiveLimit + 1, "", "4096 bytes, more than ChListReplyLimit (4095): " + cut + "99 channels"},
             {ViewerReceiveLimit + 1, "4096", ""},
             {ViewerReceiveLimit + 1, "3000", "4096 bytes, more than ChListReplyLimit (3000): " + cut + "73 channels"},
             {ViewerReceiveLimit + 1, "0", ""}}) {
        std::string lines;
        for (int k = 0; k < 100; ++k) {
            std::string name = "Channel " + std::to_string(k);
            name.resize(k == 99 ? 38 + size - ViewerReceiveLimit : 37, 'x');
            lines += name + "\tS\t1\tB\t0\tP\t0\tC\t" + std::to_string(k) + "\n";
        }
        ASSERT_TRUE(ReplaceFileAtomically(work.File("long.txt"), lines));
        ASSERT_TRUE(ReplaceFileAtomically(work.File("limit.ini"), "[Parameter]\nChListReplyLimit=" + limit + "\n"));
        const ToolRun make = RunTool(work, "vernwick-cli", {"make-channels", "--ini", work.File("limit.ini"),
                                                            "--channels", server.Folder(), work.File("long.txt")});
        ASSERT_EQ(make.status, 0) << make.err;
        EXPECT_NE(make.out.find(ChannelFilesCreatedText), std::string::npos);
        if (warning.empty())
            EXPECT_EQ(make.err, "") << limit;
        else
            EXPECT_NE(make.err.find(warning + "; switching still works for all 100."), std::string::npos) << make.err;
    }
    // The server's own reply, uncut and with the last channel current, is
    // that long.
    server.settings.ChListReplyLimit = 0;
    ASSERT_TRUE(server.Start({}, true, false)) << server.Errors();
    ViewerClient viewer;
    ASSERT_TRUE(viewer.Connect(server.Port()));
    viewer.Ask("SetCh:99");
    const auto list = viewer.Ask("GetChList");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), ViewerReceiveLimit + 1);
    EXPECT_EQ(list->substr(0, 5), "0\t99\t");
}

TEST(ChannelCommands, ASettingsFileNamedButNotThereIsAnErrorNamingIt)
{
    TempDir work;
    const std::string missing = work.File("missing.ini");
    ASSERT_TRUE(ReplaceFileAtomically(work.File("picked.txt"), "x\tS\t1\tB\t0\tP\t0\tC\t0\n"));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan"},
             {"check-channels", "--channels", work.Folder()},
             {"serve", "--channels", work.Folder()},
             {"make-channels", "--channels", work.Folder(), work.File("picked.txt")}}) {
        std::vector<std::string> withIni = args;
        withIni.insert(withIni.begin() + 1, {"--ini", missing});
        const ToolRun run = RunTool(work, "vernwick-cli", withIni);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_NE(run.err.find(missing + " は開けません ("), std::string::npos) << run.err;
    }
    EXPECT_FALSE(PathExists(ChSetFilePath(work.Folder())));
}
