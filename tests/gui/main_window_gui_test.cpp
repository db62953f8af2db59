// Vernwick.exe in a real window under Wine and Xvfb: started in a folder of
// its own with its ini and channel files, driven with window messages, and
// checked by what a person would see. The stand-in plays EpgDataCap_Bon and
// a viewer talks to the server the window started.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "gui/failure_screenshot.h"
#include "gui/gui_driver.h"
#include "gui/layout_checks.h"
#include "gui/vernwick_app.h"
#include "net/socket.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/standin.h"
#include "support/viewer_client.h"

using namespace MainFormLayout;

namespace {

constexpr int WindowWaitMs = 10000;
// The server notices a stop within one 3-second wait, plus its 100 ms polls.
constexpr int StopWaitMs = 10000;

// A box's text with its long path whole again (a box breaks it into lines).
std::wstring Unbroken(std::wstring text)
{
    for (std::size_t at = 0; (at = text.find(L"\\\n", at)) != std::wstring::npos;)
        text.erase(++at, 1);
    return text;
}

const int SettingsControls[] = {RemoconLb, RemoconAddrEd, RemoconPortEd, ServerLb, ServerPortEd,
                                MakeChannelBtn, EpgDataCapBonCBox};
const int PathControls[] = {EpgDataCapBonLb, EpgDataCapBonEd, EpgDataCapBonBtn};

std::wstring ProcessFolder(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    const bool ok = process && QueryFullProcessImageNameW(process, 0, path, &size);
    if (process)
        CloseHandle(process);
    const std::wstring full = ok ? std::wstring(path, size) : L"";
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

// A test stuck past every bounded wait would otherwise hold the whole run
// until the harness's time-out: this ends it with a screenshot and a word on
// which test it was. The harness then ends whatever the test had started.
class Watchdog : public ::testing::EmptyTestEventListener {
public:
    static constexpr int LimitSeconds = 90;

    Watchdog()
    {
        std::thread([this] {
            for (;; std::this_thread::sleep_for(std::chrono::seconds(1))) {
                std::lock_guard<std::mutex> guard(FMutex);
                if (FName.empty() || std::chrono::steady_clock::now() - FStarted < std::chrono::seconds(LimitSeconds))
                    continue;
                std::fprintf(stderr, "\n%s has not finished in %d s: ending the run\n", FName.c_str(), LimitSeconds);
                gui::SaveScreenshot(nullptr, gui::ArtifactPath(L"hung.png"));
                std::fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }).detach();
    }
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        Set(std::string(info.test_suite_name()) + "." + info.name());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { Set(""); }

private:
    void Set(std::string name)
    {
        std::lock_guard<std::mutex> guard(FMutex);
        FName = std::move(name);
        FStarted = std::chrono::steady_clock::now();
    }

    std::mutex FMutex;
    std::string FName;
    std::chrono::steady_clock::time_point FStarted;
};

const bool WatchdogInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

class MainWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        // What the screen showed when a check failed, before the program goes.
        SaveFailureScreenshot();
        app.EndPolitely(StopWaitMs);
    }

    HWND C(int id) const { return app.Control(id); }

    void ExpectSettingsEnabled(bool settings, bool path)
    {
        for (int id : SettingsControls)
            EXPECT_EQ(gui::Enabled(C(id)), settings) << Find(id)->name;
        for (int id : PathControls)
            EXPECT_EQ(gui::Enabled(C(id)), path) << Find(id)->name;
    }

    // Settings for the stand-in, a free server port, and channel files.
    std::uint16_t PrepareServer(std::uint16_t remoconPort, bool channelFiles = true)
    {
        const std::uint16_t serverPort = FreePort();
        app.WriteIni("[Parameter]\r\nRemoconPort=" + std::to_string(remoconPort) +
                     "\r\nServerPort=" + std::to_string(serverPort) + "\r\n");
        if (channelFiles)
            WriteChannelFiles();
        return serverPort;
    }

    void WriteChannelFiles()
    {
        app.WriteChannelFiles({{"Sogo2", 0}, {"\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C", 1}, {"Sogo1", 2}},
                              {AliasRow(0, 0, 0, 3, 1025), AliasRow(1, 2, 1, 5, 141), AliasRow(2, 0, 0, 3, 1024)});
    }

    bool ServerRunning() { return gui::Checked(C(StartPatchServerSB)) && !gui::Enabled(C(ServerPortEd)); }

    HWND Focus() const
    {
        GUITHREADINFO thread{sizeof thread};
        GetGUIThreadInfo(GetWindowThreadProcessId(app.Window(), nullptr), &thread);
        return thread.hwndFocus;
    }

    // The status line reads this, within the wait.
    bool StatusSays(int pane, const std::wstring& text)
    {
        return gui::WaitUntil([&] { return gui::Text(C(pane)) == text; }, WindowWaitMs);
    }

    bool ServerStopped()
    {
        return !gui::Checked(C(StartPatchServerSB)) && gui::Enabled(C(StartPatchServerSB)) &&
               gui::Enabled(C(ServerPortEd));
    }

    static bool ViewerGetsTheVirtualTuner(ViewerClient& viewer, std::uint16_t port)
    {
        if (!gui::WaitUntil([&] { return viewer.Connect(port); }, WindowWaitMs))
            return false;
        return viewer.Ask("GetBonList") == std::optional<std::string>("0\t0\t0\tTVTest");
    }

    // Declared first so that it outlives the program that talks to it.
    StandIn standin;
    VernwickApp app;
};

} // namespace

