// The channel setup dialog of Vernwick.exe in a real window under Wine and
// Xvfb, opened from the main window against the stand-in EpgDataCap_Bon: the
// wiring of the scan, the list, the keys, the moves, the rename and the files
// it writes, and the layout of both windows. The rules themselves are the
// model's (channel_setup_model_test).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "common/file_io.h"
#include "gui/layout_checks.h"
#include "gui/window_test.h"
#include "remocon/protocol.h"
#include "support/free_port.h"
#include "support/temp_dir.h"

using namespace ChannelSetupLayout;

namespace {

// ＮＨＫ総合２・東京, a name of the stand-in's tree, in code page 932.
const std::string NhkSogo2 = "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87\x82\x51\x81\x45\x93\x8C\x8B\x9E";
const std::wstring Created = L"チャンネルファイルの作成: チャンネルファイルを作成しました。";

// The prefix's documents folder is a folder of the test's own while it lives,
// so that the EpgTimerBon copy lands there and nowhere else.
class Documents {
public:
    static constexpr const wchar_t* Key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

    Documents()
    {
        wchar_t old[MAX_PATH * 2];
        DWORD size = sizeof old;
        if (RegGetValueW(HKEY_CURRENT_USER, Key, L"Personal", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         &FOldType, old, &size) == ERROR_SUCCESS)
            FOld = old;
        MoveTo({});
    }
    ~Documents()
    {
        if (FOld)
            Set(FOldType, *FOld);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, Key, L"Personal");
    }

    // The test's own folder, or one of this name in it, becomes the documents folder.
    void MoveTo(const std::wstring& name)
    {
        FPath = name.empty() ? FDir.Path() : FDir.Path() / name;
        std::filesystem::create_directory(FPath);
        Set(REG_SZ, FPath.wstring());
    }
    std::filesystem::path EpgTimerBon() const { return FPath / "EpgTimerBon"; }

private:
    static void Set(DWORD type, const std::wstring& value)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, Key, L"Personal", type, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    TempDir FDir;
    std::filesystem::path FPath;
    DWORD FOldType = REG_SZ;
    std::optional<std::wstring> FOld;
};

class ChannelSetup : public WindowTest {
protected:
    // Opens the dialog from the main window, which it disables.
    void Open()
    {
        gui::PostClick(C(MainFormLayout::MakeChannelBtn));
        dialog = gui::WaitForProcessWindow(app.Pid(), WindowClass, Caption, true, WaitMs);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(gui::Enabled(app.Window()));
        list.emplace(D(ChannelListView));
    }
    // Opens it and waits for its scan to end with this many rows, none ticked.
    void OpenAndScan(int rows)
    {
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_TRUE(WaitFor([&] { return gui::Visible(D(ChListSizeLb)); }, WaitMs));
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
        for (auto box = gui::WaitForMessageBox(app.Pid(), WaitMs); box; box = gui::WaitForMessageBox(app.Pid(), 0)) {
            texts.push_back(box->caption + L": " + box->text);
            if (!gui::CloseMessageBox(box->window) || !gui::AfterPosted(D(ChannelNameEd)))
                break;
        }
        return texts;
    }

    void CloseDialog()
    {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return !gui::Visible(dialog) && gui::Enabled(app.Window()); }, WaitMs));
    }

    // Opens the dialog against a stand-in that has stopped answering, and
    // ends it (or the program) well within the request's time-out.
    void CloseDuringAScanThatGetsNoAnswer(const StandIn& silent, bool program)
    {
        ASSERT_TRUE(gui::SetText(C(MainFormLayout::RemoconPortEd), std::to_wstring(silent.Port())));
        ASSERT_NO_FATAL_FAILURE(Open());
        ASSERT_TRUE(WaitFor([&] {
            const auto requests = silent.Requests();
            return !requests.empty() && requests.back() == "GetChList";
        }, WaitMs));
        // Inert meanwhile, but "閉じる".
        for (int id : {UpSB, DownSB, ChannelRenameSB, Button1})
            EXPECT_FALSE(gui::Enabled(D(id))) << Find(id)->name;
        EXPECT_TRUE(gui::Enabled(D(Button2)));
        EXPECT_TRUE(WaitFor([&] { return gui::Visible(D(ChannelScanLb)); }, WaitMs));
        const auto asked = std::chrono::steady_clock::now();
        PostMessageW(program ? app.Window() : D(Button2), program ? WM_CLOSE : BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return program ? !app.Running() : !gui::Visible(dialog); },
                                   ReplyTimeoutMs / 2));
        std::printf("%s closed during an unanswered request in %ld ms\n", program ? "the program" : "the dialog",
                    ElapsedMs(asked));
    }

    // The size label's counter for these channels.
    static std::wstring SizeText(const NamedNumberList& channels)
    {
        return L"TVTest へのチャンネル一覧: " + std::to_wstring(ChListReplySize(channels)) + L" / 4095 バイト";
    }

    HWND D(int id) const { return GetDlgItem(dialog, id); }

    Documents documents;
    HWND dialog = nullptr;
    std::optional<gui::RemoteListView> list;
};

