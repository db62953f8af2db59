// The channel setup dialog of Vernwick.exe in a real window under Wine and
// Xvfb, opened from the main window against the stand-in EpgDataCap_Bon: the
// wiring of the scan, the list, the keys, the moves, the rename and the files
// it writes. The rules themselves are the model's (channel_setup_model_test).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
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

    // The size label's counter for these channels.
    static std::wstring SizeText(const NamedNumberList& channels)
    {
        return L"TVTest へのチャンネル一覧: " + std::to_wstring(ChListReplySize(channels)) + L" / 4095 バイト";
    }

    // Opens the dialog against a stand-in that has stopped answering, and
    // ends it (or the program) at once.
    void CloseDuringAScanThatGetsNoAnswer(bool program)
    {
        gui::PostClick(app.Control(MainFormLayout::MakeChannelBtn));
        dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(gui::WaitUntil([&] {
            const auto requests = standin.Requests();
            return !requests.empty() && requests.back() == "GetChList";
        }, WaitMs));
        // Inert meanwhile, but "閉じる"; the window answers at once.
        for (int id : {UpSB, DownSB, ChannelRenameSB, Button1})
            EXPECT_FALSE(gui::Enabled(D(id))) << Find(id)->name;
        EXPECT_TRUE(gui::Enabled(D(Button2)));
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::Visible(D(ChannelScanLb)); }, WaitMs));
        const auto asked = std::chrono::steady_clock::now();
        PostMessageW(program ? app.Window() : D(Button2), program ? WM_CLOSE : BM_CLICK, 0, 0);
        EXPECT_TRUE(gui::WaitUntil([&] { return program ? !app.Running() : !gui::Visible(dialog); }, WaitMs));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
        std::printf("%s closed during an unanswered request in %lld ms\n", program ? "the program" : "the dialog",
                    static_cast<long long>(ms.count()));
        EXPECT_LT(ms.count(), 3000);
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
    const std::size_t scanRequests = standin.Requests().size();
    EXPECT_EQ(standin.Requests().front(), "GetBonList");

    // The layout, and the columns wide enough for what the rows hold.
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
        EXPECT_GE(SendMessageW(D(ChannelListView), LVM_GETCOLUMNWIDTH, i, 0), Columns[i].width);
    }
    // "BonDriver_PT3-T.dll" is wider than the design's 70 pixels.
    EXPECT_GT(SendMessageW(D(ChannelListView), LVM_GETCOLUMNWIDTH, 1, 0), Columns[1].width);

    // The rows in scan order with their four columns.
    const wchar_t* const services[] = {L"ＮＨＫ総合１・東京", L"ＮＨＫ総合２・東京", L"ＮＨＫＥテレ１東京",
                                       L"ＮＨＫＥテレ３東京", L"日テレ１", L"ＢＳ朝日１", L"ＢＳ日テレ",
                                       L"ＮＨＫ　ＢＳ", L"ショップチャンネル"};
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(list->ItemText(row, 0), services[row]) << row;
    EXPECT_EQ(list->ItemText(8, 1), L"BonDriver_PT3-S.dll");
    EXPECT_EQ(list->ItemText(8, 2), L"CS110");
    EXPECT_EQ(list->ItemText(8, 3), L"ND02");
    EXPECT_EQ(gui::Text(D(ChListSizeLb)), SizeText({}));
    EXPECT_EQ(gui::Text(D(ChannelNameEd)), L"");

    // Tick rows 1 and 3; select row 3, whose name the field shows, and move
    // it up past row 2 with "↑", and down and up again with Alt+↓ and Alt+↑.
    ASSERT_TRUE(list->SetChecked(1, true));
    ASSERT_TRUE(list->SetChecked(3, true));
    ASSERT_TRUE(list->SetSelected(3, true));
    EXPECT_EQ(gui::Text(D(ChannelNameEd)), L"ＮＨＫＥテレ３東京");
    ASSERT_TRUE(gui::Click(D(UpSB)));
    EXPECT_EQ(list->ItemText(2, 0), L"ＮＨＫＥテレ３東京");
    EXPECT_EQ(list->ItemText(3, 0), L"ＮＨＫＥテレ１東京");
    EXPECT_TRUE(list->Checked(2));
    EXPECT_FALSE(list->Checked(3));
    PostMessageW(D(ChannelListView), WM_SYSKEYDOWN, VK_DOWN, 1 << 29);
    EXPECT_TRUE(gui::WaitUntil([&] { return list->ItemText(3, 0) == L"ＮＨＫＥテレ３東京"; }, WaitMs));
    PostMessageW(D(ChannelListView), WM_SYSKEYDOWN, VK_UP, 1 << 29);
    EXPECT_TRUE(gui::WaitUntil([&] { return list->ItemText(2, 0) == L"ＮＨＫＥテレ３東京"; }, WaitMs));

    // A typed name and Enter rename the row, and write nothing.
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L"Eテレ3"));
    PostMessageW(D(ChannelNameEd), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(gui::WaitUntil([&] { return list->ItemText(2, 0) == L"Eテレ3"; }, WaitMs)) << list->ItemText(2, 0);
    EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 300));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "<missing>");
    const std::string renamed = "E\x83\x65\x83\x8C" "3";
    EXPECT_TRUE(gui::WaitUntil(
        [&] { return gui::Text(D(ChListSizeLb)) == SizeText({{NhkSogo2, 0}, {renamed, 1}}); }, WaitMs))
        << gui::Text(D(ChListSizeLb)).size();
    // A name the ChSet file cannot carry is refused, with a note (a balloon,
    // or a box where none can show); Alt+M is the rename's key.
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L";Eテレ"));
    PostMessageW(D(ChannelListView), WM_SYSCHAR, L'm', 1 << 29);
    HWND balloon = nullptr;
    std::optional<gui::MessageBoxInfo> note;
    EXPECT_TRUE(gui::WaitUntil([&] {
        balloon = gui::FindProcessWindow(app.Pid(), L"tooltips_class32", nullptr, true);
        return balloon || (note = gui::WaitForMessageBox(app.Pid(), 0));
    }, WaitMs));
    if (note)
        gui::CloseMessageBox(note->window);
    EXPECT_EQ(list->ItemText(2, 0), L"Eテレ3");
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L"Eテレ3"));

    // Larger, the list grows and the buttons keep to the corner.
    RECT before;
    GetWindowRect(dialog, &before);
    SetWindowPos(dialog, nullptr, 0, 0, before.right - before.left + 200, before.bottom - before.top + 150,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::RectInParent(D(ChannelListView)).right == 380 + 200; }, WaitMs));
    const SIZE client = gui::ClientSize(dialog);
    EXPECT_EQ(gui::RectInParent(D(Button2)).right, client.cx - (ClientWidth - 405));
    EXPECT_EQ(gui::RectInParent(D(Button2)).bottom, client.cy - (ClientHeight - 385));
    EXPECT_EQ(gui::RectInParent(D(DownSB)).bottom, gui::RectInParent(D(ChannelListView)).bottom);
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
    EXPECT_EQ(standin.Requests().size(), 2 * scanRequests);
    // Enter in the name field with nothing to rename is "作成": with no row
    // ticked, two empty files.
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
    // Ticked when TVTest's folder is there; a choice the user makes is kept.
    std::filesystem::create_directory(documents.EpgTimerBon());
    OpenAndScan(9);
    EXPECT_TRUE(gui::Checked(D(CopyToEpgTimerBonCBox)));
    std::filesystem::remove(documents.EpgTimerBon());
    ASSERT_TRUE(gui::Click(D(CopyToEpgTimerBonCBox)));
    ASSERT_TRUE(gui::Click(D(CopyToEpgTimerBonCBox)));

    // "作成" writes the ChSet file there too, making the folder.
    ASSERT_TRUE(list->SetChecked(8, true));
    EXPECT_EQ(Create(), std::vector<std::wstring>{L"チャンネルファイルの作成: チャンネルファイルを作成しました。"});
    const std::string chSet = "\x83\x56\x83\x87\x83\x62\x83\x76\x83\x60\x83\x83\x83\x93\x83\x6C\x83\x8B\t0\t0\t0\r\n";
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), chSet);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(documents.EpgTimerBon() + "/")), std::optional<std::string>(chSet));

    // A read-only ChAlias file: its box with the reason, no success box, and
    // no file changed.
    const std::string alias = app.File(ChAliasFilePath(""));
    const std::string aliasBefore = app.ReadFile(ChAliasFilePath(""));
    ASSERT_TRUE(SetFileAttributesA(alias.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(list->SetChecked(0, true));
    const std::vector<std::wstring> boxes = Create();
    SetFileAttributesA(alias.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].substr(0, boxes[0].find(L": ")), L"Vernwick");
    EXPECT_NE(boxes[0].find(L"BonDriver_TVTest(TVTest).ChAlias.txt を作成できません.\n\n"), std::wstring::npos) << boxes[0];
    EXPECT_TRUE(gui::Visible(dialog));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), chSet);
    EXPECT_EQ(app.ReadFile(ChAliasFilePath("")), aliasBefore);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(documents.EpgTimerBon() + "/")), std::optional<std::string>(chSet));

    // A documents folder of any name is reached.
    documents.MoveToSubfolder(L"録画の書類 녹화");
    ASSERT_TRUE(list->SetChecked(4, true));
    EXPECT_EQ(Create(), std::vector<std::wstring>{L"チャンネルファイルの作成: チャンネルファイルを作成しました。"});
    std::ifstream copy(documents.Path() / L"EpgTimerBon" / L"BonDriver_TVTest(TVTest).ChSet.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), app.ReadFile(ChSetFilePath("")));
    copy.close();

    CloseDialog();

    // The choice is kept in the settings.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WaitMs), std::optional<int>(0));
    EXPECT_NE(app.Ini().find("\r\nCopyChSetToEpgTimerBon=1\r\n"), std::string::npos) << app.Ini();
}

