// The main window's rules without a window: enabling, the server button's
// states and the tray menu, the status line, the server's arguments, the
// title, the boxes' texts and the command-line switches. The real window is
// driven by tests/gui.
#include <gtest/gtest.h>

#include <fstream>

#include "app/gui/app_text.h"
#include "app/gui/main_form_layout.h"
#include "app/gui/main_form_model.h"
#include "app/gui/server_status_model.h"
#include "app/gui/startup_switches.h"
#include "server/patcher.h"
#include "support/temp_dir.h"

using namespace MainFormLayout;

namespace {

const int SettingsControls[] = {RemoconLb, RemoconAddrEd, RemoconPortEd, ServerLb, ServerPortEd,
                                MakeChannelBtn, EpgDataCapBonCBox};
const int PathControls[] = {EpgDataCapBonLb, EpgDataCapBonEd, EpgDataCapBonBtn};

void ExpectEnabled(const CMainFormModel& m, bool settings, bool path, bool button)
{
    for (int id : SettingsControls)
        EXPECT_EQ(m.Enabled(id), settings) << Find(id)->name;
    for (int id : PathControls)
        EXPECT_EQ(m.Enabled(id), path) << Find(id)->name;
    EXPECT_EQ(m.Enabled(StartPatchServerSB), button);
    EXPECT_TRUE(m.Enabled(Bevel1));
}

} // namespace

TEST(MainFormModel, ButtonGoesStoppedRunningStoppingStoppedAndPathControlsFollowTheCheckBoxWhenEditable)
{
    CMainFormModel m;
    EXPECT_EQ(m.State(), ServerState::Stopped);
    EXPECT_FALSE(m.ButtonDown());
    ExpectEnabled(m, true, false, true);
    m.settings.EpgDataCapBonAutoLaunch = true;
    ExpectEnabled(m, true, true, true);

    // A failed start (a missing channel file) leaves the button up.
    EXPECT_EQ(m.Press(), ServerAction::Start);
    m.StartFailed();
    EXPECT_EQ(m.State(), ServerState::Stopped);
    EXPECT_FALSE(m.ButtonDown());
    ExpectEnabled(m, true, true, true);

    EXPECT_EQ(m.Press(), ServerAction::Start);
    m.StartSucceeded();
    EXPECT_EQ(m.State(), ServerState::Running);
    EXPECT_TRUE(m.ButtonDown());
    ExpectEnabled(m, false, false, true);  // checked, but locked while running

    // The tray menu's server item says what a press would do, and is greyed
    // with the button.
    const auto serverItem = [&] { return m.TrayMenu()[1]; };
    EXPECT_STREQ(serverItem().caption, L"パッチサーバー停止(&S)\tF5");
    EXPECT_TRUE(serverItem().enabled);
    m.settings.EpgDataCapBonAutoLaunch = false;
    EXPECT_EQ(m.Press(), ServerAction::Stop);
    EXPECT_STREQ(serverItem().caption, L"パッチサーバー開始(&S)\tF5");
    EXPECT_FALSE(serverItem().enabled);
    EXPECT_EQ(m.State(), ServerState::Stopping);
    EXPECT_FALSE(m.ButtonDown());
    ExpectEnabled(m, true, false, false);  // stopping: editable, button still disabled
    m.settings.EpgDataCapBonAutoLaunch = true;
    ExpectEnabled(m, true, true, false);
    // A click that reaches the disabled button anyway changes nothing.
    EXPECT_EQ(m.Press(), ServerAction::None);
    EXPECT_EQ(m.State(), ServerState::Stopping);
    m.Finished();
    EXPECT_EQ(m.State(), ServerState::Stopped);
    ExpectEnabled(m, true, true, true);

    // The server ending by itself (it could not listen) pops the button up.
    m.Press();
    m.StartSucceeded();
    m.Finished();
    EXPECT_EQ(m.State(), ServerState::Stopped);
    EXPECT_FALSE(m.ButtonDown());
    ExpectEnabled(m, true, true, true);

    EXPECT_EQ(EditColoursFor(true).background, SystemColour::Window);
    EXPECT_EQ(EditColoursFor(true).text, SystemColour::WindowText);
    EXPECT_EQ(EditColoursFor(false).background, SystemColour::ButtonFace);
    EXPECT_EQ(EditColoursFor(false).text, SystemColour::ButtonText);
}