class Layout : public ChannelSetup {};

} // namespace

TEST_F(ChannelSetup, TheScanFillsTheListAndTicksMovesRenamesAndCreateReachTheFilesAndTheCopyForTVTest)
{
    ASSERT_TRUE(standin.Start());
    // The live port field counts, not the saved setting.
    ASSERT_TRUE(Start("RemoconPort=" + std::to_string(FreePort()) + "\r\n"));
    ASSERT_TRUE(gui::SetText(C(MainFormLayout::RemoconPortEd), std::to_wstring(standin.Port())));
    // The copy box is ticked when TVTest's folder is there; a choice the
    // user makes is kept.
    std::filesystem::create_directory(documents.EpgTimerBon());
    ASSERT_NO_FATAL_FAILURE(OpenAndScan(9));
    const std::size_t scanRequests = standin.Requests().size();
    EXPECT_TRUE(gui::Checked(D(CopyToEpgTimerBonCBox)));
    std::filesystem::remove(documents.EpgTimerBon());
    ASSERT_TRUE(gui::Click(D(CopyToEpgTimerBonCBox)));
    ASSERT_TRUE(gui::Click(D(CopyToEpgTimerBonCBox)));
    // The rows in scan order with their four columns.
    EXPECT_EQ(list->ItemText(0, 0), L"ＮＨＫ総合１・東京");
    const wchar_t* const last[] = {L"ショップチャンネル", L"BonDriver_PT3-S.dll", L"CS110", L"ND02"};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(list->ItemText(8, column), last[column]) << column;
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
    EXPECT_TRUE(WaitFor([&] { return list->ItemText(3, 0) == L"ＮＨＫＥテレ３東京"; }, WaitMs));
    PostMessageW(D(ChannelListView), WM_SYSKEYDOWN, VK_UP, 1 << 29);
    EXPECT_TRUE(WaitFor([&] { return list->ItemText(2, 0) == L"ＮＨＫＥテレ３東京"; }, WaitMs));

    // A typed name and Enter rename the row, and write nothing.
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L"Eテレ3"));
    PostMessageW(D(ChannelNameEd), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(gui::AfterPosted(D(ChannelNameEd)));
    EXPECT_EQ(list->ItemText(2, 0), L"Eテレ3");
    EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 0));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "<missing>");
    const std::string renamed = "E\x83\x65\x83\x8C" "3";
    EXPECT_TRUE(WaitFor(
        [&] { return gui::Text(D(ChListSizeLb)) == SizeText({{NhkSogo2, 0}, {renamed, 1}}); }, WaitMs))
        << gui::Text(D(ChListSizeLb));
    // A name the ChSet file cannot carry is refused with a note; Alt+M is
    // the rename's key.
    ASSERT_TRUE(gui::SetText(D(ChannelNameEd), L";Eテレ"));
    PostMessageW(D(ChannelListView), WM_SYSCHAR, L'm', 1 << 29);
    EXPECT_TRUE(gui::WaitForNote(app.Pid(), WaitMs));
    EXPECT_EQ(list->ItemText(2, 0), L"Eテレ3");

    // "作成" writes the ticked rows in their order, and the copy for TVTest,
    // making its folder; the dialog stays.
    const auto copy = [&] { return ReadWholeFile(Utf8Path(documents.EpgTimerBon() / ChSetFilePath(""))); };
    EXPECT_EQ(Create(), std::vector<std::wstring>{Created});
    EXPECT_TRUE(gui::Visible(dialog));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), NhkSogo2 + "\t0\t0\t0\r\n" + renamed + "\t0\t1\t0\r\n");
    EXPECT_EQ(copy(), std::optional<std::string>(app.ReadFile(ChSetFilePath(""))));

    // A read-only ChAlias file: its box with the reason, and no success box.
    ASSERT_TRUE(app.SetReadOnly(ChAliasFilePath(""), true));
    ASSERT_TRUE(list->SetChecked(0, true));
    const std::vector<std::wstring> boxes = Create();
    app.SetReadOnly(ChAliasFilePath(""), false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(L"Vernwick: ", 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(L"BonDriver_TVTest(TVTest).ChAlias.txt を作成できません.\n\n"), std::wstring::npos) << boxes[0];
    EXPECT_TRUE(gui::Visible(dialog));

    // Esc closes it; the next opening scans afresh, with no ticks.
    PostMessageW(D(ChannelListView), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return !gui::Visible(dialog) && gui::Enabled(app.Window()); }, WaitMs));
    documents.MoveTo(L"録画の書類 녹화");  // a documents folder of any name
    ASSERT_NO_FATAL_FAILURE(OpenAndScan(9));
    EXPECT_EQ(list->ItemText(3, 0), L"ＮＨＫＥテレ３東京");
    EXPECT_EQ(standin.Requests().size(), 2 * scanRequests);
    // Enter in the name field with nothing to rename is "作成": with no row
    // ticked, empty files.
    PostMessageW(D(ChannelNameEd), WM_KEYDOWN, VK_RETURN, 0);
    const auto created = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->caption + L": " + created->text, Created);
    EXPECT_TRUE(gui::CloseMessageBox(created->window));
    EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "");
    EXPECT_EQ(app.ReadFile(ChAliasFilePath("")), "");
    EXPECT_EQ(copy(), std::optional<std::string>(""));
    CloseDialog();

    // The choice is kept in the settings.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WaitMs), std::optional<int>(0));
    EXPECT_NE(app.Ini().find("\r\nCopyChSetToEpgTimerBon=1\r\n"), std::string::npos) << app.Ini();
}

