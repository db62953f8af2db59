// Vernwick.exe in a real window under Wine and Xvfb: started in a folder of
// its own with its ini and channel files, driven with window messages, and
// checked by what a person would see. The stand-in plays EpgDataCap_Bon and
// a viewer talks to the server the window started. The rules themselves are
// the models' (main_form_model_test, channel_setup_model_test); this checks
// that the controls, the keys, the boxes and the tray reach them.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <functional>

#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "gui/window_test.h"
#include "net/socket.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/viewer_client.h"

using namespace MainFormLayout;

namespace {

// A box's text without its line breaks (a box breaks a long path into lines).
std::wstring OneLine(std::wstring text)
{
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    return text;
}

class MainWindow : public WindowTest {
protected:
    void ExpectEnabled(bool settings, bool path)
    {
        for (int id : {RemoconLb, RemoconAddrEd, RemoconPortEd, ServerLb, ServerPortEd, MakeChannelBtn,
                       EpgDataCapBonCBox})
            EXPECT_EQ(gui::Enabled(C(id)), settings) << Find(id)->name;
        for (int id : {EpgDataCapBonLb, EpgDataCapBonEd, EpgDataCapBonBtn})
            EXPECT_EQ(gui::Enabled(C(id)), path) << Find(id)->name;
    }

    bool ServerRunning() { return gui::Checked(C(StartPatchServerSB)) && !gui::Enabled(C(ServerPortEd)); }
    bool ServerStopped()
    {
        return !gui::Checked(C(StartPatchServerSB)) && gui::Enabled(C(StartPatchServerSB)) &&
               gui::Enabled(C(ServerPortEd));
    }
    bool StatusSays(const std::wstring& text)
    {
        return WaitFor([&] { return gui::Text(C(ServerStateLb)) == text; }, WaitMs);
    }

    HWND Focus() const
    {
        GUITHREADINFO thread{sizeof thread};
        GetGUIThreadInfo(GetWindowThreadProcessId(app.Window(), nullptr), &thread);
        return thread.hwndFocus;
    }

    static bool ViewerGetsTheVirtualTuner(ViewerClient& viewer, std::uint16_t port)
    {
        return WaitFor([&] { return viewer.Connect(port); }, WaitMs) &&
               viewer.Ask("GetBonList") == std::optional<std::string>("0\t0\t0\tTVTest");
    }
};

} // namespace

