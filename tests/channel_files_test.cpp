// The two channel files and the scan lines a person edits into them: their
// bytes, how they read back, the all-or-nothing save and the channel map.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "channel/channel_files.h"
#include "channel/scan_lines.h"
#include "common/file_io.h"
#include "support/alias_rows.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const NamedNumberList River{{"River", 0}, {"Hill News", 1}};
const BonAliasList RiverRows{{0, {"BonDriver_Alpha", 0}, {"Terrestrial", 0}, {"13ch", 3}, {"River TV", 1040}},
                             {1, {"BonDriver_Beta", 1}, {"BS", 1}, {"BS01", 0}, {"Hill News", 101}}};
const char RiverChSet[] = "River\t0\t0\t0\r\nHill News\t0\t1\t0\r\n";
const char RiverChAlias[] = "River TV\t1040\tBonDriver_Alpha\t0\tTerrestrial\t0\t13ch\t3\r\n"
                            "Hill News\t101\tBonDriver_Beta\t1\tBS\t1\tBS01\t0\r\n";

// What a FileError says, or "no error".
std::string ErrorOf(const std::function<void()>& run)
{
    try {
        run();
    } catch (const FileError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(ChannelFiles, AreWrittenByteForByteAndReadBackAsTheSameLists)
{
    EXPECT_EQ(ChSetFilePath("C:\\Tools\\"), "C:\\Tools\\BonDriver_TVTest(TVTest).ChSet.txt");
    EXPECT_EQ(ChAliasFilePath("/opt/vw/"), "/opt/vw/BonDriver_TVTest(TVTest).ChAlias.txt");
    // "ＮＨＫ総合", "地上デジタル" and "表ポ" in code page 932; 0x5C ('\') and
    // 0x7C ('|') as trail bytes must survive too.
    const std::string nhk = "\x82\x6d\x82\x67\x82\x6a\x91\x8d\x8d\x87";
    const std::string terrestrial = "\x92\x6e\x8f\xe3\x83\x66\x83\x57\x83\x5c\x83\x8b";
    const std::string table = "\x95\x5c\x83\x7c";
    struct Case {
        NamedNumberList channels;
        BonAliasList rows;
        std::string chSet, chAlias;
    };
    const Case cases[] = {
        {River, RiverRows, RiverChSet, RiverChAlias},
        // Numbers as signed 32 bits; names as bytes, empty ones too.
        {{{nhk, 0}, {terrestrial, 2147483648u}, {table, 4294967295u}, {"", 7}, {" lead", 2147483647u}},
         {{0, {"BonDriver_PT3-T.dll", 0xFFFFFFFEu}, {terrestrial, 0x80000000u}, {table, 13}, {nhk, 1024}},
          {1, {"", 0}, {"", 0}, {"", 0}, {"", 0}}},
         nhk + "\t0\t0\t0\r\n" + terrestrial + "\t0\t-2147483648\t0\r\n" + table +
             "\t0\t-1\t0\r\n\t0\t7\t0\r\n lead\t0\t2147483647\t0\r\n",
         nhk + "\t1024\tBonDriver_PT3-T.dll\t-2\t" + terrestrial + "\t-2147483648\t" + table +
             "\t13\r\n\t0\t\t0\t\t0\t\t0\r\n"},
        // No channels: both files are there, empty.
        {{}, {}, "", ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SaveChSetFile(ChSetFilePath(dir.Folder()), c.channels);
        SaveChAliasFile(ChAliasFilePath(dir.Folder()), c.rows);
        EXPECT_EQ(ChannelFilesText(dir.Folder()), c.chSet + "|" + c.chAlias);
        NamedNumberList channels{{"stale", 9}};
        BonAliasList rows(3);
        LoadChSetFile(ChSetFilePath(dir.Folder()), channels);
        LoadChAliasFile(ChAliasFilePath(dir.Folder()), rows);
        EXPECT_EQ(channels, c.channels);
        EXPECT_EQ(rows, c.rows);
    }
    // The bytes that carry the line format become blanks in any name.
    EXPECT_EQ(FormatChSetText({{"Tab\there", 0}, {"Two\r\nlines", 1}, {"Nul\0end"s, 2}, {"\n", 3}}),
              "Tab here\t0\t0\t0\r\nTwo  lines\t0\t1\t0\r\nNul end\t0\t2\t0\r\n \t0\t3\t0\r\n");
    EXPECT_EQ(FormatChAliasText({{0, {"Bon\tA", 4}, {"Sp\rc", 5}, {"C\nh", 6}, {"Srv\0x"s, 7}}}),
              "Srv x\t7\tBon A\t4\tSp c\t5\tC h\t6\r\n");
}

TEST(ChannelFiles, ReadingKeepsTheRecordLinesWhateverTheirEndsAndStopsAtANul)
{
    TempDir dir;
    const NamedNumberList abc{{"A", 0}, {"B", 1}, {"C", 2}};
    for (const auto& [text, expected] : std::vector<std::pair<std::string, NamedNumberList>>{
             {"Name\t0\t7\t0\r\n\r\n"
              "Trailing\t0\t8\t\r\n" // 3 fields: the trailing TAB adds none
              "Five\t0\t9\t0\tx\r\n"
              "Ignored\t1\t10\t1\r\n" // fields 2 and 4 are not read
              "Letters\t0\tx\t0\r\nJunk\t0\t 12abc\t0\r\nMinus\t0\t-1\t0\r\n"
              "\t\t3\t0\r\n", // inner empty fields count
              {{"Name", 7}, {"Ignored", 10}, {"Letters", 0}, {"Junk", 12}, {"Minus", 4294967295u}, {"", 3}}},
             {"A\t0\t0\t0\nB\t0\t1\t0\rC\t0\t2\t0", abc},
             {"A\t0\t0\t0\n\r\nB\t0\t1\t0\r\r\nC\t0\t2\t0\r\n", abc},
             // A NUL ends the text, even in the middle of a line.
             {"A\t0\t0\t0\r\nB\t0\t1\0\t0\r\nC\t0\t2\t0\r\n"s, {{"A", 0}}}}) {
        ASSERT_TRUE(ReplaceFileAtomically(ChSetFilePath(dir.Folder()), text));
        NamedNumberList channels{{"stale", 9}};
        LoadChSetFile(ChSetFilePath(dir.Folder()), channels);
        EXPECT_EQ(channels, expected) << text;
    }

    // Exactly eight fields, a trailing TAB adding none. A row is numbered by
    // its place among the records, which is what the viewer selects with.
    BonAliasList rows;
    ParseChAliasText("# my channels\r\nS0\t10\tB\t0\tP\t0\tC\t0\r\nS\t1\tB\t2\tP\t3\tC\r\n\r\n"
                     "S1\t11\tB\t2\tP\t3\tC\t4\t\r\nS\t1\tB\t2\tP\t3\tC\t4\t5\r\nbroken\t1\r\nS2\t12\tB\t1\tP\t0\tC\t2",
                     rows);
    EXPECT_EQ(rows, (BonAliasList{{0, {"B", 0}, {"P", 0}, {"C", 0}, {"S0", 10}},
                                  {1, {"B", 2}, {"P", 3}, {"C", 4}, {"S1", 11}},
                                  {2, {"B", 1}, {"P", 0}, {"C", 2}, {"S2", 12}}}));

    // A file that cannot be read leaves the list as it was.
    const std::string path = dir.File("missing.txt");
    NamedNumberList kept{{"kept", 5}};
    EXPECT_EQ(ErrorOf([&] { LoadChSetFile(path, kept); }), "ファイル " + path + " は開けません");
    EXPECT_EQ(kept, (NamedNumberList{{"kept", 5}}));
    EXPECT_THROW(LoadChAliasFile(path, rows), FileError);
}

TEST(ChannelFiles, ChangeTogetherOrNotAtAll)
{
    // A folder standing in a file's way is the failure: every file has been
    // written beside its place, and one of them cannot take it.
    const auto block = [](const std::string& path) { fs::create_directories(fs::path(path) / "inside"); };
    const auto entries = [](const fs::path& folder) {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    };
    TempDir dir;
    const std::string home = dir.Folder() + "home/", copy = dir.Folder() + "docs/EpgTimerBon/";
    fs::create_directory(home);

    // The ChAlias file cannot be written after the ChSet file was: the ChSet
    // file gets its old text back, so the viewer never sees new names over
    // old rows. Nothing else is left behind, not even the copy's folder.
    SaveChSetFile(ChSetFilePath(home), {{"old", 0}});
    block(ChAliasFilePath(home));
    EXPECT_EQ(ErrorOf([&] { SaveChannelFiles(home, River, RiverRows, copy); }),
              "ファイル " + ChAliasFilePath(home) + " を作成できません");
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(home)), "old\t0\t0\t0\r\n");
    EXPECT_EQ(entries(home), 2);
    EXPECT_FALSE(fs::exists(dir.Folder() + "docs"));
    fs::remove_all(ChAliasFilePath(home));

    // The copy goes into a folder made for it, and matches the ChSet file.
    SaveChannelFiles(home, River, RiverRows, copy);
    EXPECT_EQ(ChannelFilesText(home), RiverChSet + std::string("|") + RiverChAlias);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(copy)), RiverChSet);
    EXPECT_EQ(entries(copy), 1);

    // The copy cannot be written: its own error, and the files at home,
    // already replaced, are put back.
    fs::remove(ChSetFilePath(copy));
    block(ChSetFilePath(copy));
    EXPECT_EQ(ErrorOf([&] { SaveChannelFiles(home, {}, {}, copy); }),
              "ファイル " + ChSetFilePath(copy) + " を作成できません");
    EXPECT_EQ(ChannelFilesText(home), RiverChSet + std::string("|") + RiverChAlias);

    // Files that were new go again; a folder for the copy that cannot be made
    // is named through the copy's path, and so is a missing home folder.
    const std::string fresh = dir.Folder() + "fresh/", underFile = dir.Folder() + "file/EpgTimerBon/",
                      missing = dir.Folder() + "missing/";
    fs::create_directory(fresh);
    ASSERT_TRUE(ReplaceFileAtomically(dir.File("file"), "x"));
    for (const auto& [to, copyTo, failing] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {fresh, copy, ChSetFilePath(copy)}, {fresh, underFile, ChSetFilePath(underFile)},
             {missing, "", ChSetFilePath(missing)}}) {
        EXPECT_EQ(ErrorOf([&] { SaveChannelFiles(to, River, RiverRows, copyTo); }),
                  "ファイル " + failing + " を作成できません");
        EXPECT_EQ(entries(fresh), 0);
    }
}