TEST_F(ChannelSetup, AScanWithoutAnswerEndsAtOnceHeldArrowsRepeatAndAListTooLongForTheViewerIsAskedAbout)
{
    // EpgDataCap_Bon stops answering at GetChList: "閉じる", and at the end
    // the program's own close, end everything at once.
    StandIn silent;
    ASSERT_TRUE(silent.Start({"--silent-on", "GetChList"}));
    ASSERT_TRUE(standin.Start());
    ASSERT_TRUE(Start("ChListReplyLimit=100\r\n"));
    ASSERT_NO_FATAL_FAILURE(CloseDuringAScanThatGetsNoAnswer(silent, false));
    EXPECT_TRUE(gui::Enabled(app.Window()));

    ASSERT_TRUE(gui::SetText(C(MainFormLayout::RemoconPortEd), std::to_wstring(standin.Port())));
    ASSERT_NO_FATAL_FAILURE(OpenAndScan(9));
    // A click on "↓" moves the selected row once; held, it repeats.
    const auto positionOfFirst = [&] {
        for (int row = 0; row < list->Count(); ++row)
            if (list->ItemText(row, 0) == L"ＮＨＫ総合１・東京")
                return row;
        return -1;
    };
    const auto mouse = [&](UINT message) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(D(DownSB), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(5, 5),
                            SMTO_ABORTIFHUNG, WaitMs, &result);
    };
    ASSERT_TRUE(list->SetSelected(0, true));
    mouse(WM_LBUTTONDOWN);
    mouse(WM_LBUTTONUP);
    EXPECT_EQ(positionOfFirst(), 1);
    mouse(WM_LBUTTONDOWN);
    EXPECT_TRUE(WaitFor([&] { return positionOfFirst() >= 3; }, WaitMs));
    mouse(WM_LBUTTONUP);

    // Over the limit in the settings, "作成" asks first: no writes nothing,
    // yes writes the files.
    ASSERT_TRUE(list->SetChecked(-1, true));
    EXPECT_TRUE(WaitFor([&] { return gui::Text(D(ChListSizeLb)).find(L"先頭の ") != std::wstring::npos; },
                               WaitMs))
        << gui::Text(D(ChListSizeLb));
    for (const int answer : {IDNO, IDYES}) {
        gui::PostClick(D(Button1));
        const auto question = gui::WaitForMessageBox(app.Pid(), WaitMs);
        ASSERT_TRUE(question);
        EXPECT_NE(question->text.find(L"先頭の "), std::wstring::npos) << question->text;
        if (answer == IDYES)
            EXPECT_TRUE(gui::SaveScreenshot(question->window, gui::ArtifactPath(L"long-list-question.png")));
        EXPECT_TRUE(gui::CloseMessageBox(question->window, answer));
        ASSERT_TRUE(gui::AfterPosted(D(ChannelNameEd)));
        if (answer == IDNO) {
            EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 0));
            EXPECT_EQ(app.ReadFile(ChSetFilePath("")), "<missing>");
        }
    }
    const auto created = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->text, L"チャンネルファイルを作成しました。");
    EXPECT_TRUE(gui::CloseMessageBox(created->window));
    NamedNumberList written;
    LoadChSetFile(app.File(ChSetFilePath("")), written);
    EXPECT_EQ(written.size(), 9u);
    CloseDialog();

    ASSERT_NO_FATAL_FAILURE(CloseDuringAScanThatGetsNoAnswer(silent, true));
}