TEST_F(MainWindow, DefaultsWithoutAnIniAndTheCheckBoxRule)
{
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(app.Window()); }, WindowWaitMs));
    EXPECT_EQ(gui::Text(app.Window()), L"Vernwick 0.3");
    // The taskbar button is the hidden application window's, with the title.
    const HWND application = GetWindow(app.Window(), GW_OWNER);
    ASSERT_NE(application, nullptr);
    wchar_t cls[64];
    GetClassNameW(application, cls, 64);
    EXPECT_STREQ(cls, L"TApplication");
    EXPECT_EQ(gui::Text(application), L"Vernwick");
    EXPECT_TRUE(gui::Visible(application));
    EXPECT_EQ(gui::ClientSize(application).cx, 0);
    ExpectLayout(app.Window(), DesignDpi, ClientWidth, ClientHeight, Controls, FontName, FontHeight);
    EXPECT_EQ(gui::Text(C(RemoconAddrEd)), L"127.0.0.1");
    EXPECT_EQ(gui::Text(C(RemoconPortEd)), L"1334");
    EXPECT_EQ(gui::Text(C(ServerPortEd)), L"51334");
    EXPECT_EQ(gui::Text(C(EpgDataCapBonEd)), L"");
    EXPECT_FALSE(gui::Checked(C(EpgDataCapBonCBox)));
    EXPECT_FALSE(gui::Checked(C(StartPatchServerSB)));
    EXPECT_TRUE(gui::Enabled(C(StartPatchServerSB)));
    ExpectSettingsEnabled(true, false);
    GUITHREADINFO thread{sizeof thread};
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(app.Window(), nullptr), &thread));
    EXPECT_EQ(thread.hwndFocus, C(RemoconAddrEd));  // the first tab stop, its text selected
    const auto selection = static_cast<DWORD>(SendMessageW(C(RemoconAddrEd), EM_GETSEL, 0, 0));
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 9);
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"main-window.png")));

    ASSERT_TRUE(gui::Click(C(EpgDataCapBonCBox)));
    EXPECT_TRUE(gui::Checked(C(EpgDataCapBonCBox)));
    ExpectSettingsEnabled(true, true);
    ASSERT_TRUE(gui::SetText(C(EpgDataCapBonEd), L"C:\\EDCB\\EpgDataCap_Bon.exe"));
    ASSERT_TRUE(gui::Click(C(EpgDataCapBonCBox)));
    ExpectSettingsEnabled(true, false);
    EXPECT_EQ(gui::Text(C(EpgDataCapBonEd)), L"C:\\EDCB\\EpgDataCap_Bon.exe");  // kept, and saved below

    // Japanese goes in and out as code page 932; a character without a form
    // there is refused, and the field keeps what it had.
    ASSERT_TRUE(gui::SetText(C(RemoconAddrEd), L"録画機.local"));
    EXPECT_EQ(gui::Text(C(RemoconAddrEd)), L"録画機.local");
    gui::SetText(C(ServerPortEd), L"5133\u00e94");
    EXPECT_EQ(gui::Text(C(ServerPortEd)), L"51334");
    // The user is told: a balloon on the field (or a box where none can show).
    HWND balloon = nullptr;
    std::optional<gui::MessageBoxInfo> box;
    EXPECT_TRUE(gui::WaitUntil([&] {
        balloon = gui::FindProcessWindow(app.Pid(), L"tooltips_class32", nullptr, true);
        return balloon || (box = gui::WaitForMessageBox(app.Pid(), 0));
    }, WindowWaitMs));
    gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"refused-character.png"));
    if (box)
        gui::CloseMessageBox(box->window);
    gui::SetText(C(ServerPortEd), L"\u301c");  // WAVE DASH: cp932 has only the full-width tilde
    EXPECT_EQ(gui::Text(C(ServerPortEd)), L"51334");
    if ((box = gui::WaitForMessageBox(app.Pid(), 200)))
        gui::CloseMessageBox(box->window);

    // F2, the channel files button's key, opens the (hidden until now) dialog
    // modally. Nothing listens at the address: the scan says so, naming it,
    // and the dialog goes.
    PostMessageW(Focus(), WM_KEYDOWN, VK_F2, 0);
    const HWND dialog = gui::WaitForProcessWindow(app.Pid(), L"TChannelSetupDlg", L"チャンネルファイルの作成", true,
                                                  WindowWaitMs);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(gui::Enabled(app.Window()));
    const auto failed = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->caption, L"チャンネル情報取得失敗");
    EXPECT_EQ(failed->text.rfind(L"リモコン接続に失敗しました。\n\n録画機.local:1334", 0), 0u) << failed->text;
    EXPECT_EQ(GetWindow(failed->window, GW_OWNER), dialog);
    EXPECT_TRUE(gui::CloseMessageBox(failed->window));
    EXPECT_TRUE(gui::WaitUntil([&] { return !gui::Visible(dialog) && gui::Enabled(app.Window()); }, WindowWaitMs));

    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WindowWaitMs), std::optional<int>(0));
    EXPECT_EQ(app.Ini(), "[Parameter]\r\n"
                         "RemoconAddr=\x98\x5E\x89\xE6\x8B\x40.local\r\n"
                         "RemoconPort=1334\r\nServerPort=51334\r\nEpgDataCapBonAutoLaunch=0\r\n"
                         "EpgDataCapBonExePath=C:\\EDCB\\EpgDataCap_Bon.exe\r\n"
                         "EpgDataCapBonExeParam=/min\r\nEpgDataCapBonWindowText=EpgDataCap_Bon\r\nMultiTuner=1\r\n");
}

