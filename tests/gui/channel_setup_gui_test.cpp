// The channel setup dialog of Vernwick.exe in a real window under Wine and
// Xvfb, opened from the main window against the stand-in EpgDataCap_Bon:
// the scan, the list, the moves, the rename and the files it writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "common/file_io.h"
#include "gui/failure_screenshot.h"
#include "gui/gui_driver.h"
#include "gui/layout_checks.h"
#include "gui/vernwick_app.h"
#include "support/free_port.h"
#include "support/standin.h"
#include "support/temp_dir.h"

using namespace ChannelSetupLayout;

namespace {

constexpr int WaitMs = 10000;
constexpr int StopWaitMs = 10000;

// Names of the stand-in's default tree, in code page 932.
const std::string Terrestrial = "\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B";  // 地上デジタル
const std::string NhkSogo2 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x51\x81\x45\x93\x8C\x8B\x9E";
const std::string NhkEtele3 = "\x82\x6D\x82\x67\x82\x6A\x82\x64\x83\x65\x83\x8C\x82\x52\x93\x8C\x8B\x9E";

// The requests of one scan of the default tree, in their nested order.
const std::vector<std::string> DefaultTreeScan = {
    "GetBonList", "SetBon:0", "GetSpaceList", "SetSpace:0", "GetChList", "SetCh:3", "GetServiceList",
    "SetService:1024", "SetService:1025", "SetCh:5", "GetServiceList", "SetService:1032", "SetService:1034",
    "SetCh:8", "GetServiceList", "SetService:1040", "SetCh:12", "GetServiceList", "SetBon:2", "GetSpaceList",
    "SetSpace:1", "GetChList", "SetCh:0", "GetServiceList", "SetService:151", "SetCh:5", "GetServiceList",
    "SetService:141", "SetCh:6", "GetServiceList", "SetService:101", "SetSpace:4", "GetChList", "SetCh:1",
    "GetServiceList", "SetService:55"};

std::wstring FromUtf8(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

// The prefix's documents folder is a folder of the test's own while it lives,
// so that the EpgTimerBon copy lands there and nowhere else.
class Documents {
public:
    static constexpr const wchar_t* Key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

    Documents()
    {
        wchar_t old[MAX_PATH * 2];
        DWORD size = sizeof old;
        DWORD type = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, Key, L"Personal", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         &type, old, &size) == ERROR_SUCCESS)
            FOld = std::make_pair(type, std::wstring(old));
        MoveTo(FDir.Path());
    }
    ~Documents()
    {
        if (FOld)
            Set(FOld->first, FOld->second);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, Key, L"Personal");
    }

    // A folder of this name in the test's own becomes the documents folder.
    void MoveToSubfolder(const std::wstring& name)
    {
        std::filesystem::create_directory(FDir.Path() / name);
        MoveTo(FDir.Path() / name);
    }
    const std::filesystem::path& Path() const { return FPath; }
    std::string EpgTimerBon() const { return (FPath / "EpgTimerBon").string(); }

private:
    void MoveTo(const std::filesystem::path& folder)
    {
        FPath = folder;
        Set(REG_SZ, folder.wstring());
    }
    static void Set(DWORD type, const std::wstring& value)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, Key, L"Personal", type, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    TempDir FDir;
    std::filesystem::path FPath;
    std::optional<std::pair<DWORD, std::wstring>> FOld;
};

class ChannelSetup : public ::testing::Test {
protected:
    void TearDown() override
    {
        SaveFailureScreenshot();
        app.EndPolitely(StopWaitMs);
    }

    // The program with EpgDataCap_Bon's port in its settings.
    void StartApp(std::uint16_t remoconPort)
    {
        app.WriteIni("[Parameter]\r\nRemoconPort=" + std::to_string(remoconPort) + "\r\n");
        ASSERT_TRUE(app.Start());
    }