TEST_F(MainWindow, ShowsItsSettingsOpensItsBoxesByKeyAndButtonKeepsTheFocusAndSavesEditsAtExit)
{
    const std::uint16_t remocon = FreePort();
    ASSERT_TRUE(Start("RemoconAddr=localhost\r\nRemoconPort=" + std::to_string(remocon) +
                      "\r\nServerPort=abc\r\nEpgDataCapBonAutoLaunch=1\r\n"
                      "EpgDataCapBonExePath=C:\\EDCB\\EpgDataCap_Bon.exe\r\n"));
    ASSERT_TRUE(WaitFor([&] { return gui::Visible(app.Window()); }, WaitMs));
    EXPECT_EQ(gui::Text(app.Window()), Caption);
    // The taskbar button is the hidden application window's, with the title.
    const HWND application = GetWindow(app.Window(), GW_OWNER);
    wchar_t cls[64] = L"";
    GetClassNameW(application, cls, 64);
    EXPECT_STREQ(cls, L"TApplication");
    EXPECT_EQ(gui::Text(application), L"Vernwick");
    EXPECT_TRUE(gui::Visible(application));
    EXPECT_EQ(gui::ClientSize(application).cx, 0);

    const std::pair<int, std::wstring> shown[] = {{RemoconAddrEd, L"localhost"},
                                                  {RemoconPortEd, std::to_wstring(remocon)},
                                                  {ServerPortEd, L"abc"},
                                                  {EpgDataCapBonEd, L"C:\\EDCB\\EpgDataCap_Bon.exe"}};
    for (const auto& [id, text] : shown)
        EXPECT_EQ(gui::Text(C(id)), text) << Find(id)->name;
    EXPECT_TRUE(gui::Checked(C(EpgDataCapBonCBox)));
    ExpectEnabled(true, true);
    // The first tab stop has the focus, its text selected; Tab moves on.
    EXPECT_EQ(Focus(), C(RemoconAddrEd));
    EXPECT_EQ(static_cast<DWORD>(SendMessageW(C(RemoconAddrEd), EM_GETSEL, 0, 0)), static_cast<DWORD>(MAKELONG(0, 9)));
    PostMessageW(C(RemoconAddrEd), WM_KEYDOWN, VK_TAB, 0);
    PostMessageW(C(RemoconAddrEd), WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(WaitFor([&] { return Focus() == C(ServerPortEd); }, WaitMs));

    // Each way away, the box it shows (its caption, how its text begins and
    // the button that closes it), and the control that has the focus after:
    // a click on the browse button gives it the focus.
    const struct {
        const char* what;
        std::function<void()> go;
        const wchar_t* caption;  // none: the tray
        std::wstring text;
        int button;
        int focus;
    } away[] = {
        {"F5 without channel files", [&] { PostMessageW(Focus(), WM_KEYDOWN, VK_F5, 0); }, L"Vernwick", L"ファイル ",
         IDOK, ServerPortEd},
        // The dialog (its scan reads the live settings) says nothing listens, and goes.
        {"F2 without EpgDataCap_Bon", [&] { PostMessageW(Focus(), WM_KEYDOWN, VK_F2, 0); },
         L"チャンネル情報取得失敗", L"リモコン接続に失敗しました。\n\nlocalhost:" + std::to_wstring(remocon), IDOK,
         ServerPortEd},
        {"the browse dialog", [&] { gui::PostClick(C(EpgDataCapBonBtn)); }, L"EpgDataCap_Bon.exe の選択", L"",
         IDCANCEL, EpgDataCapBonBtn},
        {"the tray", [&] { PostMessageW(app.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }, nullptr, L"", 0,
         EpgDataCapBonBtn},
    };
    for (const auto& a : away) {
        SCOPED_TRACE(a.what);
        a.go();
        if (a.caption) {
            const auto box = gui::WaitForMessageBox(app.Pid(), WaitMs);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->caption, a.caption);
            EXPECT_EQ(box->text.rfind(a.text, 0), 0u) << box->text;
            EXPECT_FALSE(gui::Enabled(app.Window()));
            EXPECT_TRUE(gui::CloseMessageBox(box->window, a.button));
        } else {
            ASSERT_TRUE(WaitFor([&] { return !gui::Visible(app.Window()); }, WaitMs));
            PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_LBUTTONDOWN);
        }
        EXPECT_TRUE(WaitFor([&] { return gui::Visible(app.Window()) && gui::Enabled(app.Window()) &&
                                                Focus() == C(a.focus); }, WaitMs))
            << Focus();
    }

    ASSERT_TRUE(gui::Click(C(EpgDataCapBonCBox)));
    ExpectEnabled(true, false);
    // Japanese goes in and out as code page 932; a character without a form
    // there is refused with a note, and the field keeps what it had.
    ASSERT_TRUE(gui::SetText(C(RemoconAddrEd), L"録画機.local"));
    EXPECT_EQ(gui::Text(C(RemoconAddrEd)), L"録画機.local");
    ASSERT_TRUE(gui::SetText(C(ServerPortEd), L"4000"));
    for (const wchar_t* refused : {L"4000\u00e9", L"\u301c"}) {  // WAVE DASH: cp932 has only the full-width tilde
        // The field's note holds the reply back for as long as it shows.
        gui::SetText(C(ServerPortEd), refused, 100);
        EXPECT_TRUE(WaitFor([&] { return gui::Text(C(ServerPortEd)) == L"4000"; }, WaitMs));
        EXPECT_TRUE(gui::WaitForNote(app.Pid(), WaitMs));
    }

    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WaitMs), std::optional<int>(0));
    EXPECT_EQ(app.Ini(), "[Parameter]\r\nRemoconAddr=\x98\x5E\x89\xE6\x8B\x40.local\r\nRemoconPort=" +
                             std::to_string(remocon) +
                             "\r\nServerPort=4000\r\nEpgDataCapBonAutoLaunch=0\r\n"
                             "EpgDataCapBonExePath=C:\\EDCB\\EpgDataCap_Bon.exe\r\nEpgDataCapBonExeParam=/min\r\n"
                             "EpgDataCapBonWindowText=EpgDataCap_Bon\r\nMultiTuner=1\r\n");
}

