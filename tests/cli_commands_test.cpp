// vernwick-cli as a person at a terminal uses it: scan, make-channels from the
// edited lines, and check-channels against a tree that no longer matches the
// files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan.h"
#include "channel/scan_lines.h"
#include "common/file_io.h"
#include "net/socket.h"
#include "process/child_process.h"
#include "support/alias_rows.h"
#include "support/free_port.h"
#include "support/run_tool.h"
#include "support/standin.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"

namespace {

using Strings = std::vector<std::string>;
constexpr auto Row = NamedAliasRow;
constexpr auto npos = std::string::npos;

// 日テレ１ and テスト局 in code page 932.
const std::string Ntv = "\x93\xFA\x83\x65\x83\x8C\x82\x50";
const std::string TestStation = "\x83\x65\x83\x58\x83\x67\x8B\xC7";

// Since the files below were made: Two renamed in place (to 日テレ１), Three
// moved to another channel, Four gone, Five now only on two other tuners.
const std::string Tree = "bon\tT.dll\t0\nspace\tS\t0\nch\tc1\t1\nservice\tOne\t1\nservice\t" + Ntv +
                         "\t2\nch\tc4\t4\nservice\tThree\t3\nbon\tU.dll\t1\nspace\tS\t0\nch\tc5\t5\nservice\tFive\t5\n"
                         "bon\tV.dll\t2\nspace\tS\t0\nch\tc5\t5\nservice\tFive\t5\n";
const NamedNumberList Channels{{"One", 0}, {"Two", 1}, {TestStation, 2}, {"Four", 3}, {"Five", 4}};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReplaceFileAtomically(standin.File("tree.txt"), Tree));
        ASSERT_TRUE(standin.Start({"--tree", standin.File("tree.txt")}));
        UseUpstream(standin.Port());
        SaveChSetFile(ChSetFilePath(folder), Channels);
        SaveChAliasFile(ChAliasFilePath(folder), {Row(0, "One", 1, "T.dll", 0, 1), Row(1, "Two", 2, "T.dll", 0, 1),
                                                  Row(2, "Three", 3, "T.dll", 0, 2), Row(3, "Four", 4, "T.dll", 0, 3),
                                                  Row(4, "Five", 5, "T.dll", 0, 5)});
        made = ChannelFilesText(folder);
    }

    void UseUpstream(std::uint16_t port)
    {
        ASSERT_TRUE(ReplaceFileAtomically(ini, "[Parameter]\nRemoconPort=" + std::to_string(port) + "\n"));
    }

    // vernwick-cli with the settings file and, but for scan, the channel folder.
    ToolRun Run(const std::string& command, const Strings& args = {})
    {
        Strings all{command, "--ini", ini};
        if (command != "scan")
            all.insert(all.end(), {"--channels", folder});
        all.insert(all.end(), args.begin(), args.end());
        return RunTool(work, "vernwick-cli", all);
    }

    StandIn standin;
    TempDir dir, work; // the settings and the channel files; what the programs print
    std::string ini = dir.File("Vernwick.ini"), folder = dir.Folder();
    std::string made; // the channel files as last made
};

} // namespace

TEST_F(Cli, ScanLinesEditedByHandMakeTheChannelFiles)
{
    const ToolRun scan = Run("scan");
    ASSERT_EQ(scan.status, 0) << scan.err;
    const Strings lines = Lines(scan.out);
    ASSERT_EQ(lines.size(), 6u) << scan.out;
    EXPECT_EQ(lines[0], ScanHeader);
    // Display name, then the eight fields of a ChAlias line; names as UTF-8.
    EXPECT_EQ(lines[2], "日テレ１\t日テレ１\t2\tT.dll\t0\tS\t0\tc1\t1");
    EXPECT_NE(scan.err.find(ScanningText), npos);
    EXPECT_EQ(Lines(scan.err).back(), "5 services on 3 BonDrivers");

    // The person keeps three services, reorders them and renames one (with a
    // name in Japanese, typed as UTF-8).
    const std::string service = lines[3].substr(lines[3].find('\t'));
    ASSERT_TRUE(ReplaceFileAtomically(work.File("picked.txt"),
                                      "# my pick\n\n" + lines[4] + "\n" + lines[2] + "\nテスト局" + service + "\n"));
    const ToolRun make = Run("make-channels", {work.File("picked.txt")});
    ASSERT_EQ(make.status, 0) << make.err;
    EXPECT_EQ(make.out, std::string(ChannelFilesCreatedText) + "\n");
    EXPECT_EQ(ChannelFilesText(folder), "Five\t0\t0\t0\r\n" + Ntv + "\t0\t1\t0\r\n" + TestStation +
                           "\t0\t2\t0\r\n|Five\t5\tU.dll\t1\tS\t0\tc5\t5\r\n" + Ntv +
                           "\t2\tT.dll\t0\tS\t0\tc1\t1\r\nThree\t3\tT.dll\t0\tS\t0\tc4\t4\r\n");

    // Refused, named and nothing written: a line with a field too few, a
    // display name the viewer cannot take as one channel (empty, starting
    // with the ';' of a comment, or a CR once unescaped), and an empty pick.
    made = ChannelFilesText(folder);
    for (const auto& [text, said] : std::vector<std::pair<std::string, std::string>>{
             {lines[1] + "\n" + lines[2].substr(0, lines[2].rfind('\t')) + "\n", "line 2: 8 fields"},
             {lines[1] + "\n" + service + "\n", "line 2: the display name is empty"},
             {lines[1] + "\n;News" + service + "\n", "line 2: the display name starts with ';'"},
             {lines[1] + "\n\na\\x0Db" + service + "\n", "line 3: the display name holds a TAB, CR or LF"},
             {lines[0] + "\n\n", "no channels"}}) {
        ASSERT_TRUE(ReplaceFileAtomically(work.File("bad.txt"), text));
        const ToolRun bad = Run("make-channels", {work.File("bad.txt")});
        EXPECT_EQ(bad.status, 2) << said;
        EXPECT_NE(bad.err.find(said), npos) << bad.err;
        EXPECT_EQ(ChannelFilesText(folder), made) << said;
    }
    // A file that cannot be written is named, with the system's reason.
    const ToolRun nowhere =
        RunTool(work, "vernwick-cli", {"make-channels", "--channels", work.File("no/such"), work.File("picked.txt")});
    EXPECT_EQ(nowhere.status, 1);
    const std::size_t named = nowhere.err.find("BonDriver_TVTest(TVTest).ChSet.txt を作成できません (");
    EXPECT_TRUE(named != npos && nowhere.err.find(")\n", named) > nowhere.err.find(" (", named) + 2) << nowhere.err;
}

