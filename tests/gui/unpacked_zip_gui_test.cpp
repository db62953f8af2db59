// The Windows zip as a user gets it (unpacked by tests/package/zip_test.sh,
// which names its Vernwick.exe in VERNWICK_GUI_EXE): the program runs with
// the Vernwick.ini that ships beside it, and a close leaves that file exactly
// as it came.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "common/file_io.h"
#include "gui/vernwick_app.h"

TEST(UnpackedZip, TheShippedSettingsAreLeftAsTheyCame)
{
    if (!std::getenv("VERNWICK_GUI_EXE"))
        GTEST_SKIP() << "no unpacked zip named in VERNWICK_GUI_EXE";
    const auto shipped = ReadWholeFile(ExtractFileDir(VernwickApp::SourceExe()) + "Vernwick.ini");
    ASSERT_TRUE(shipped);
    VernwickApp app;
    app.WriteIni(*shipped);
    ASSERT_TRUE(app.Start());
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(app.WaitForExit(10000), std::optional<int>(0));
    // Every key was there, at the value the program keeps.
    EXPECT_EQ(app.Ini(), *shipped);
}