TEST_F(MainWindow, ValuesFromAnIniAreShownAndSavedBackWithTheRestOfTheFile)
{
    app.WriteIni("; kept\r\n[Other]\r\nA=1\r\n[Parameter]\r\nRemoconAddr=192.168.1.5\r\nRemoconPort=2334\r\n"
                 "ServerPort=abc\r\nEpgDataCapBonAutoLaunch=1\r\nEpgDataCapBonExePath=C:\\EDCB\\EpgDataCap_Bon.exe\r\n"
                 "EpgDataCapBonExeParam=\r\nMultiTuner=0x0\r\nUnknown=x\r\n");
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(gui::Text(C(RemoconAddrEd)), L"192.168.1.5");
    EXPECT_EQ(gui::Text(C(RemoconPortEd)), L"2334");
    EXPECT_EQ(gui::Text(C(ServerPortEd)), L"abc");
    EXPECT_EQ(gui::Text(C(EpgDataCapBonEd)), L"C:\\EDCB\\EpgDataCap_Bon.exe");
    EXPECT_TRUE(gui::Checked(C(EpgDataCapBonCBox)));
    ExpectSettingsEnabled(true, true);

    // The browse dialog, with its title; cancelling changes nothing.
    gui::PostClick(C(EpgDataCapBonBtn));
    auto browse = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
    ASSERT_TRUE(browse);
    EXPECT_EQ(browse->caption, L"EpgDataCap_Bon.exe の選択");
    EXPECT_TRUE(gui::CloseMessageBox(browse->window, IDCANCEL));
    EXPECT_EQ(gui::Text(C(EpgDataCapBonEd)), L"C:\\EDCB\\EpgDataCap_Bon.exe");

    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(WindowWaitMs), std::optional<int>(0));
    EXPECT_EQ(app.Ini(), "; kept\r\n[Other]\r\nA=1\r\n[Parameter]\r\nRemoconAddr=192.168.1.5\r\nRemoconPort=2334\r\n"
                         "ServerPort=abc\r\nEpgDataCapBonAutoLaunch=1\r\nEpgDataCapBonExePath=C:\\EDCB\\EpgDataCap_Bon.exe\r\n"
                         "EpgDataCapBonExeParam=\r\nMultiTuner=0\r\nUnknown=x\r\n"
                         "EpgDataCapBonWindowText=EpgDataCap_Bon\r\n");
}