TEST(DisplayName, WhatTheViewerCannotReadAsOneChannelIsAFault)
{
    using F = DisplayNameFault;
    // "\x81\x47" is the full-width semicolon, which TVTest reads as a name.
    for (const auto& [name, fault] : std::vector<std::pair<std::string, F>>{
             {"NHK", F::None}, {"\x81\x47NHK", F::None}, {"A;B", F::None}, {" ;", F::None},
             {"", F::Empty}, {";", F::LeadingSemicolon}, {";NHK", F::LeadingSemicolon},
             {"A\tB", F::LineBreakOrTab}, {"A\r", F::LineBreakOrTab}, {"\nA", F::LineBreakOrTab}})
        EXPECT_EQ(CheckDisplayName(name), fault) << name;
}

TEST(ChannelMap, LooksUpRowsByVirtualChannelAndVirtualChannelsByAllFourNumbers)
{
    // Row 2 has the same numbers as row 1.
    const BonAliasList rows{AliasRow(0, 0, 0, 3, 1040), AliasRow(1, 1, 1, 0, 101), AliasRow(2, 1, 1, 0, 101),
                            AliasRow(3, 2, 2, 4, 0xFFFFFFFFu)};
    // Each of the four numbers must match; no match is 0.
    for (const auto& [bn, spc, ch, srv, channel] : std::vector<std::tuple<int, int, int, std::uint32_t, int>>{
             {1, 1, 0, 101, 1}, {2, 2, 4, 0xFFFFFFFFu, 3}, {0, 0, 3, 1041, 0}, {2, 1, 0, 101, 0},
             {1, 2, 0, 101, 0}, {1, 1, 1, 101, 0}})
        EXPECT_EQ(FindVirtualChannel(rows, bn, spc, ch, srv), channel) << bn << spc << ch << srv;
    for (const auto& [channel, row] : std::vector<std::pair<std::int32_t, int>>{
             {0, 0}, {3, 3}, {4, -1}, {-1, -1}, {INT32_MIN, -1}})
        EXPECT_EQ(FindBonAlias(rows, channel), row < 0 ? nullptr : &rows[static_cast<std::size_t>(row)]) << channel;
}

