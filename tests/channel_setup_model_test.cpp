// The channel setup dialog's rules without a window: the scan's course and
// the result, the inert controls, names and Enter, the copy box, the size
// label and what "作成" does first, and where controls go when it is resized.
// The real dialog is driven by tests/gui, for the wiring.
#include <gtest/gtest.h>

#include <array>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/channel_setup_model.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "support/temp_dir.h"

using namespace ChannelSetupLayout;

namespace {

// An open dialog whose scan found n services "S<i>" and has ended.
void Scanned(CChannelSetupModel& m, int n, bool ended = true)
{
    m.Open(false);
    for (int i = 0; i < n; ++i)
        m.RowFound(BON_ALIAS{i, {"Bon", 0}, {"Space", 0}, {"Ch", 0}, {"S" + std::to_string(i), 100u + i}});
    if (ended)
        EXPECT_EQ(m.ScanEnded(ChannelScanOutcome::Completed, ""), std::nullopt);
}

} // namespace

TEST(ChannelSetupModel, TheScanMakesTheDialogInertUntilItEndsAndDecidesTheResult)
{
    Settings settings;
    settings.RemoconAddr = "\x98\x5E\x89\xE6\x8B\x40.local";  // 録画機.local
    settings.RemoconPort = "x";
    CChannelSetupModel m(settings);

    // While rows pour in, everything but the list and "閉じる" is inert and
    // ticks are refused; "閉じる" ends the dialog at once (Cancel).
    Scanned(m, 2, false);
    EXPECT_TRUE(m.Scanning());
    for (int id : {UpSB, DownSB, ChannelNameEd, ChannelRenameSB, Button1, CopyToEpgTimerBonCBox})
        EXPECT_TRUE(m.Inert(id)) << Find(id)->name;
    EXPECT_FALSE(m.Inert(Button2));
    EXPECT_FALSE(m.Inert(ChannelListView));
    EXPECT_FALSE(m.Move(ArrowButton::Down));
    EXPECT_EQ(m.ModalResult(), 0);
    m.CloseRequested();
    EXPECT_EQ(m.ModalResult(), CChannelSetupModel::ModalResultCancel);
    EXPECT_FALSE(m.Scanning());

    // A connection that failed: its box names the address and the reason,
    // and the dialog ends with No. A cancelled scan ends with Cancel; a
    // completed one leaves the dialog open and nothing inert.
    m.Open(false);
    EXPECT_EQ(m.ScanEnded(ChannelScanOutcome::ConnectFailed, "Connection refused"),
              "リモコン接続に失敗しました。\n\n録画機.local:1334\nConnection refused");
    EXPECT_EQ(m.ModalResult(), CChannelSetupModel::ModalResultNo);
    m.Open(false);
    EXPECT_EQ(m.ModalResult(), 0);
    EXPECT_EQ(m.ScanEnded(ChannelScanOutcome::Cancelled, ""), std::nullopt);
    EXPECT_EQ(m.ModalResult(), CChannelSetupModel::ModalResultCancel);
    Scanned(m, 3);
    EXPECT_EQ(m.ModalResult(), 0);
    EXPECT_EQ(m.List().Size(), 3u);
    for (int id : {UpSB, DownSB, ChannelNameEd, ChannelRenameSB, Button1, CopyToEpgTimerBonCBox})
        EXPECT_FALSE(m.Inert(id)) << Find(id)->name;
    // Every opening starts afresh.
    m.Open(false);
    EXPECT_EQ(m.List().Size(), 0u);

    // The progress label is set at most every 30 ms, with the latest text.
    using namespace std::chrono_literals;
    const auto t = CChannelSetupModel::Clock::now();
    EXPECT_EQ(m.Progress("a", t), "a");
    EXPECT_EQ(m.Progress("b", t + 10ms), std::nullopt);
    EXPECT_EQ(m.Progress("c", t + 20ms), std::nullopt);
    EXPECT_EQ(m.PendingProgress(t + 29ms), std::nullopt);
    EXPECT_EQ(m.PendingProgress(t + 30ms), "c");
    EXPECT_EQ(m.PendingProgress(t + 90ms), std::nullopt);
}