TEST_F(MainWindow, MinAndStartServeFromTheTrayWhoseMenuAndTheKeyStopAndStartTheServerAndTheStatusLineFollows)
{
    // EpgDataCap_Bon takes 1.5 s over a BonDriver list, so that a stop,
    // which re-selects the connected viewer's channel, takes that long.
    ASSERT_TRUE(standin.Start({"--delay", "GetBonList=1500"}));
    app.WriteChannelFiles({{"Sogo2", 0}, {"\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C", 1}, {"Sogo1", 2}},
                          {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024)});
    const std::uint16_t port = FreePort();
    ASSERT_TRUE(Start(PortLine(standin) + "ServerPort=" + std::to_string(port) + "\r\n", {"x", "/MIN", "/START"}));
    ASSERT_TRUE(WaitFor([&] { return ServerRunning(); }, WaitMs));
    ExpectEnabled(false, false);
    EXPECT_TRUE(gui::Enabled(C(StartPatchServerSB)));
    ASSERT_TRUE(WaitFor([&] { return !gui::Visible(app.Window()); }, WaitMs));
    EXPECT_TRUE(gui::TrayIconPresent(app.Window(), 1));
    EXPECT_FALSE(gui::Visible(GetWindow(app.Window(), GW_OWNER)));  // no taskbar button
    // The status line follows the server's events.
    EXPECT_TRUE(StatusSays(L"待機中")) << gui::Text(C(ServerStateLb));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"EpgDataCap_Bon: 未接続");
    ViewerClient viewer;
    ASSERT_TRUE(ViewerGetsTheVirtualTuner(viewer, port));
    EXPECT_TRUE(StatusSays(L"視聴中 (1 人)")) << gui::Text(C(ServerStateLb));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"EpgDataCap_Bon: 接続中");
    EXPECT_EQ(gui::Text(C(ChannelLb)), L"Sogo1");  // the stand-in's service 1024

    // Explorer restarting forgets every icon and says so: the icon comes back.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = app.Window();
    icon.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(gui::TrayIconPresent(app.Window(), 1));
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return gui::TrayIconPresent(app.Window(), 1); }, WaitMs));

    // Other mouse events do nothing; the right button's release opens the
    // menu, whose server item (its key S) stops the server: settings
    // editable at once, the button disabled until the server has ended.
    for (UINT mouse : {WM_RBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE})
        PostMessageW(app.Window(), TrayIconCallbackMessage, 1, mouse);
    ASSERT_TRUE(gui::AfterPosted(C(RemoconAddrEd)));
    EXPECT_FALSE(gui::Visible(app.Window()));
    EXPECT_FALSE(gui::FindProcessWindow(app.Pid(), L"#32768", nullptr, true));
    PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_RBUTTONUP);
    const HWND menu = gui::WaitForProcessWindow(app.Pid(), L"#32768", nullptr, true, WaitMs);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(gui::SaveScreenshot(menu, gui::ArtifactPath(L"tray-menu.png")));
    PostMessageW(menu, WM_CHAR, L's', 0);
    ASSERT_TRUE(WaitFor([&] { return !gui::Checked(C(StartPatchServerSB)); }, WaitMs));
    EXPECT_FALSE(gui::Enabled(C(StartPatchServerSB)));
    ExpectEnabled(true, false);
    gui::Click(C(StartPatchServerSB));  // a click on the disabled button does nothing
    EXPECT_FALSE(gui::Checked(C(StartPatchServerSB)));
    EXPECT_TRUE(WaitFor([&] { return ServerStopped(); }, StopWaitMs));
    EXPECT_TRUE(StatusSays(L"停止中"));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"");
    EXPECT_FALSE(gui::Visible(app.Window()));
    EXPECT_TRUE(gui::TrayIconPresent(app.Window(), 1));

    // A press of the left button brings the window back; F5, the server
    // button's key, starts it again with the channel files read afresh.
    PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return gui::Visible(app.Window()) && !IsIconic(app.Window()) && Focus(); },
                               WaitMs));
    EXPECT_FALSE(gui::TrayIconPresent(app.Window(), 1));
    EXPECT_TRUE(gui::Visible(GetWindow(app.Window(), GW_OWNER)));
    PostMessageW(Focus(), WM_KEYDOWN, VK_F5, 0);
    ASSERT_TRUE(WaitFor([&] { return ServerRunning(); }, WaitMs));
    EXPECT_EQ(Focus(), app.Window());  // every field locked
    ViewerClient again;
    ASSERT_TRUE(ViewerGetsTheVirtualTuner(again, port));
    EXPECT_EQ(again.Ask("GetChList"), "0\t2\t0\tSogo2\t1\t\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C\t2\tSogo1");
    EXPECT_TRUE(StatusSays(L"視聴中 (1 人)")) << gui::Text(C(ServerStateLb));
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"status-viewing.png")));

    // A close with that viewer connected ends the server and the program.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(StopWaitMs + 5000), std::optional<int>(0));
    EXPECT_TRUE(again.ClosedByServer(1000));
}