TEST_F(MainWindow, ServerStartedByStartAndTheButtonServesAViewerStopsAndSavesEveryKeyOnClose)
{
    // EpgDataCap_Bon takes 1.5 s over a BonDriver list, so that the stop,
    // which re-selects the connected viewer's channel, takes that long.
    ASSERT_TRUE(standin.Start({"--delay", "GetBonList=1500"}));
    const std::uint16_t port = PrepareServer(standin.Port());
    app.WriteIni(app.Ini() + "Unknown=1\r\n[Other]\r\nB=2\r\n");
    // "/start" alone: the server runs without a click, the window shown.
    ASSERT_TRUE(app.Start({"/start"}));
    ASSERT_TRUE(gui::WaitUntil([&] { return ServerRunning(); }, WindowWaitMs));
    EXPECT_TRUE(gui::Visible(app.Window()));
    ExpectSettingsEnabled(false, false);
    EXPECT_TRUE(gui::Enabled(C(StartPatchServerSB)));
    // The status line follows the server's events.
    EXPECT_TRUE(StatusSays(ServerStateLb, L"待機中")) << gui::Text(C(ServerStateLb));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"EpgDataCap_Bon: 未接続");
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"status-waiting.png")));
    ViewerClient viewer;
    ASSERT_TRUE(ViewerGetsTheVirtualTuner(viewer, port));
    EXPECT_TRUE(StatusSays(ServerStateLb, L"視聴中 (1 人)")) << gui::Text(C(ServerStateLb));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"EpgDataCap_Bon: 接続中");
    EXPECT_EQ(gui::Text(C(ChannelLb)), L"Sogo1");  // the stand-in's service 1024
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"status-viewing.png")));

    // F5, the server button's key, stops it: settings editable at once, the
    // button disabled until the server has ended, then up and enabled.
    EXPECT_EQ(Focus(), app.Window());  // every field locked
    PostMessageW(Focus(), WM_KEYDOWN, VK_F5, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return !gui::Checked(C(StartPatchServerSB)); }, WindowWaitMs));
    EXPECT_FALSE(gui::Checked(C(StartPatchServerSB)));
    EXPECT_FALSE(gui::Enabled(C(StartPatchServerSB)));
    ExpectSettingsEnabled(true, false);
    gui::Click(C(StartPatchServerSB));  // a click on the disabled button does nothing
    EXPECT_FALSE(gui::Checked(C(StartPatchServerSB)));
    EXPECT_TRUE(gui::WaitUntil([&] { return ServerStopped(); }, StopWaitMs));
    EXPECT_FALSE(gui::WaitForMessageBox(app.Pid(), 100));
    EXPECT_FALSE(viewer.Connect(port));
    EXPECT_TRUE(StatusSays(ServerStateLb, L"停止中"));
    EXPECT_EQ(gui::Text(C(UpstreamLb)), L"");

    // A press starts it again on the same settings.
    gui::PostClick(C(StartPatchServerSB));
    ASSERT_TRUE(gui::WaitUntil([&] { return ServerRunning(); }, WindowWaitMs));
    ViewerClient again;
    ASSERT_TRUE(ViewerGetsTheVirtualTuner(again, port));
    EXPECT_EQ(again.Ask("GetChList"), "0\t2\t0\tSogo2\t1\t\x82\x61\x82\x72\x93\xFA\x83\x65\x83\x8C\t2\tSogo1");

    // A close with that viewer connected ends the server and the program,
    // and the settings file holds every key, with the rest of it kept.
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(StopWaitMs + 5000), std::optional<int>(0));
    EXPECT_TRUE(again.ClosedByServer(1000));
    EXPECT_EQ(app.Ini(), "[Parameter]\r\nRemoconPort=" + std::to_string(standin.Port()) +
                             "\r\nServerPort=" + std::to_string(port) +
                             "\r\nUnknown=1\r\nRemoconAddr=127.0.0.1\r\nEpgDataCapBonAutoLaunch=0\r\n"
                             "EpgDataCapBonExePath=\r\nEpgDataCapBonExeParam=/min\r\n"
                             "EpgDataCapBonWindowText=EpgDataCap_Bon\r\nMultiTuner=1\r\n[Other]\r\nB=2\r\n");
}