TEST_F(ChannelSetup, AScanWithoutAnswerEndsAtOnceAndALongListIsAskedAboutFirst)
{
    // EpgDataCap_Bon stops answering at GetChList: "閉じる", and then the
    // program's own close, end everything at once, not after the request's
    // time-out.
    ASSERT_TRUE(standin.Start({"--silent-on", "GetChList"}));
    StartApp(standin.Port());
    CloseDuringAScanThatGetsNoAnswer(false);
    EXPECT_TRUE(gui::Enabled(app.Window()));

    // 100 services whose names make a channel list one byte past what the
    // viewer takes in one receive: "作成" asks first; no writes nothing, yes
    // writes the files.
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
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(D(ChListSizeLb)).find(L" 99 チャンネル") != std::wstring::npos; },
                               WaitMs))
        << gui::Text(D(ChListSizeLb));
    for (const int answer : {IDNO, IDYES}) {
        gui::PostClick(D(Button1));
        const auto question = gui::WaitForMessageBox(app.Pid(), WaitMs);
        ASSERT_TRUE(question);
        EXPECT_NE(question->text.find(L"先頭の 99 チャンネル"), std::wstring::npos) << question->text;
        if (answer == IDYES)
            EXPECT_TRUE(gui::SaveScreenshot(question->window, gui::ArtifactPath(L"long-list-question.png")));
        EXPECT_TRUE(gui::CloseMessageBox(question->window, answer));
        if (answer == IDNO) {
            EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 300));
            EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "<missing>");
        }
    }
    const auto created = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->text, L"チャンネルファイルを作成しました。");
    EXPECT_TRUE(gui::CloseMessageBox(created->window));
    NamedNumberList written;
    LoadChSetFile(app.File(ChSetFilePath("")), written);
    EXPECT_EQ(written.size(), 100u);
    CloseDialog();

    ASSERT_TRUE(gui::SetText(app.Control(MainFormLayout::RemoconPortEd), std::to_wstring(standin.Port())));
    CloseDuringAScanThatGetsNoAnswer(true);
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
        EXPECT_GE(SendMessageW(GetDlgItem(dialog, ChannelListView), LVM_GETCOLUMNWIDTH, i, 0),
                  Scale(Columns[i].width, dpi));
    gui::RemoteListView list(GetDlgItem(dialog, ChannelListView));
    EXPECT_EQ(list.Count(), 9);
    list.SetChecked(1, true);
    EXPECT_TRUE(
        gui::SaveScreenshot(dialog, gui::ArtifactPath(L"channel-setup-" + std::to_wstring(dpi) + L"dpi.png")));
    SaveFailureScreenshot();
    app.EndPolitely(StopWaitMs);
}
