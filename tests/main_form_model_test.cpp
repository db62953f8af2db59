// The main window's rules without a window: enabling and the server button's
// states, the status line, the title, the boxes' texts and the command-line
// switches. The real window is driven by tests/gui.
#include <gtest/gtest.h>

#include <tuple>

#include "app/gui/app_text.h"
#include "app/gui/main_form_layout.h"
#include "app/gui/main_form_model.h"
#include "app/gui/server_status_model.h"
#include "app/gui/startup_switches.h"

using namespace MainFormLayout;

TEST(MainFormModel, TheServerButtonLocksTheSettingsAndThePathControlsFollowTheCheckBoxWhileEditable)
{
    enum class Step { BoxOff, BoxOn, Press, StartSucceeded, StartFailed, Finished };
    using enum ServerState;
    // Each step, what a press asked for, and then the state and which of the
    // settings, the path controls and the button are enabled.
    const struct {
        Step step;
        ServerAction pressed;
        ServerState state;
        bool settings, path, button;
    } course[] = {
        {Step::BoxOff, {}, Stopped, true, false, true},
        {Step::BoxOn, {}, Stopped, true, true, true},
        {Step::Press, ServerAction::Start, Stopped, true, true, true},
        {Step::StartFailed, {}, Stopped, true, true, true},  // a missing channel file
        {Step::Press, ServerAction::Start, Stopped, true, true, true},
        {Step::StartSucceeded, {}, Running, false, false, true},
        {Step::BoxOff, {}, Running, false, false, true},
        {Step::Press, ServerAction::Stop, Stopping, true, false, false},
        {Step::BoxOn, {}, Stopping, true, true, false},
        {Step::Press, ServerAction::None, Stopping, true, true, false},  // a click on the disabled button
        {Step::Finished, {}, Stopped, true, true, true},
        {Step::Press, ServerAction::Start, Stopped, true, true, true},
        {Step::StartSucceeded, {}, Running, false, false, true},
        {Step::Finished, {}, Stopped, true, true, true},  // it could not listen
    };
    CMainFormModel m;
    int row = 0;
    for (const auto& c : course) {
        SCOPED_TRACE(row++);
        switch (c.step) {
        case Step::BoxOff: m.settings.EpgDataCapBonAutoLaunch = false; break;
        case Step::BoxOn: m.settings.EpgDataCapBonAutoLaunch = true; break;
        case Step::Press: EXPECT_EQ(m.Press(), c.pressed); break;
        case Step::StartSucceeded: m.StartSucceeded(); break;
        case Step::StartFailed: m.StartFailed(); break;
        case Step::Finished: m.Finished(); break;
        }
        EXPECT_EQ(m.State(), c.state);
        for (int id : {RemoconLb, RemoconAddrEd, RemoconPortEd, ServerLb, ServerPortEd, MakeChannelBtn,
                       EpgDataCapBonCBox})
            EXPECT_EQ(m.Enabled(id), c.settings) << Find(id)->name;
        for (int id : {EpgDataCapBonLb, EpgDataCapBonEd, EpgDataCapBonBtn})
            EXPECT_EQ(m.Enabled(id), c.path) << Find(id)->name;
        EXPECT_EQ(m.Enabled(StartPatchServerSB), c.button);
        // The tray menu's server item says what a press would do, greyed with the button.
        EXPECT_STREQ(m.TrayMenu()[1].caption,
                     c.state == Running ? L"パッチサーバー停止(&S)\tF5" : L"パッチサーバー開始(&S)\tF5");
        EXPECT_EQ(m.TrayMenu()[1].enabled, c.button);
    }
}

TEST(MainFormModel, TitleSwitchesAndTheBoxesTexts)
{
    const std::pair<const wchar_t*, const wchar_t*> titles[] = {
        {L"C:\\Program Files\\Vernwick\\Vernwick.exe", L"Vernwick"}, {L"D:\\x.y\\VERNWICK.EXE", L"Vernwick"},
        {L"C:\\A\\my.tool.v2.exe", L"my"}, {L"C:\\A\\ＡＢＣ録画.exe", L"Ａｂｃ録画"}, {L"noext", L"noext"}};
    for (const auto& [path, title] : titles)
        EXPECT_EQ(ApplicationTitle(path), title) << path;
    // A "." is added unless the text ends in one or in a lower character.
    const std::pair<const wchar_t*, const wchar_t*> errors[] = {
        {L"ファイル C:\\a.txt は開けません", L"ファイル C:\\a.txt は開けません."}, {L"Done.", L"Done."},
        {L"", L""}, {L"stop!", L"stop!"}, {L"a-", L"a-"}, {L"a/", L"a/."}};
    for (const auto& [text, shown] : errors)
        EXPECT_EQ(ErrorBoxText(text), shown) << text;

    // A box: its own text, then where, then why.
    EXPECT_EQ(BoxText("接続できません。", "127.0.0.1:1334", "refused"), "接続できません。\n\n127.0.0.1:1334\nrefused");
    EXPECT_EQ(BoxText("x", "", "refused"), "x\n\nrefused");
    EXPECT_EQ(BoxText("x", "", ""), "x");
    // A long path is broken after its separators, a name longer than a line
    // inside it; characters, not bytes, are counted.
    EXPECT_EQ(BreakLongPath("C:\\短い\\a.txt", 10), "C:\\短い\\\na.txt");
    EXPECT_EQ(BreakLongPath("C:\\abcdefghijklmnop\\x", 8), "C:\\\nabcdefgh\nijklmnop\n\\x");
    EXPECT_EQ(BreakLongPath("C:\\a\\b", 72), "C:\\a\\b");

    // "/min" and "/start" in any case, whole; nothing else counts.
    const struct {
        std::vector<std::wstring> arguments;
        bool minimize, start;
    } switches[] = {{{}, false, false},
                    {{L"/MIN", L"/Start"}, true, true},
                    {{L"-min", L"start", L"/minimize", L"/start "}, false, false},
                    {{L"x", L"/sTaRt"}, false, true}};
    for (const auto& s : switches) {
        const StartupSwitches parsed = ParseStartupSwitches(s.arguments);
        EXPECT_EQ(std::pair(parsed.minimize, parsed.startServer), std::pair(s.minimize, s.start));
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

TEST(ServerStatusModel, TheStatusLineFollowsTheServersEvents)
{
    CServerStatusModel m;
    const ClockTime at{9, 5, 7};
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
    // Viewers the server turned away are failures too.
    const std::tuple<ServerEvent, const char*, const char*> turnedAway[] = {
        {ServerEvent::ViewerOverLimit, "64", "23:59:00 視聴者が上限の 64 人に達しているため、接続を閉じました"},
        {ServerEvent::ViewerNotAllowed, "192.0.2.7", "23:59:00 AllowedViewers にない 192.0.2.7 からの接続を閉じました"},
        {ServerEvent::AcceptFailed, "3", "23:59:00 視聴者の接続を受け付けられませんでした"},
    };
    for (const auto& [event, detail, text] : turnedAway) {
        m.Event(event, detail, {23, 59, 0});
        EXPECT_EQ(m.FailureText(), text);
    }
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