TEST_F(MainWindow, AFailedStartAndAPortInUseShowTheirBoxesAndTheButtonPopsUp)
{
    // No channel files yet: the standard error box names the missing one.
    ASSERT_TRUE(standin.Start());
    const std::uint16_t port = PrepareServer(standin.Port(), false);
    const socket_t taken = CreateListenSocket(port, 1);
    ASSERT_NE(taken, InvalidSocket);
    ASSERT_TRUE(app.Start());
    gui::PostClick(C(StartPatchServerSB));
    auto box = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Vernwick");
    // The box's own text, then the system's reason; the status line keeps
    // it with its time.
    const std::wstring missing = L"ファイル " + ProcessFolder(app.Pid()) + L"BonDriver_TVTest(TVTest).ChSet.txt は開けません.";
    EXPECT_EQ(Unbroken(box->text).rfind(missing + L"\n\n", 0), 0u) << box->text;
    EXPECT_GT(box->text.size(), missing.size() + 2) << box->text;
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    EXPECT_TRUE(ServerStopped());
    ExpectSettingsEnabled(true, false);
    EXPECT_EQ(gui::Text(C(LastFailureLb)).substr(8, missing.size() + 1), L" " + missing) << gui::Text(C(LastFailureLb));

    // With the files there, the port in use ends the server with its box.
    WriteChannelFiles();
    gui::PostClick(C(StartPatchServerSB));
    box = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, ServerBoxCaption);
    // The box says which port, and the system's reason after it.
    const std::wstring start = L"パッチサーバーを開始できません。 (ポート " + std::to_wstring(port) + L": ";
    EXPECT_EQ(box->text.substr(0, start.size()), start) << box->text;
    EXPECT_GT(box->text.size(), start.size() + 1);
    EXPECT_TRUE(gui::Checked(C(StartPatchServerSB)));  // down until the box is closed
    EXPECT_TRUE(gui::CloseMessageBox(box->window));
    EXPECT_TRUE(gui::WaitUntil([&] { return ServerStopped(); }, WindowWaitMs));
    ExpectSettingsEnabled(true, false);
    EXPECT_NE(gui::Text(C(LastFailureLb)).find(L" パッチサーバーを開始できません。"), std::wstring::npos);
    EXPECT_TRUE(gui::SaveScreenshot(app.Window(), gui::ArtifactPath(L"status-failure.png")));

    // A close while the box is up waits for the box; nothing deadlocks.
    gui::PostClick(C(StartPatchServerSB));
    const auto again = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
    ASSERT_TRUE(again);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(app.WaitForExit(500));
    EXPECT_TRUE(gui::Visible(again->window));
    EXPECT_TRUE(gui::CloseMessageBox(again->window));
    EXPECT_EQ(app.WaitForExit(StopWaitMs), std::optional<int>(0));
    CloseSocket(taken);
}