    // Opens the dialog from the main window and waits for its scan to end
    // with this many rows.
    void OpenAndScan(int rows)
    {
        gui::PostClick(app.Control(MainFormLayout::MakeChannelBtn));
        dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(gui::Enabled(app.Window()));
        list.emplace(D(ChannelListView));
        ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(D(ChListSizeLb)); }, WaitMs));
        EXPECT_FALSE(gui::Visible(D(ChannelScanLb)));
        EXPECT_EQ(list->Count(), rows);
        for (int row = 0; row < list->Count(); ++row)
            EXPECT_FALSE(list->Checked(row)) << row;
    }

    // Presses "作成" and answers the boxes it shows; their texts, in order.
    std::vector<std::wstring> Create()
    {
        gui::PostClick(D(Button1));
        std::vector<std::wstring> texts;
        while (auto box = gui::WaitForMessageBox(app.Pid(), texts.empty() ? WaitMs : 500)) {
            texts.push_back(box->caption + L": " + box->text);
            if (!gui::CloseMessageBox(box->window))
                break;
        }
        return texts;
    }

    void CloseDialog()
    {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(gui::WaitUntil([&] { return !gui::Visible(dialog) && gui::Enabled(app.Window()); }, WaitMs));
    }

    std::wstring SizeText(const NamedNumberList& channels) const
    {
        return FromUtf8(ChListSizeText(ChListReplySize(channels)));
    }

    HWND D(int id) const { return GetDlgItem(dialog, id); }

    Documents documents;
    StandIn standin;
    VernwickApp app;
    HWND dialog = nullptr;
    std::optional<gui::RemoteListView> list;
};

} // namespace

TEST_F(ChannelSetup, ScansTicksMovesRenamesCreatesAndScansAfreshOnReopening)
{
    ASSERT_TRUE(standin.Start());
    // The live port field counts, not the saved setting.
    StartApp(FreePort());
    ASSERT_TRUE(gui::SetText(app.Control(MainFormLayout::RemoconPortEd), std::to_wstring(standin.Port())));
    OpenAndScan(9);

    // The layout.
    ExpectLayout(dialog, DesignDpi, ClientWidth, ClientHeight, Controls, FontName, FontHeight,
                 {ChannelScanLb, ChListSizeLb});
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(D(ChannelListView), GWL_STYLE));
    EXPECT_EQ(style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    EXPECT_FALSE(style & (LVS_SINGLESEL | LVS_EDITLABELS));
    const auto extended = static_cast<DWORD>(SendMessageW(D(ChannelListView), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
    EXPECT_TRUE(GetWindowLongPtrW(D(Button1), GWL_STYLE) & BS_DEFPUSHBUTTON);
    for (int i = 0; i < static_cast<int>(Columns.size()); ++i) {
        EXPECT_EQ(list->ColumnCaption(i), Columns[i].caption);
        EXPECT_EQ(SendMessageW(D(ChannelListView), LVM_GETCOLUMNWIDTH, i, 0), Columns[i].width);
    }

    // The rows in scan order with their four columns, from the requests of
    // the nested walk.
    EXPECT_EQ(standin.Requests(), DefaultTreeScan);
    const wchar_t* const services[] = {L"ＮＨＫ総合１・東京", L"ＮＨＫ総合２・東京", L"ＮＨＫＥテレ１東京",
                                       L"ＮＨＫＥテレ３東京", L"日テレ１", L"ＢＳ朝日１", L"ＢＳ日テレ",
                                       L"ＮＨＫ　ＢＳ", L"ショップチャンネル"};
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(list->ItemText(row, 0), services[row]) << row;
    EXPECT_EQ(list->ItemText(2, 1), L"BonDriver_PT3-T.dll");
    EXPECT_EQ(list->ItemText(2, 2), L"地上デジタル");
    EXPECT_EQ(list->ItemText(2, 3), L"26ch");
    EXPECT_EQ(list->ItemText(8, 1), L"BonDriver_PT3-S.dll");
    EXPECT_EQ(list->ItemText(8, 2), L"CS110");
    EXPECT_EQ(list->ItemText(8, 3), L"ND02");
    EXPECT_EQ(gui::Text(D(ChListSizeLb)), SizeText({}));
    EXPECT_EQ(gui::Text(D(ChannelNameEd)), L"");

    // Tick rows 1 and 3; select row 3, whose name the field shows, and move
    // it up past row 2; rename it.
    ASSERT_TRUE(list->SetChecked(1, true));
    ASSERT_TRUE(list->SetChecked(3, true));
    ASSERT_TRUE(list->SetSelected(3, true));
    EXPECT_EQ(gui::Text(D(ChannelNameEd)), L"ＮＨＫＥテレ３東京");
    ASSERT_TRUE(gui::Click(D(UpSB)));
    EXPECT_EQ(list->ItemText(2, 0), L"ＮＨＫＥテレ３東京");
    EXPECT_EQ(list->ItemText(3, 0), L"ＮＨＫＥテレ１東京");
    EXPECT_TRUE(list->Checked(2));
    EXPECT_FALSE(list->Checked(3));
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L"Eテレ3"));
    // Its accelerator: Alt+M.
    PostMessageW(D(ChannelListView), WM_SYSCHAR, L'm', 1 << 29);
    EXPECT_TRUE(gui::WaitUntil([&] { return list->ItemText(2, 0) == L"Eテレ3"; }, WaitMs)) << list->ItemText(2, 0);
    const std::string renamed = "E\x83\x65\x83\x8C" "3";
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::Text(D(ChListSizeLb)) == SizeText({{NhkSogo2, 0}, {renamed, 1}}); }, WaitMs))
        << gui::Text(D(ChListSizeLb)).size();
    EXPECT_TRUE(gui::SaveScreenshot(dialog, gui::ArtifactPath(L"channel-setup.png")));

    EXPECT_EQ(Create(), std::vector<std::wstring>{L"チャンネルファイルの作成: チャンネルファイルを作成しました。"});
    EXPECT_TRUE(gui::Visible(dialog));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), NhkSogo2 + "\t0\t0\t0\r\n" + renamed + "\t0\t1\t0\r\n");
    EXPECT_EQ(app.ReadFile(ChAliasFilePath("")),
              NhkSogo2 + "\t1025\tBonDriver_PT3-T.dll\t0\t" + Terrestrial + "\t0\t27ch\t3\r\n" + NhkEtele3 +
                  "\t1034\tBonDriver_PT3-T.dll\t0\t" + Terrestrial + "\t0\t26ch\t5\r\n");
    EXPECT_FALSE(std::filesystem::exists(documents.EpgTimerBon()));

    // Esc closes it; the next opening scans afresh, with no ticks.
    PostMessageW(D(ChannelListView), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(gui::WaitUntil([&] { return !gui::Visible(dialog) && gui::Enabled(app.Window()); }, WaitMs));
    OpenAndScan(9);
    EXPECT_EQ(list->ItemText(3, 0), L"ＮＨＫＥテレ３東京");
    EXPECT_EQ(standin.Requests().size(), 2 * DefaultTreeScan.size());
    // Enter in the name field is "作成": with no row ticked, two empty files.
    PostMessageW(D(ChannelNameEd), WM_KEYDOWN, VK_RETURN, 0);
    const auto created = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->text, L"チャンネルファイルを作成しました。");
    EXPECT_TRUE(gui::CloseMessageBox(created->window));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "");
    EXPECT_EQ(app.ReadFile(ChAliasFilePath("")), "");
    CloseDialog();

    // The EpgTimerBon box was never touched: the settings get no key for it.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WaitMs), std::optional<int>(0));
    EXPECT_EQ(app.Ini().find("CopyChSetToEpgTimerBon"), std::string::npos) << app.Ini();
}

