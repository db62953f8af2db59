// The Windows zip as a user gets it (unpacked by tests/package/zip_test.sh,
// which names its Vernwick.exe in VERNWICK_GUI_EXE): the program with the
// Vernwick.ini that ships beside it shows the defaults, and a close leaves
// that file exactly as it came.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "app/gui/main_form_layout.h"
#include "common/file_io.h"
#include "gui/gui_driver.h"
#include "gui/vernwick_app.h"

using namespace MainFormLayout;

TEST(UnpackedZip, TheShippedSettingsAreTheDefaultsAndAreLeftAsTheyCame)
{
    if (!std::getenv("VERNWICK_GUI_EXE"))
        GTEST_SKIP() << "no unpacked zip named in VERNWICK_GUI_EXE";
    const auto shipped = ReadWholeFile(ExtractFileDir(VernwickApp::SourceExe()) + "Vernwick.ini");
    ASSERT_TRUE(shipped);
    VernwickApp app;
    app.WriteIni(*shipped);
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(gui::Text(app.Control(RemoconAddrEd)), L"127.0.0.1");
    EXPECT_EQ(gui::Text(app.Control(RemoconPortEd)), L"1334");
    EXPECT_EQ(gui::Text(app.Control(ServerPortEd)), L"51334");
    EXPECT_EQ(gui::Text(app.Control(EpgDataCapBonEd)), L"");
    EXPECT_FALSE(gui::Checked(app.Control(EpgDataCapBonCBox)));
    EXPECT_FALSE(gui::Enabled(app.Control(EpgDataCapBonEd)));

    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(10000), std::optional<int>(0));
    // Every key was there, at the value the program keeps.
    EXPECT_EQ(app.Ini(), *shipped);
}