TEST(MainFormModel, SettingsLoadedFromTheFileDriveTheControls)
{
    TempDir dir;
    const std::string ini = dir.File("Vernwick.ini");
    std::ofstream(ini, std::ios::binary)
        << "[Parameter]\r\nRemoconAddr=tuner.local\r\nRemoconPort=0x539\r\nServerPort=abc\r\n"
           "EpgDataCapBonAutoLaunch=1\r\nEpgDataCapBonExePath=C:\\E\\EpgDataCap_Bon.exe\r\n"
           "EpgDataCapBonExeParam=\r\nMultiTuner=0x0\r\n";
    CMainFormModel m;
    m.Load(ini);
    EXPECT_TRUE(m.PathControlsEnabled());
    EXPECT_EQ(m.settings.ServerPort, "abc");
}

TEST(MainFormModel, TitleAndErrorBoxText)
{
    EXPECT_EQ(ApplicationTitle(L"C:\\Program Files\\Vernwick\\Vernwick.exe"), L"Vernwick");
    EXPECT_EQ(ApplicationTitle(L"D:\\x.y\\VERNWICK.EXE"), L"Vernwick");
    EXPECT_EQ(ApplicationTitle(L"C:\\A\\my.tool.v2.exe"), L"my");
    EXPECT_EQ(ApplicationTitle(L"C:\\A\\ＡＢＣ録画.exe"), L"Ａｂｃ録画");
    EXPECT_EQ(ApplicationTitle(L"noext"), L"noext");

    EXPECT_EQ(ErrorBoxText(L"ファイル C:\\a.txt は開けません"), L"ファイル C:\\a.txt は開けません.");
    EXPECT_EQ(ErrorBoxText(L"Done."), L"Done.");
    EXPECT_EQ(ErrorBoxText(L""), L"");
    EXPECT_EQ(ErrorBoxText(L"stop!"), L"stop!");  // '!' is below '.'
    EXPECT_EQ(ErrorBoxText(L"a-"), L"a-");
    EXPECT_EQ(ErrorBoxText(L"a/"), L"a/.");

    // A box: its own text, then where, then why.
    EXPECT_EQ(BoxText("接続できません。", "127.0.0.1:1334", "refused"), "接続できません。\n\n127.0.0.1:1334\nrefused");
    EXPECT_EQ(BoxText("x", "", "refused"), "x\n\nrefused");
    EXPECT_EQ(BoxText("x", "", ""), "x");
    // A long path is broken after its separators, a name longer than a line
    // inside it; characters, not bytes, are counted.
    EXPECT_EQ(BreakLongPath("C:\\短い\\a.txt", 10), "C:\\短い\\\na.txt");
    EXPECT_EQ(BreakLongPath("C:\\abcdefghijklmnop\\x", 8), "C:\\\nabcdefgh\nijklmnop\n\\x");
    EXPECT_EQ(BreakLongPath("C:\\a\\b", 72), "C:\\a\\b");
}