TEST_F(MainWindow, EachFailureShowsItsBoxInAFolderOutsideTheCodePageWhoseFilesPassMaxPath)
{
    // No system starts a program from a path longer than MAX_PATH (260), so
    // the program's own path is 250 characters long and its files' beyond.
    app.MoveInto(L"녹화 도구", 250);
    ASSERT_GT((app.Folder() / ChAliasFilePath("")).wstring().size(), 260u);
    const std::uint16_t port = FreePort();
    const socket_t taken = CreateListenSocket(port, 1);
    ASSERT_NE(taken, InvalidSocket);
    // 録画機.local: a setting in code page 932 whatever the folder's name.
    const std::string parameters =
        "RemoconAddr=\x98\x5E\x89\xE6\x8B\x40.local\r\nServerPort=" + std::to_string(port) + "\r\n";
    ASSERT_TRUE(Start(parameters));
    EXPECT_EQ(gui::Text(C(RemoconAddrEd)), L"録画機.local");

    // No channel files yet: the standard error box names the missing one
    // whole, in lines no wider than the screen, then the system's reason;
    // the status line keeps it with its time.
    gui::PostClick(C(StartPatchServerSB));
    auto box = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Vernwick");
    const std::wstring missing = L"ファイル " + (app.Folder() / ChSetFilePath("")).wstring() + L" は開けません.";
    EXPECT_EQ(OneLine(box->text).rfind(missing, 0), 0u) << box->text;
    EXPECT_GT(OneLine(box->text).size(), missing.size()) << box->text;
    RECT r;
    GetWindowRect(box->window, &r);
    EXPECT_LE(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    EXPECT_TRUE(ServerStopped());
    EXPECT_EQ(gui::Text(C(LastFailureLb)).substr(8, missing.size() + 1), L" " + missing);

    // With the files there, the port in use ends the server with its box,
    // the button down until it is closed.
    app.WriteChannelFiles({{"Sogo", 0}}, {AliasRow(0, 0, 0, 3, 1024)});
    gui::PostClick(C(StartPatchServerSB));
    box = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, ServerBoxCaption);
    const std::wstring start = L"パッチサーバーを開始できません。 (ポート " + std::to_wstring(port) + L": ";
    EXPECT_EQ(box->text.substr(0, start.size()), start) << box->text;
    EXPECT_GT(box->text.size(), start.size() + 1);
    EXPECT_TRUE(gui::Checked(C(StartPatchServerSB)));
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    EXPECT_TRUE(WaitFor([&] { return ServerStopped(); }, WaitMs));
    EXPECT_NE(gui::Text(C(LastFailureLb)).find(L" パッチサーバーを開始できません。"), std::wstring::npos);
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"status-failure.png")));

    // A close while that box is up waits for the box; nothing deadlocks.
    gui::PostClick(C(StartPatchServerSB));
    box = gui::WaitForMessageBox(app.Pid(), WaitMs);
    ASSERT_TRUE(box);
    ASSERT_TRUE(app.SetReadOnly("Vernwick.ini", true));
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(app.Window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    EXPECT_TRUE(gui::Visible(box->window));
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    // The settings file cannot be written: that box comes after the window
    // has gone, and the file is as it was.
    box = gui::WaitForMessageBox(app.Pid(), WaitMs);
    app.SetReadOnly("Vernwick.ini", false);
    ASSERT_TRUE(box);
    EXPECT_FALSE(IsWindow(app.Window()));
    EXPECT_EQ(box->caption, L"Vernwick");
    const std::wstring cannot = (app.Folder() / "Vernwick.ini").wstring() + L" に書き込めません.";
    EXPECT_EQ(OneLine(box->text).rfind(cannot, 0), 0u) << box->text;
    EXPECT_GT(OneLine(box->text).size(), cannot.size()) << box->text;
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    EXPECT_EQ(app.WaitForExit(StopWaitMs), std::optional<int>(0));
    EXPECT_EQ(app.Ini(), "[Parameter]\r\n" + parameters);
    CloseSocket(taken);
}