TEST_F(Cli, MakeChannelsWarnsOfAChannelListLongerThanTheViewerTakesInOneReceive)
{
    // 100 channels: the reply is "0", TAB, "99", then per channel a TAB, its
    // number, a TAB and its name: 394 bytes and the names' lengths together.
    // The limit is the settings file's ChListReplyLimit (0: none).
    const std::string cut = "the list is cut for the viewer at ";
    for (const auto& [size, limit, warning] : std::vector<std::tuple<std::size_t, std::string, std::string>>{
             {ViewerReceiveLimit, "", ""},
             {ViewerReceiveLimit + 1, "", "4096 bytes, more than ChListReplyLimit (4095): " + cut + "99 channels"},
             {ViewerReceiveLimit + 1, "4096", ""},
             {ViewerReceiveLimit + 1, "3000", "4096 bytes, more than ChListReplyLimit (3000): " + cut + "73 channels"},
             {ViewerReceiveLimit + 1, "0", ""}}) {
        std::string lines;
        for (int k = 0; k < 100; ++k) {
            std::string name = "Channel " + std::to_string(k);
            name.resize(k == 99 ? 38 + size - ViewerReceiveLimit : 37, 'x');
            lines += name + "\tS\t1\tB\t0\tP\t0\tC\t" + std::to_string(k) + "\n";
        }
        ASSERT_TRUE(ReplaceFileAtomically(work.File("long.txt"), lines));
        ASSERT_TRUE(ReplaceFileAtomically(ini, "[Parameter]\nChListReplyLimit=" + limit + "\n"));
        const ToolRun make = Run("make-channels", {work.File("long.txt")});
        ASSERT_EQ(make.status, 0) << make.err;
        EXPECT_EQ(make.out, std::string(ChannelFilesCreatedText) + "\n");
        EXPECT_EQ(make.err, warning.empty() ? "" : "warning: the channel list's reply is " + warning +
                                                       "; switching still works for all 100.\n");
    }
}

TEST_F(Cli, CheckChannelsReportsEachChannelAndFixOnlyFollowsTheServiceThatMovedOnce)
{
    const ToolRun check = Run("check-channels");
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(Lines(check.out),
              (Strings{"status     channel   in the files  found now",
                       "unchanged  One       0/0/1/1       0/0/1/1",
                       "renamed    Two       0/0/1/2       0/0/1/2             service now 日テレ１, was Two",
                       "moved      テスト局  0/0/2/3       0/0/4/3",
                       "gone       Four      0/0/3/4       -",
                       "moved      Five      0/0/5/5       1/0/5/5 or 2/0/5/5  found more than once, left as it is",
                       "1 unchanged, 1 renamed, 2 moved, 1 gone"}));
    EXPECT_EQ(ChannelFilesText(folder), made);

    const ToolRun fix = Run("check-channels", {"--fix"});
    EXPECT_EQ(fix.status, 1) << fix.err;
    ASSERT_EQ(Lines(fix.out).size(), 8u);
    EXPECT_EQ(Lines(fix.out)[3], "moved      テスト局  0/0/2/3       0/0/4/3             fixed");
    // The server reads the files when it starts only.
    EXPECT_NE(Lines(fix.out)[7].find("systemctl restart vernwick"), npos) << fix.out;
    // Only the third row changed: to the channel the service is on now.
    made.replace(made.find("\tc2\t2\r"), 6, "\tc4\t4\r");
    EXPECT_EQ(ChannelFilesText(folder), made);

    // A display name the viewer reads as a comment is a problem of its own,
    // named by its line.
    NamedNumberList semicolon = Channels;
    semicolon[1].name = ";Two";
    SaveChSetFile(ChSetFilePath(folder), semicolon);
    const ToolRun names = Run("check-channels");
    EXPECT_EQ(names.status, 1);
    EXPECT_NE(names.out.find("BonDriver_TVTest(TVTest).ChSet.txt: line 2: the display name starts with ';'"), npos)
        << names.out;
    EXPECT_EQ(Lines(names.out).back(), "2 unchanged, 1 renamed, 1 moved, 1 gone, 1 display name to change");

    // Files holding only what is still there.
    SaveChSetFile(ChSetFilePath(folder), {{"One", 0}});
    SaveChAliasFile(ChAliasFilePath(folder), {Row(0, "One", 1, "T.dll", 0, 1)});
    EXPECT_EQ(Run("check-channels").status, 0);
}