TEST_F(ChannelSetup, TheEpgTimerBonCopyAndAFileThatCannotBeWritten)
{
    ASSERT_TRUE(standin.Start());
    StartApp(standin.Port());
    // Ticked by default when TVTest's folder is there, else not.
    std::filesystem::create_directory(documents.EpgTimerBon());
    OpenAndScan(9);
    EXPECT_TRUE(gui::Checked(D(CopyToEpgTimerBonCBox)));
    CloseDialog();
    std::filesystem::remove(documents.EpgTimerBon());
    OpenAndScan(9);
    EXPECT_FALSE(gui::Checked(D(CopyToEpgTimerBonCBox)));

    // Ticked by hand: "作成" writes the ChSet file there too, making the folder.
    ASSERT_TRUE(gui::Click(D(CopyToEpgTimerBonCBox)));
    ASSERT_TRUE(list->SetChecked(8, true));
    EXPECT_EQ(Create(), std::vector<std::wstring>{L"チャンネルファイルの作成: チャンネルファイルを作成しました。"});
    const std::string chSet = "\x83\x56\x83\x87\x83\x62\x83\x76\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B\t0\t0\t0\r\n";
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), chSet);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(documents.EpgTimerBon() + "/")), std::optional<std::string>(chSet));

    // A read-only ChAlias file: its box, no success box, and no file changed.
    const std::string alias = app.File(ChAliasFilePath(""));
    const std::string aliasBefore = app.ReadFile(ChAliasFilePath(""));
    ASSERT_TRUE(SetFileAttributesA(alias.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(list->SetChecked(0, true));
    const std::vector<std::wstring> boxes = Create();
    SetFileAttributesA(alias.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find(L": ")), L"Vernwick");
    EXPECT_NE(boxes[0].find(L"BonDriver_TVTest(TVTest).ChAlias.txt を作成できません."), std::wstring::npos) << boxes[0];
    EXPECT_TRUE(gui::Visible(dialog));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), chSet);
    EXPECT_EQ(app.ReadFile(ChAliasFilePath("")), aliasBefore);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(documents.EpgTimerBon() + "/")), std::optional<std::string>(chSet));

    // A documents folder whose name the ANSI code page may lack is reached
    // through its short name.
    documents.MoveToSubfolder(L"録画の書類");
    EXPECT_EQ(Create(), std::vector<std::wstring>{L"チャンネルファイルの作成: チャンネルファイルを作成しました。"});
    std::ifstream copy(documents.Path() / L"EpgTimerBon" / L"BonDriver_TVTest(TVTest).ChSet.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), app.ReadFile(ChSetFilePath("")));
    copy.close();

    // A copy that cannot be written there: its box names it, and the files
    // beside the program stay as they were.
    const std::wstring copyPath = (documents.Path() / L"EpgTimerBon" / L"BonDriver_TVTest(TVTest).ChSet.txt").wstring();
    const std::string chSetBefore = app.ReadFile(ChSetFilePath(""));
    ASSERT_TRUE(SetFileAttributesW(copyPath.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(list->SetChecked(4, true));
    const std::vector<std::wstring> copyBoxes = Create();
    SetFileAttributesW(copyPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(copyBoxes.size(), 1u);
    EXPECT_NE(copyBoxes[0].find(L"EpgTimerBon\\BonDriver_TVTest(TVTest).ChSet.txt を作成できません."), std::wstring::npos)
        << copyBoxes[0];
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), chSetBefore);
    CloseDialog();

    // The choice is kept in the settings.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WaitMs), std::optional<int>(0));
    EXPECT_NE(app.Ini().find("\r\nCopyChSetToEpgTimerBon=1\r\n"), std::string::npos) << app.Ini();
}

TEST_F(ChannelSetup, AClosedScanEndsAfterTheRequestInFlightAndALongListIsWarnedOf)
{
    // Every reply takes 300 ms: the window keeps answering meanwhile, its
    // rows and buttons are inert, and "閉じる" ends the scan after the
    // request in flight.
    ASSERT_TRUE(standin.Start({"--delay", "300"}));
    StartApp(standin.Port());
    gui::PostClick(app.Control(MainFormLayout::MakeChannelBtn));
    dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
    ASSERT_NE(dialog, nullptr);
    list.emplace(D(ChannelListView));
    ASSERT_TRUE(gui::WaitUntil([&] { return list->Count() >= 1; }, WaitMs));
    EXPECT_TRUE(gui::Visible(D(ChannelScanLb)));
    EXPECT_EQ(gui::Text(D(ChannelScanLb)).substr(0, 8), L"スキャン中...");
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(gui::Text(dialog).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(200));
    for (int id : {UpSB, DownSB, ChannelRenameSB, Button1})
        EXPECT_FALSE(gui::Enabled(D(id))) << Find(id)->name;
    EXPECT_TRUE(gui::Enabled(D(Button2)));
    list->SetChecked(0, true);
    EXPECT_FALSE(list->Checked(0));
    gui::Click(D(Button1));  // reaches the disabled button under Wine, and does nothing
    EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 100));

    gui::PostClick(D(Button2));
    ASSERT_TRUE(gui::WaitUntil([&] { return !gui::Visible(dialog); }, WaitMs));
    const std::size_t requests = standin.Requests().size();
    EXPECT_LT(requests, DefaultTreeScan.size());
    EXPECT_TRUE(gui::WaitUntil([&] { return !standin.LogLines().empty() && standin.LogLines().back() == "#close"; },
                               WaitMs));
    Sleep(400);
    EXPECT_EQ(standin.Requests().size(), requests);
    EXPECT_TRUE(gui::Enabled(app.Window()));

    // 100 services whose names make a channel list one byte past what the
    // viewer takes in one receive: the files are written, and a warning
    // comes before the success box.
    StandIn longNames;
    std::string tree = "bon\tBonDriver_Long.dll\t0\nspace\tSpace\t0\nch\tCh\t0\n";
    for (int k = 0; k < 100; ++k) {
        std::string name = "Channel " + std::to_string(k);
        name.resize(k == 99 ? 39 : 37, 'x');
        tree += "service\t" + name + "\t" + std::to_string(k) + "\n";
    }
    ASSERT_TRUE(ReplaceFileAtomically(longNames.File("tree.txt"), tree));
    ASSERT_TRUE(longNames.Start({"--tree", longNames.File("tree.txt")}));
    ASSERT_TRUE(gui::SetText(app.Control(MainFormLayout::RemoconPortEd), std::to_wstring(longNames.Port())));
    OpenAndScan(100);
    // A mouse click on "↓" moves once; held, it repeats after 500 ms, every
    // 100 ms, and once more on the release.
    const auto positionOfFirst = [&] {
        for (int row = 0; row < list->Count(); ++row)
            if (list->ItemText(row, 0).substr(0, 10) == L"Channel 0x")
                return row;
        return -1;
    };
    ASSERT_TRUE(list->SetSelected(0, true));
    const HWND down = D(DownSB);
    SendMessageW(down, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(down, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(positionOfFirst(), 1);
    SendMessageW(down, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(gui::WaitUntil([&] { return positionOfFirst() == 2; }, 1000));  // after 500 ms
    Sleep(250);
    SendMessageW(down, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_GE(positionOfFirst(), 4);  // at least one repeat, and the release
    EXPECT_LE(positionOfFirst(), 6);
    ASSERT_TRUE(list->SetChecked(-1, true));
    const std::size_t size = ViewerReceiveLimit + 1;
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(D(ChListSizeLb)) == FromUtf8(ChListSizeText(size)); }, WaitMs))
        << gui::Text(D(ChListSizeLb)).size();
    EXPECT_EQ(Create(), (std::vector<std::wstring>{L"チャンネルファイルの作成: " + FromUtf8(ChListTooLongText(size)),
                                                    L"チャンネルファイルの作成: チャンネルファイルを作成しました。"}));
    NamedNumberList written;
    LoadChSetFile(app.File(ChSetFilePath("")), written);
    EXPECT_EQ(written.size(), 100u);
}

