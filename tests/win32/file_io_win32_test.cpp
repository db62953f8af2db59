// Windows refuses to replace a read-only file, and so must the channel files
// (Wine would replace it, which is why the platform code looks itself).
#include <gtest/gtest.h>

#include <windows.h>

#include "channel/channel_files.h"
#include "common/file_io.h"
#include "support/temp_dir.h"

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