// Run by the harness at 96 dpi, and again with the prefix at 144.
TEST_F(Layout, TheWindowAndTheDialogAreScaledToTheDpiAndNoCaptionIsCut)
{
    namespace Main = MainFormLayout;
    const int dpi = TestDpi();
    ASSERT_TRUE(standin.Start());
    ASSERT_TRUE(Start(PortLine(standin)));
    ASSERT_TRUE(WaitFor([&] { return gui::Visible(app.Window()); }, WaitMs));
    ExpectLayout(app.Window(), dpi, Main::ClientWidth, Main::ClientHeight, Main::Controls, Main::FontName,
                 Main::FontHeight);
    const std::wstring dpiText = std::to_wstring(dpi) + L"dpi.png";
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"main-window-" + dpiText)));

    ASSERT_NO_FATAL_FAILURE(OpenAndScan(9));
    ExpectLayout(dialog, dpi, ClientWidth, ClientHeight, Controls, FontName, FontHeight, {ChannelScanLb, ChListSizeLb});
    // The columns are wide enough for what the rows hold ("BonDriver_PT3-T.dll"
    // is wider than the design's).
    for (int i = 0; i < static_cast<int>(Columns.size()); ++i) {
        EXPECT_EQ(list->ColumnCaption(i), Columns[i].caption);
        EXPECT_GE(SendMessageW(D(ChannelListView), LVM_GETCOLUMNWIDTH, i, 0), Scale(Columns[i].width, dpi));
    }
    EXPECT_GT(SendMessageW(D(ChannelListView), LVM_GETCOLUMNWIDTH, 1, 0), Scale(Columns[1].width, dpi));
    list->SetChecked(1, true);
    EXPECT_TRUE(gui::SaveScreenshot(dialog, gui::ArtifactPath(L"channel-setup-" + dpiText)));

    // Larger, the list takes the room and the buttons keep to the corner.
    RECT frame;
    GetWindowRect(dialog, &frame);
    const RECT listBefore = gui::RectInParent(D(ChannelListView));
    const RECT closeBefore = gui::RectInParent(D(Button2));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitFor(
        [&] { return gui::RectInParent(D(ChannelListView)).right == listBefore.right + 200; }, WaitMs));
    EXPECT_EQ(gui::RectInParent(D(ChannelListView)).bottom, listBefore.bottom + 50);
    EXPECT_EQ(gui::RectInParent(D(Button2)).left, closeBefore.left + 200);
    EXPECT_EQ(gui::RectInParent(D(Button2)).top, closeBefore.top + 50);
}