// Run by the harness again with the prefix at 144 dpi; the layouts at 96 dpi
// are checked by MainWindow and ChannelSetup.
TEST(HighDpi, TheWindowAndTheDialogAreScaledAndNoCaptionIsCut)
{
    const int dpi = TestDpi();
    if (dpi == DesignDpi)
        GTEST_SKIP() << "run at " << dpi << " dpi";
    Documents documents;
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    VernwickApp app;
    app.WriteIni("[Parameter]\r\nRemoconPort=" + std::to_string(standin.Port()) + "\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(app.Window()); }, WaitMs));
    ExpectLayout(app.Window(), dpi, MainFormLayout::ClientWidth, MainFormLayout::ClientHeight,
                 MainFormLayout::Controls, MainFormLayout::FontName, MainFormLayout::FontHeight);
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"main-window-" + std::to_wstring(dpi) + L"dpi.png")));

    gui::PostClick(app.Control(MainFormLayout::MakeChannelBtn));
    const HWND dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(GetDlgItem(dialog, ChListSizeLb)); }, WaitMs));
    ExpectLayout(dialog, dpi, ClientWidth, ClientHeight, Controls, FontName, FontHeight, {ChannelScanLb, ChListSizeLb});
    for (int i = 0; i < static_cast<int>(Columns.size()); ++i)
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, ChannelListView), LVM_GETCOLUMNWIDTH, i, 0),
                  Scale(Columns[i].width, dpi));
    EXPECT_EQ(gui::RemoteListView(GetDlgItem(dialog, ChannelListView)).Count(), 9);
    EXPECT_TRUE(
        gui::SaveScreenshot(dialog, gui::ArtifactPath(L"channel-setup-" + std::to_wstring(dpi) + L"dpi.png")));
    SaveFailureScreenshot();
    app.EndPolitely(StopWaitMs);
}