TEST(ScanLines, OnlyTheHeaderIsACommentAndANameStartingWithHashReadsBack)
{
    const BON_ALIAS row{0, {"B", 1}, {"S", 2}, {"C", 3}, {"#1 Sports", 0xFFFFFFFFu}};
    const std::string line = FormatScanLine(row);
    EXPECT_EQ(line, "\\x231 Sports\t\\x231 Sports\t-1\tB\t1\tS\t2\tC\t3");
    std::vector<ScanLine> lines;
    // A "#" typed by hand at the start of a later line is a name's too.
    ASSERT_FALSE(ParseScanLines(std::string(ScanHeader) + "\r\n\n" + line + "\n#2\tS\t9\tB\t1\tS\t2\tC\t3", lines));
    using Line = std::pair<std::string, BON_ALIAS>;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Line(lines[0].displayName, lines[0].row), Line("#1 Sports", row));
    EXPECT_EQ(Line(lines[1].displayName, lines[1].row), Line("#2", {1, {"B", 1}, {"S", 2}, {"C", 3}, {"S", 9}}));
    // A leading ';', which the viewer reads as a comment line, becomes the
    // full-width '；' in the display name only; the service keeps its bytes.
    const BON_ALIAS semicolon{0, {"B", 1}, {"S", 2}, {"C", 3}, {";News", 9}};
    EXPECT_EQ(FormatScanLine(semicolon), "；News\t;News\t9\tB\t1\tS\t2\tC\t3");
    ASSERT_FALSE(ParseScanLines(FormatScanLine(semicolon), lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Line(lines[0].displayName, lines[0].row), Line("\x81\x47News", semicolon));
    // A comment below the header is no service and is refused, not passed over.
    EXPECT_EQ(ParseScanLines(line + "\n# keep these\n", lines),
              std::optional<std::string>("line 2: 1 fields, expected 9 separated by TAB"));
}