TEST_F(Cli, NothingChangesWithoutAnAnswerOrWithAFileThatCannotBeRead)
{
    // The connection lost in the middle of the scan, or none at all.
    StandIn dying;
    ASSERT_TRUE(ReplaceFileAtomically(dying.File("tree.txt"), Tree));
    ASSERT_TRUE(dying.Start({"--tree", dying.File("tree.txt"), "--exit-after", "8"}));
    const std::uint16_t nobody = FreePort();
    for (const auto& [port, said] : std::vector<std::pair<std::uint16_t, std::string>>{
             {dying.Port(), "the connection to EpgDataCap_Bon was lost during the scan; nothing was checked"},
             {nobody, "リモコン接続に失敗しました。 (127.0.0.1:" + std::to_string(nobody) + ": "}}) {
        UseUpstream(port);
        const ToolRun run = Run("check-channels", {"--fix"});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(said), npos) << run.err;
        EXPECT_EQ(ChannelFilesText(folder), made);
    }

    // A line the server would pass over is named, and no scan is made.
    UseUpstream(standin.Port());
    ASSERT_TRUE(ReplaceFileAtomically(ChAliasFilePath(folder),
                                      "One\t1\tT.dll\t0\tS\t0\tc1\t1\r\nTwo\t2\tT.dll\t0\tS\t0\tc1\r\n"));
    const ToolRun bad = Run("check-channels", {"--fix"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("BonDriver_TVTest(TVTest).ChAlias.txt: line 2: 7 fields"), npos) << bad.err;
    EXPECT_EQ(standin.Requests(), Strings{});

    // A settings file named but not there is an error naming it, whatever the
    // command.
    ini = work.File("missing.ini");
    for (const char* command : {"scan", "check-channels", "serve", "make-channels"}) {
        const ToolRun run = Run(command);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_NE(run.err.find(ini + " は開けません ("), npos) << run.err;
    }
}

TEST_F(Cli, CheckChannelsFixWritesNothingOverFilesMadeAnewDuringItsScan)
{
    // EpgDataCap_Bon is the test itself here. It takes the connection, which
    // the fix makes once it has read the files, and answers only after
    // make-channels has written new ones.
    const socket_t listening = CreateListenSocket(0, 1);
    CSocketBase listener(listening, true);
    UseUpstream(LocalPort(listening));
    ChildProcess fix;
    fix.SetOutputFiles(work.File("fix.out"), work.File("fix.err"));
    ASSERT_TRUE(fix.Start(ToolPath("vernwick-cli"), {"check-channels", "--ini", ini, "--channels", folder, "--fix"}));
    ASSERT_GT(listener.Select(SelectRead, 30, 0), 0);
    CSocketBase upstream(AcceptSocket(listening), true);
    ASSERT_TRUE(ReplaceFileAtomically(work.File("picked.txt"), "Drei\tThree\t3\tT.dll\t0\tS\t0\tc2\t2\n"));
    ASSERT_EQ(Run("make-channels", {work.File("picked.txt")}).status, 0);
    made = ChannelFilesText(folder);
    // One BonDriver whose one service, Three, is now on c4: a move to fix.
    for (const char* reply : {"0\t0\t0\tT.dll", "0", "0\t0\t0\tS", "0", "0\t0\t4\tc4", "0", "0\t0\t3\tThree", "0"}) {
        char request[256];
        ASSERT_GT(upstream.Select(SelectRead, 30, 0), 0);
        ASSERT_GT(upstream.Recv(request, 255), 0);
        ASSERT_EQ(upstream.Send(reply, static_cast<int>(std::strlen(reply))), static_cast<int>(std::strlen(reply)));
    }
    EXPECT_EQ(fix.Wait(30000), 2);
    EXPECT_EQ(ChannelFilesText(folder), made);
    const std::string said = ReadConsoleFile(work.File("fix.err"));
    EXPECT_NE(said.find("changed during the scan; nothing was fixed"), npos) << said;
}
