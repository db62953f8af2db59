// vernwick-cli check-channels against stand-in trees that differ from the
// channel files: each outcome, --fix, and the runs that must change nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "process/child_process.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/run_tool.h"
#include "support/standin.h"
#include "support/tool_path.h"

namespace {

constexpr auto Row = NamedAliasRow;

// Since the files were made: Two renamed in place, Three moved to another
// channel, Four gone, Five now only on two other tuners.
const char* Tree = "bon\tT.dll\t0\nspace\tS\t0\nch\tc1\t1\nservice\tOne\t1\nservice\tTwo HD\t2\nch\tc4\t4\n"
                   "service\tThree\t3\nbon\tU.dll\t1\nspace\tS\t0\nch\tc5\t5\nservice\tFive\t5\n"
                   "bon\tV.dll\t2\nspace\tS\t0\nch\tc5\t5\nservice\tFive\t5\n";

class CheckChannels : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), Tree));
        ASSERT_TRUE(standin.Start({"--tree", standin.File("tree.txt")}));
        Settings settings;
        settings.RemoconPort = std::to_string(standin.Port());
        SaveSettings(dir.File("Vernwick.ini"), settings);
        // テスト局 in code page 932, as the display name of the third channel.
        SaveChSetFile(ChSetFilePath(dir.Folder()), {{"One", 0}, {"Two", 1}, {"\x83\x65\x83\x58\x83\x67\x8B\xC7", 2},
                                                    {"Four", 3}, {"Five", 4}});
        SaveChAliasFile(ChAliasFilePath(dir.Folder()),
                        {Row(0, "One", 1, "T.dll", 0, 1), Row(1, "Two", 2, "T.dll", 0, 1),
                         Row(2, "Three", 3, "T.dll", 0, 2), Row(3, "Four", 4, "T.dll", 0, 3),
                         Row(4, "Five", 5, "T.dll", 0, 5)});
        chSet = ReadWholeFile(ChSetFilePath(dir.Folder())).value_or("");
        chAlias = ReadWholeFile(ChAliasFilePath(dir.Folder())).value_or("");
    }

    ToolRun Check(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"check-channels", "--ini", dir.File("Vernwick.ini"), "--channels", dir.Folder()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(dir, "vernwick-cli", args);
    }

    bool FilesAsMade()
    {
        return ReadWholeFile(ChSetFilePath(dir.Folder())) == chSet &&
               ReadWholeFile(ChAliasFilePath(dir.Folder())) == chAlias;
    }

    StandIn standin;
    TempDir dir;
    std::string chSet, chAlias;
};

} // namespace

TEST_F(CheckChannels, ReportsEachChannelAndFixOnlyFollowsTheServiceThatMovedOnce)
{
    const ToolRun check = Check();
    EXPECT_EQ(check.status, 1) << check.err;
    const std::vector<std::string> expected = {
        "status     channel   in the files  found now",
        "unchanged  One       0/0/1/1       0/0/1/1",
        "renamed    Two       0/0/1/2       0/0/1/2             service now Two HD, was Two",
        "moved      テスト局  0/0/2/3       0/0/4/3",
        "gone       Four      0/0/3/4       -",
        "moved      Five      0/0/5/5       1/0/5/5 or 2/0/5/5  found more than once, left as it is",
        "1 unchanged, 1 renamed, 2 moved, 1 gone",
    };
    EXPECT_EQ(Lines(check.out), expected);
    EXPECT_TRUE(FilesAsMade());

    const ToolRun fix = Check({"--fix"});
    EXPECT_EQ(fix.status, 1) << fix.err;
    ASSERT_EQ(Lines(fix.out).size(), 8u);
    EXPECT_EQ(Lines(fix.out)[3], "moved      テスト局  0/0/2/3       0/0/4/3             fixed");
    // The server reads the files when it starts only.
    EXPECT_NE(Lines(fix.out)[7].find("systemctl restart vernwick"), std::string::npos) << fix.out;
    // Only the third line changed: to the channel the service is on now.
    std::string fixedAlias = chAlias;
    fixedAlias.replace(fixedAlias.find("Three"), std::string("Three\t3\tT.dll\t0\tS\t0\tc2\t2").size(),
                       "Three\t3\tT.dll\t0\tS\t0\tc4\t4");
    EXPECT_EQ(ReadWholeFile(ChAliasFilePath(dir.Folder())), fixedAlias);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(dir.Folder())), chSet);
    EXPECT_EQ(Lines(Check().out)[3], "unchanged  テスト局  0/0/4/3       0/0/4/3");

    // A display name the viewer reads as a comment is a problem of its own,
    // named by its line.
    std::string semicolon = chSet;
    semicolon.replace(semicolon.find("Two"), 3, ";Two");
    ASSERT_TRUE(ReplaceFileAtomically(ChSetFilePath(dir.Folder()), semicolon));
    const ToolRun names = Check();
    EXPECT_EQ(names.status, 1);
    EXPECT_NE(names.out.find("BonDriver_TVTest(TVTest).ChSet.txt: line 2: the display name starts with ';'"),
              std::string::npos) << names.out;
    EXPECT_EQ(Lines(names.out).back(), "2 unchanged, 1 renamed, 1 moved, 1 gone, 1 display name to change");

    // Files holding only what is still there.
    SaveChSetFile(ChSetFilePath(dir.Folder()), {{"One", 0}});
    SaveChAliasFile(ChAliasFilePath(dir.Folder()), {Row(0, "One", 1, "T.dll", 0, 1)});
    EXPECT_EQ(Check().status, 0);
}