TEST(ServerStatusModel, TheStatusLineFollowsTheServersEvents)
{
    CServerStatusModel m;
    const ClockTime at{9, 5, 7};
    EXPECT_EQ(m.StateText(), "停止中");
    EXPECT_EQ(m.UpstreamText(), "");
    m.Started({{"Sogo", 0}, {"\x82\x61\x82\x72", 5}});  // ＢＳ, numbered 5 in its file
    EXPECT_EQ(m.StateText(), "停止中");  // until it listens
    // Each event and the status line after it: state, channel, link.
    const struct {
        ServerEvent event;
        const char* detail;
        const char* state;
        const char* channel;
        const char* link;
    } steps[] = {
        {ServerEvent::Listening, "51334", "待機中", "", "EpgDataCap_Bon: 未接続"},
        {ServerEvent::EpgDataCapBonLaunched, "", "待機中", "", "EpgDataCap_Bon: 未接続・自動起動"},
        {ServerEvent::UpstreamConnected, "0", "待機中", "Sogo", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ViewerConnected, "1", "視聴中 (1 人)", "Sogo", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ViewerConnected, "2", "視聴中 (2 人)", "Sogo", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ChannelSelected, "5", "視聴中 (2 人)", "ＢＳ", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ChannelSelected, "7", "視聴中 (2 人)", "7", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ViewerDisconnected, "1", "視聴中 (1 人)", "7", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::UpstreamLost, "", "視聴中 (1 人)", "7", "EpgDataCap_Bon: 再接続中・自動起動"},
        {ServerEvent::UpstreamReconnected, "0", "視聴中 (1 人)", "Sogo", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::ViewerDisconnected, "0", "待機中", "Sogo", "EpgDataCap_Bon: 接続中・自動起動"},
        {ServerEvent::UpstreamDropped, "", "待機中", "Sogo", "EpgDataCap_Bon: 未接続・自動起動"},
        {ServerEvent::EpgDataCapBonEnded, "", "待機中", "Sogo", "EpgDataCap_Bon: 未接続"},
    };
    for (const auto& step : steps) {
        m.Event(step.event, step.detail, at);
        EXPECT_EQ(m.StateText(), step.state) << step.channel;
        EXPECT_EQ(m.ChannelText(), step.channel) << step.state;
        EXPECT_EQ(m.UpstreamText(), step.link) << step.state;
    }
    EXPECT_EQ(m.FailureText(), "09:05:07 EpgDataCap_Bon との接続が切れました");
    EXPECT_EQ(m.TrayTip("Vernwick"), "Vernwick\nパッチサーバー: 待機中");
    m.Event(ServerEvent::ViewerOverLimit, "64", {23, 59, 0});
    EXPECT_EQ(m.FailureText(), "23:59:00 視聴者が上限の 64 人に達しているため、接続を閉じました");
    // A box's failure on one line; the last failure outlives the server.
    m.Failed("パッチサーバーを開始できません。\n\nポート 51334\nAddress in use", {0, 0, 1});
    m.Stopped();
    EXPECT_EQ(m.StateText(), "停止中");
    EXPECT_EQ(m.ChannelText(), "");
    EXPECT_EQ(m.UpstreamText(), "");
    EXPECT_EQ(m.FailureText(), "00:00:01 パッチサーバーを開始できません。  ポート 51334  Address in use");
    m.Event(ServerEvent::Listening, "51334", at);  // late news of a server that has ended
    EXPECT_EQ(m.StateText(), "停止中");
}

TEST(MainFormModel, SwitchesInAnyCaseAndTheTrayButton)
{
    StartupSwitches s = ParseStartupSwitches({});
    EXPECT_FALSE(s.minimize);
    EXPECT_FALSE(s.startServer);
    s = ParseStartupSwitches({L"/MIN", L"/Start"});
    EXPECT_TRUE(s.minimize);
    EXPECT_TRUE(s.startServer);
    s = ParseStartupSwitches({L"-min", L"start", L"/minimize", L"/start "});
    EXPECT_FALSE(s.minimize);
    EXPECT_FALSE(s.startServer);
    s = ParseStartupSwitches({L"x", L"/sTaRt"});
    EXPECT_FALSE(s.minimize);
    EXPECT_TRUE(s.startServer);

    // Left button down restores; right button up opens the menu; its
    // press, the left release, a double click and a move do nothing.
    for (unsigned mouse : {0x0201u, 0x0202u, 0x0203u, 0x0204u, 0x0205u, 0x0200u}) {
        EXPECT_EQ(RestoresFromTray(mouse), mouse == 0x0201u) << mouse;
        EXPECT_EQ(OpensTrayMenu(mouse), mouse == 0x0205u) << mouse;
    }

    // A tray icon that cannot be added is tried again every 2 s for a
    // minute, then the window shows; an add that works starts it afresh.
    CTrayIconRetry retry;
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(retry.Failed()) << i;
    EXPECT_FALSE(retry.Failed());
    retry.Succeeded();
    EXPECT_TRUE(retry.Failed());
}