TEST(ChannelSetupModel, EnterRenamesATypedNameAndNamesTheChSetFileCannotCarryAreRefused)
{
    Settings settings;
    CChannelSetupModel m(settings);
    Scanned(m, 3);
    // Nothing selected: Enter is "作成", and a rename changes nothing.
    m.SetNameField("News");
    EXPECT_FALSE(m.EnterRenames());
    EXPECT_EQ(m.Rename(), std::nullopt);
    EXPECT_EQ(m.List().Rows()[0].displayName, "S0");

    EXPECT_EQ(m.RowChanged(1, true, true), "S1");
    m.SetNameField("S1");
    EXPECT_FALSE(m.EnterRenames());  // the field says what the row is called
    m.SetNameField("News");
    EXPECT_TRUE(m.EnterRenames());

    // Refused with a note, the names unchanged; the same rule as make-channels.
    const std::pair<std::string, const char*> refused[] = {
        {"", "名前が空です"}, {";News", "「;」で始まる名前"}, {"a\tb", "タブや改行"}, {"a\r\nb", "タブや改行"}};
    for (const auto& [name, note] : refused) {
        m.SetNameField(name);
        const auto said = m.Rename();
        ASSERT_TRUE(said) << name;
        EXPECT_EQ(said->rfind(note, 0), 0u) << *said;
        EXPECT_EQ(m.List().Rows()[1].displayName, "S1");
    }
    m.SetNameField("News;1");
    EXPECT_EQ(m.Rename(), std::nullopt);
    EXPECT_EQ(m.List().Rows()[1].displayName, "News;1");
    EXPECT_FALSE(m.EnterRenames());
    // The first selected row decides.
    EXPECT_EQ(m.RowChanged(0, false, true), "S0");
    EXPECT_TRUE(m.EnterRenames());
    EXPECT_TRUE(m.Move(ArrowButton::Down));
    EXPECT_EQ(m.List().Rows()[2].displayName, "News;1");
}

TEST(ChannelSetupModel, TheCopyBoxFollowsTheFolderUntilTheUserChooses)
{
    for (const bool folder : {false, true}) {
        Settings settings;
        CChannelSetupModel m(settings);
        m.Open(folder);
        EXPECT_EQ(m.CopyBoxChecked(), folder);
        m.SetCopyBox(!folder);  // inert while scanning
        EXPECT_EQ(m.CopyBoxChecked(), folder);
        EXPECT_FALSE(settings.CopyChSetToEpgTimerBon);
        m.ScanEnded(ChannelScanOutcome::Completed, "");
        m.SetCopyBox(!folder);
        EXPECT_EQ(settings.CopyChSetToEpgTimerBon, std::optional<bool>(!folder));
        m.Open(folder);
        EXPECT_EQ(m.CopyBoxChecked(), !folder);
    }
}

