// The main window's rules without a window: enabling, the server button's
// states, the server's arguments, the title, the error-box text and the
// command-line switches. The real window is driven by tests/gui.
#include <gtest/gtest.h>

#include <fstream>

#include "app/gui/app_text.h"
#include "app/gui/main_form_layout.h"
#include "app/gui/main_form_model.h"
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

    m.settings.EpgDataCapBonAutoLaunch = false;
    EXPECT_EQ(m.Press(), ServerAction::Stop);
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

TEST(MainFormModel, ArgumentsComeFromTheSettingsWithPortFallbacks)
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

    const NamedNumberList channels = {{"NHK", 1}};
    const BonAliasList aliases = {BON_ALIAS{0, {"BonDriver_A.dll", 0}, {"UHF", 0}, {"13ch", 0}, {"NHK", 1024}}};
    MasterThreadArguments a = m.Arguments(channels, aliases);
    EXPECT_EQ(a.serverPort, 51334);
    EXPECT_EQ(a.remoconAddr, "tuner.local");
    EXPECT_EQ(a.remoconPort, 1337);
    EXPECT_TRUE(a.autoLaunch);
    EXPECT_EQ(a.exePath, "C:\\E\\EpgDataCap_Bon.exe");
    EXPECT_EQ(a.exeParam, "");
    EXPECT_EQ(a.windowText, "EpgDataCap_Bon");
    EXPECT_EQ(a.channels.size(), 1u);
    EXPECT_EQ(a.aliases.size(), 1u);
    EXPECT_FALSE(a.multiTuner);
    EXPECT_TRUE(a.createSuspended);

    m.settings.ServerPort = " 4000 ";  // a trailing blank is not integer text
    m.settings.RemoconPort = "-5";    // passed as read: no range check
    a = m.Arguments({}, {});
    EXPECT_EQ(a.serverPort, 51334);
    EXPECT_EQ(a.remoconPort, -5);
    m.settings.ServerPort = "0";
    a = m.Arguments({}, {});
    EXPECT_EQ(a.serverPort, 0);
    // Built suspended: nothing runs until the window resumes it.
    auto server = MakeMasterThread(a);
    EXPECT_FALSE(server->Finished());
    EXPECT_EQ(server->ListeningPort(), 0);
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
    EXPECT_EQ(SettingsWriteErrorBoxText(L"C:\\V\\Vernwick.ini"), L"C:\\V\\Vernwick.ini に書き込めません");
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

    EXPECT_TRUE(RestoresFromTray(0x0201));    // left button down
    EXPECT_FALSE(RestoresFromTray(0x0202));   // its release
    EXPECT_FALSE(RestoresFromTray(0x0204));   // right button
    EXPECT_FALSE(RestoresFromTray(0x0203));   // double click
    EXPECT_FALSE(RestoresFromTray(0x0200));   // move
}