TEST_F(MainWindow, MinAndStartGoToATrayIconThatSurvivesTheTaskbarWithAMenuAndALeftPressRestores)
{
    ASSERT_TRUE(standin.Start());
    const std::uint16_t port = PrepareServer(standin.Port());
    ASSERT_TRUE(app.Start({"x", "/MIN", "/START"}));
    ASSERT_TRUE(gui::WaitUntil([&] { return ServerRunning(); }, WindowWaitMs));
    ASSERT_TRUE(gui::WaitUntil([&] { return !gui::Visible(app.Window()); }, WindowWaitMs));
    EXPECT_TRUE(gui::TrayIconPresent(app.Window(), 1));
    EXPECT_FALSE(gui::Visible(GetWindow(app.Window(), GW_OWNER)));  // no taskbar button
    ViewerClient viewer;
    EXPECT_TRUE(ViewerGetsTheVirtualTuner(viewer, port));

    // Explorer restarting forgets every icon and says so: the icon comes back.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = app.Window();
    icon.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(gui::TrayIconPresent(app.Window(), 1));
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::TrayIconPresent(app.Window(), 1); }, WindowWaitMs));

    // Other mouse events do nothing; the right button's release opens the
    // menu, whose server item (its key S) stops the server.
    for (UINT mouse : {WM_RBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE})
        PostMessageW(app.Window(), TrayIconCallbackMessage, 1, mouse);
    EXPECT_FALSE(gui::WaitUntil([&] { return gui::Visible(app.Window()); }, 800));
    EXPECT_FALSE(gui::FindProcessWindow(app.Pid(), L"#32768", nullptr, true));
    PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_RBUTTONUP);
    const HWND menu = gui::WaitForProcessWindow(app.Pid(), L"#32768", nullptr, true, WindowWaitMs);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(gui::SaveScreenshot(menu, gui::ArtifactPath(L"tray-menu.png")));
    PostMessageW(menu, WM_CHAR, L's', 0);
    EXPECT_TRUE(gui::WaitUntil([&] { return ServerStopped(); }, StopWaitMs));
    EXPECT_FALSE(gui::Visible(app.Window()));
    EXPECT_TRUE(gui::TrayIconPresent(app.Window(), 1));

    // A press of the left button brings the window back.
    PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_LBUTTONDOWN);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Visible(app.Window()) && !IsIconic(app.Window()); }, WindowWaitMs));
    EXPECT_FALSE(gui::TrayIconPresent(app.Window(), 1));
    EXPECT_TRUE(gui::Visible(GetWindow(app.Window(), GW_OWNER)));
    EXPECT_EQ(gui::Text(C(ServerStateLb)), L"停止中");
}

TEST_F(MainWindow, FocusReturnsToItsControlAfterABoxTheDialogTheBrowseDialogAndTheTray)
{
    app.WriteIni("[Parameter]\r\nRemoconPort=" + std::to_string(FreePort()) + "\r\nEpgDataCapBonAutoLaunch=1\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(Focus(), C(RemoconAddrEd));
    // Tab moves on, as in any dialog.
    PostMessageW(C(RemoconAddrEd), WM_KEYDOWN, VK_TAB, 0);
    PostMessageW(C(RemoconAddrEd), WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return Focus() == C(ServerPortEd); }, WindowWaitMs));
    const auto closeBox = [&] {
        const auto box = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
        return box && (gui::CloseMessageBox(box->window) || gui::CloseMessageBox(box->window, IDCANCEL));
    };
    // A click on the browse button gives it the focus, which it gets back.
    const std::tuple<const char*, std::function<bool()>, int> away[] = {
        {"a box (no channel files)", [&] { gui::PostClick(C(StartPatchServerSB)); return closeBox(); }, ServerPortEd},
        {"the dialog (no EpgDataCap_Bon)", [&] { gui::PostClick(C(MakeChannelBtn)); return closeBox(); }, ServerPortEd},
        {"the browse dialog", [&] { gui::PostClick(C(EpgDataCapBonBtn)); return closeBox(); }, EpgDataCapBonBtn},
        {"the tray", [&] {
             PostMessageW(app.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
             if (!gui::WaitUntil([&] { return !gui::Visible(app.Window()); }, WindowWaitMs))
                 return false;
             PostMessageW(app.Window(), TrayIconCallbackMessage, 1, WM_LBUTTONDOWN);
             return gui::WaitUntil([&] { return gui::Visible(app.Window()) && !IsIconic(app.Window()); },
                                   WindowWaitMs);
         }, EpgDataCapBonBtn},
    };
    for (const auto& [where, go, focus] : away) {
        ASSERT_TRUE(go()) << where;
        EXPECT_TRUE(gui::WaitUntil([&] { return Focus() == C(focus); }, WindowWaitMs)) << where << " " << Focus();
    }
}