TEST(ChannelSetupModel, OverTheLimitTheLabelAndCreateSayHowManyChannelsTheViewerWillSee)
{
    // 100 channels of 37-byte names: "0\t99" and "\t<k>\t<name>" for each
    // make 4 + 10 * 40 + 90 * 41 = 4094 bytes; a 38-byte last name makes 4095.
    Settings settings;
    CChannelSetupModel m(settings);
    m.Open(false);
    for (int k = 0; k < 100; ++k) {
        std::string name = "Channel " + std::to_string(k);
        name.resize(37, 'x');
        m.RowFound(BON_ALIAS{k, {"B", 0}, {"S", 0}, {"C", 0}, {name, static_cast<std::uint32_t>(k)}});
    }
    m.ScanEnded(ChannelScanOutcome::Completed, "");
    for (std::size_t row = 0; row < 100; ++row)
        m.RowChanged(row, true, row == 99);
    // At the limit the list is whole; one byte more and the viewer's list
    // ends before the last channel.
    m.SetNameField(std::string(38, 'y'));
    ASSERT_EQ(m.Rename(), std::nullopt);
    EXPECT_FALSE(m.SizeOverLimit());
    EXPECT_EQ(m.SizeLabel(), "TVTest へのチャンネル一覧: 4095 / 4095 バイト");
    EXPECT_EQ(m.BeforeCreate("").kind, CChannelSetupModel::CreateCheck::Kind::Write);
    m.SetNameField(std::string(39, 'y'));
    ASSERT_EQ(m.Rename(), std::nullopt);
    EXPECT_TRUE(m.SizeOverLimit());
    EXPECT_EQ(m.SizeLabel(), "TVTest へのチャンネル一覧: 4096 / 4095 バイト。TVTest の一覧には先頭の 99 チャンネルまでが載ります "
                             "(切り替えは全 100 チャンネルでできます)");
    const auto ask = m.BeforeCreate("");
    EXPECT_EQ(ask.kind, CChannelSetupModel::CreateCheck::Kind::Ask);
    EXPECT_NE(ask.text.find("4096 バイト"), std::string::npos) << ask.text;
    EXPECT_NE(ask.text.find("先頭の 99 チャンネル"), std::string::npos) << ask.text;

    // No limit: no cut, no question, and the counter alone.
    settings.ChListReplyLimit = 0;
    EXPECT_FALSE(m.SizeOverLimit());
    EXPECT_EQ(m.SizeLabel(), "TVTest へのチャンネル一覧: 4096 バイト");
    EXPECT_EQ(m.BeforeCreate("").kind, CChannelSetupModel::CreateCheck::Kind::Write);

    // A copy for TVTest with no documents folder to put it in is refused
    // before anything; unticked, the folder is not used.
    m.SetCopyBox(true);
    EXPECT_EQ(m.BeforeCreate("").kind, CChannelSetupModel::CreateCheck::Kind::Refuse);
    TempDir dir;
    m.SetCopyBox(false);
    EXPECT_EQ(m.Create(dir.Folder(), dir.Folder() + "copy/"), "チャンネルファイルを作成しました。");
    NamedNumberList written;
    LoadChSetFile(ChSetFilePath(dir.Folder()), written);
    EXPECT_EQ(written.size(), 100u);
    EXPECT_FALSE(FolderExists(dir.Folder() + "copy"));
}

TEST(ChannelSetupLayout, AResizedDialogGrowsTheListAndKeepsTheRestAtTheirEdges)
{
    // 10 wider and 21 taller: the list takes it all, the arrows share its
    // height, the rest keeps its distance to the right and bottom edges.
    const std::pair<int, ControlRect> moved[] = {
        {Label1, {16, 12, 240, 12}},          {ChannelListView, {16, 32, 374, 294}},
        {UpSB, {390, 32, 23, 147}},           {DownSB, {390, 178, 23, 148}},
        {ChannelNameEd, {16, 333, 287, 20}},  {ChannelRenameSB, {310, 332, 103, 22}},
        {ChListSizeLb, {20, 359, 232, 52}},   {Button1, {256, 381, 75, 25}},
        {Button2, {340, 381, 75, 25}},        {CopyToEpgTimerBonCBox, {16, 417, 389, 17}},
    };
    for (const auto& [id, expected] : moved) {
        const ControlEntry& c = *Find(id);
        const ControlRect r = PlaceResized(id, {c.left, c.top, c.width, c.height}, 10, 21);
        EXPECT_EQ((std::array{r.left, r.top, r.width, r.height}),
                  (std::array{expected.left, expected.top, expected.width, expected.height}))
            << c.name;
    }
    // The list ends where the arrows begin, at any size.
    const ControlEntry& list = *Find(ChannelListView);
    EXPECT_EQ(list.left + list.width, Find(UpSB)->left);
}