TEST_F(CheckChannels, ChangesNothingWithoutAnAnswerOrWithAFileItCannotRead)
{
    // The connection lost in the middle of the scan.
    StandIn dying;
    ASSERT_TRUE(ReplaceFileAtomically(dying.File("tree.txt"), Tree));
    ASSERT_TRUE(dying.Start({"--tree", dying.File("tree.txt"), "--exit-after", "8"}));
    for (const std::uint16_t port : {dying.Port(), FreePort()}) {
        Settings settings;
        settings.RemoconPort = std::to_string(port);
        SaveSettings(dir.File("Vernwick.ini"), settings);
        const ToolRun run = Check({"--fix"});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(Lines(run.out), std::vector<std::string>{});
        EXPECT_TRUE(FilesAsMade());
        if (port != dying.Port())
            EXPECT_NE(run.err.find("リモコン接続に失敗しました。 (127.0.0.1:" + std::to_string(port) + ": "),
                      std::string::npos) << run.err;
    }

    // A line the server would pass over is named, and no scan is made.
    const std::size_t asked = standin.Requests().size();
    ASSERT_TRUE(ReplaceFileAtomically(ChAliasFilePath(dir.Folder()), chAlias.substr(0, chAlias.find('\n') + 1) +
                                                                          "Two\t2\tT.dll\t0\tS\t0\tc1\r\n"));
    const ToolRun bad = Check({"--fix"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("BonDriver_TVTest(TVTest).ChAlias.txt: line 2: 7 fields"), std::string::npos) << bad.err;
    EXPECT_EQ(standin.Requests().size(), asked);
}

TEST_F(CheckChannels, FixWritesNothingOverFilesMadeAnewDuringItsScan)
{
    // The scan's second request is answered after 4 s; make-channels writes
    // new files meanwhile, which the stale rows of the fix must not replace.
    StandIn slow;
    ASSERT_TRUE(ReplaceFileAtomically(slow.File("tree.txt"), Tree));
    ASSERT_TRUE(slow.Start({"--tree", slow.File("tree.txt"), "--delay", "4000", "--fault-at", "2"}));
    Settings settings;
    settings.RemoconPort = std::to_string(slow.Port());
    SaveSettings(dir.File("Vernwick.ini"), settings);
    ChildProcess fix;
    fix.SetOutputFiles(dir.File("fix.out"), dir.File("fix.err"));
    ASSERT_TRUE(fix.Start(ToolPath("vernwick-cli"), {"check-channels", "--ini", dir.File("Vernwick.ini"), "--channels",
                                                     dir.Folder(), "--fix"}));
    for (int i = 0; i < 2000 && slow.Requests().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slow.Requests().size(), 2u);
    ASSERT_TRUE(ReplaceFileAtomically(dir.File("picked.txt"), "Drei\tThree\t3\tT.dll\t0\tS\t0\tc2\t2\n"));
    const ToolRun make =
        RunTool(dir, "vernwick-cli", {"make-channels", "--channels", dir.Folder(), dir.File("picked.txt")});
    ASSERT_EQ(make.status, 0) << make.err;
    const auto files = [&] {
        return std::pair{ReadWholeFile(ChSetFilePath(dir.Folder())), ReadWholeFile(ChAliasFilePath(dir.Folder()))};
    };
    const auto made = files();
    ASSERT_EQ(slow.Requests().size(), 2u) << "the scan went on before make-channels was done";

    EXPECT_EQ(fix.Wait(30000), 2);
    EXPECT_EQ(files(), made);
    const std::string said = ReadConsoleFile(dir.File("fix.err"));
    EXPECT_NE(said.find("changed during the scan; nothing was fixed"), std::string::npos) << said;
}