TEST(AnyFolder, AFolderOutsideTheCodePageOrWhoseFilesPassMaxPathKeepsItsSettingsAndNamesItsFiles)
{
    // No system starts a program from a path longer than MAX_PATH (260), so
    // the deep folder brings the program's own path to 250 characters and
    // the channel files' beyond it.
    for (const bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "deep" : "Korean");
        std::unique_ptr<VernwickApp> made =
            deep ? std::make_unique<VernwickApp>(std::size_t{250}) : std::make_unique<VernwickApp>(L"녹화 도구");
        VernwickApp& app = *made;
        ASSERT_GT((app.Folder() / ChAliasFilePath("")).wstring().size(), deep ? 260u : 0u);
        // 録画機.local, a setting in code page 932 whatever the folder's name.
        const std::string ini = "[Parameter]\r\nRemoconAddr=\x98\x5E\x89\xE6\x8B\x40.local\r\nServerPort=0\r\n";
        app.WriteIni(ini);
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(gui::Text(app.Control(RemoconAddrEd)), L"録画機.local");
        EXPECT_EQ(gui::Text(app.Control(ServerPortEd)), L"0");

        // The missing channel file's box names it whole, in lines no wider
        // than the screen.
        gui::PostClick(app.Control(StartPatchServerSB));
        const auto box = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
        ASSERT_TRUE(box);
        std::wstring text = box->text;
        text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
        EXPECT_NE(text.find((app.Folder() / "BonDriver_TVTest(TVTest).ChSet.txt").wstring()), std::wstring::npos)
            << box->text;
        RECT r;
        GetWindowRect(box->window, &r);
        EXPECT_LE(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_TRUE(gui::CloseMessageBox(box->window));

        // The channel files there are read at the start.
        app.WriteChannelFiles({{"Sogo", 0}}, {AliasRow(0, 0, 0, 3, 1024)});
        gui::PostClick(app.Control(StartPatchServerSB));
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::Text(app.Control(ServerStateLb)) == L"待機中"; }, WindowWaitMs));

        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitForExit(StopWaitMs), std::optional<int>(0));
        EXPECT_EQ(app.Ini().rfind(ini, 0), 0u) << app.Ini();
        EXPECT_NE(app.Ini().find("\r\nMultiTuner=1\r\n"), std::string::npos) << app.Ini();
    }
}

TEST_F(MainWindow, ASettingsFileThatCannotBeWrittenIsReportedAfterTheWindowHasGone)
{
    // Read-only, and then held open by another program that shares nothing.
    for (const bool locked : {false, true}) {
        SCOPED_TRACE(locked ? "locked" : "read-only");
        VernwickApp app;
        const std::string before = "[Parameter]\r\nServerPort=4000\r\n";
        app.WriteIni(before);
        if (!locked)
            ASSERT_TRUE(SetFileAttributesA(app.IniPath().c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(gui::Text(app.Control(ServerPortEd)), L"4000");
        HANDLE holder = locked ? CreateFileA(app.IniPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        const auto box = gui::WaitForMessageBox(app.Pid(), WindowWaitMs);
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        SetFileAttributesA(app.IniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(box);
        EXPECT_FALSE(IsWindow(app.Window()));
        EXPECT_EQ(box->caption, L"Vernwick");
        const std::wstring cannot = ProcessFolder(app.Pid()) + L"Vernwick.ini に書き込めません.\n\n";
        EXPECT_EQ(Unbroken(box->text).rfind(cannot, 0), 0u) << box->text;
        EXPECT_GT(box->text.size(), cannot.size());  // and why
        EXPECT_TRUE(app.Running());
        EXPECT_TRUE(gui::CloseMessageBox(box->window));
        EXPECT_EQ(app.WaitForExit(WindowWaitMs), std::optional<int>(0));
        EXPECT_EQ(app.Ini(), before);  // never half-written
    }
}
