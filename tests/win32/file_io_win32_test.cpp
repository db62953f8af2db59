// Windows refuses to replace a read-only file, and so must the channel files
// (Wine would replace it, which is why the platform code looks itself). Paths
// are UTF-8 and reach a folder of any name and depth; so do the programs
// started, and the command line's arguments.
#include <gtest/gtest.h>

#include <windows.h>

#include "channel/channel_files.h"
#include "channel/scan_lines.h"
#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/settings.h"
#include "common/win32/wide_text.h"
#include "process/epgdatacapbon_manager.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"

TEST(ChannelFilesWin32, AReadOnlyChAliasFileStopsBothFiles)
{
    TempDir dir;
    const std::string home = dir.Folder();
    const BonAliasList oldAliases{{0, {"B", 0}, {"P", 0}, {"C", 0}, {"S", 0}}};
    SaveChannelFiles(home, {{"old", 0}}, oldAliases);
    ASSERT_TRUE(SetFileAttributesA(ChAliasFilePath(home).c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        SaveChannelFiles(home, {{"new", 0}}, {});
        ADD_FAILURE() << "a read-only ChAlias file was replaced";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Path(), ChAliasFilePath(home));
    }
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(home)), "old\t0\t0\t0\r\n");
    EXPECT_EQ(ReadWholeFile(ChAliasFilePath(home)), "S\t0\tB\t0\tP\t0\tC\t0\r\n");
    SetFileAttributesA(ChAliasFilePath(home).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 2);
}

TEST(FilesWin32, AFolderOfAnyNameAndDepthHoldsTheFilesAndTheProgramsAndIsTakenAsAnArgument)
{
    TempDir dir;
    const std::string base = dir.Folder();
    ASSERT_EQ(WideFromUtf8(base), WideFromCodePage(932, base)) << "an ASCII temporary folder";
    // Korean, which no Japanese system's ANSI code page has; and 320 characters deep.
    const std::string deep = base + std::string(100, 'd') + "\\" + std::string(100, 'e') + "\\" + std::string(100, 'f');
    for (const std::string& folder : {base + "\xEB\x85\xB9\xED\x99\x94", deep}) {
        SCOPED_TRACE(folder.size());
        std::vector<std::string> made;
        ASSERT_TRUE(CreateFolders(folder, made));
        if (folder != deep)
            EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / L"녹화"));  // by its own name
        // The command line takes the folder and writes the channel files there.
        const std::string home = folder + "\\";
        ASSERT_TRUE(ReplaceFileAtomically(home + "picked.txt", std::string(ScanHeader) + "\n" +
                                              FormatScanLine({0, {"B", 0}, {"P", 0}, {"C", 0}, {"\x82\x61\x82\x72", 1}}) + "\n"));
        const ToolRun make = RunTool(dir, "vernwick-cli", {"make-channels", "--channels", folder, home + "picked.txt"});
        EXPECT_EQ(make.status, 0) << make.err;
        NamedNumberList channels;
        LoadChSetFile(ChSetFilePath(home), channels);
        EXPECT_EQ(channels, (NamedNumberList{{"\x82\x61\x82\x72", 0}}));
        Settings settings;
        settings.RemoconAddr = "\x98\x5E\x89\xE6\x8B\x40";  // code page 932, whatever the path
        SaveSettings(home + "Vernwick.ini", settings);
        EXPECT_EQ(LoadSettings(home + "Vernwick.ini").RemoconAddr, settings.RemoconAddr);
        EXPECT_EQ(ReadWholeFile(home + "Vernwick.ini")->rfind("[Parameter]\r\nRemoconAddr=\x98\x5E\x89\xE6\x8B\x40\r\n", 0), 0u);
        for (const char* name : {"Vernwick.ini", "picked.txt", "BonDriver_TVTest(TVTest).ChSet.txt", "BonDriver_TVTest(TVTest).ChAlias.txt"})
            EXPECT_TRUE(RemoveFile(home + name)) << name;
        RemoveCreatedFolders(made);
        EXPECT_FALSE(PathExists(folder));
    }

    // EpgDataCap_Bon's path comes from the settings as code page 932 bytes,
    // whatever code page the system runs in: 録画\録画.exe.
    const std::string folder = base + "\xE9\x8C\xB2\xE7\x94\xBB";
    std::vector<std::string> made;
    ASSERT_TRUE(CreateFolders(folder, made));
    ASSERT_TRUE(CopyFileW(WideFromUtf8(ToolPath("vernwick-sleeper")).c_str(),
                          WideFromUtf8(folder + "\\\xE9\x8C\xB2\xE7\x94\xBB.exe").c_str(), FALSE));
    CEpgDataCapBonManager manager(base + "\x98\x5E\x89\xE6\\\x98\x5E\x89\xE6.exe", "", "", [] { return false; });
    ASSERT_TRUE(manager.LaunchIfNotRunning());
    EXPECT_TRUE(manager.FindRunningProcess()); // by its Japanese file name
    manager.Close(true);
    EXPECT_FALSE(manager.FindRunningProcess());
}
