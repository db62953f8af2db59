#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "channel/channel_files.h"
#include "common/file_io.h"

namespace fs = std::filesystem;

// Readable failure messages; found by argument-dependent lookup.
void PrintTo(const NamedNumber& item, std::ostream* os)
{
    *os << '(' << ::testing::PrintToString(item.name) << ", " << item.number << ')';
}

void PrintTo(const BON_ALIAS& alias, std::ostream* os)
{
    *os << "{index " << alias.index << ", bn ";
    PrintTo(alias.bn, os);
    *os << ", spc ";
    PrintTo(alias.spc, os);
    *os << ", ch ";
    PrintTo(alias.ch, os);
    *os << ", srv ";
    PrintTo(alias.srv, os);
    *os << '}';
}

namespace {

// A fresh, empty folder per test, removed afterwards.
class ChannelFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        FDir = fs::temp_directory_path() /
               ("vernwick_channel_" + std::to_string(stamp) + "_" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(FDir));
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(FDir, ignored);
    }

    // The folder with its trailing separator, as ExecutableDir() gives it.
    std::string Dir() const { return (FDir / "").string(); }

    static std::string ReadBytes(const std::string& path)
    {
        const std::optional<std::string> bytes = ReadWholeFile(path);
        EXPECT_TRUE(bytes.has_value()) << path;
        return bytes.value_or(std::string());
    }

    static void WriteBytes(const std::string& path, const std::string& bytes)
    {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        ASSERT_TRUE(out.good()) << path;
    }

    fs::path FDir;
};

BON_ALIAS Alias(std::int32_t index, NamedNumber bn, NamedNumber spc, NamedNumber ch, NamedNumber srv)
{
    BON_ALIAS alias;
    alias.index = index;
    alias.bn = std::move(bn);
    alias.spc = std::move(spc);
    alias.ch = std::move(ch);
    alias.srv = std::move(srv);
    return alias;
}

const char RiverChSet[] = "River\t0\t0\t0\r\nHill News\t0\t1\t0\r\n";
const char RiverChAlias[] =
    "River TV\t1040\tBonDriver_Alpha\t0\tTerrestrial\t0\t13ch\t3\r\n"
    "Hill News\t101\tBonDriver_Beta\t1\tBS\t1\tBS01\t0\r\n";

} // namespace

TEST_F(ChannelFilesTest, RiverAndHillNewsAreWrittenByteForByteAndLoadBack)
{
    const NamedNumberList channels{{"River", 0}, {"Hill News", 1}};
    const BonAliasList aliases{
        Alias(0, {"BonDriver_Alpha", 0}, {"Terrestrial", 0}, {"13ch", 3}, {"River TV", 1040}),
        Alias(1, {"BonDriver_Beta", 1}, {"BS", 1}, {"BS01", 0}, {"Hill News", 101}),
    };
    EXPECT_EQ(ChSetFilePath("C:\\Tools\\"), "C:\\Tools\\BonDriver_TVTest(TVTest).ChSet.txt");
    EXPECT_EQ(ChAliasFilePath("/opt/vw/"), "/opt/vw/BonDriver_TVTest(TVTest).ChAlias.txt");
    const std::string chSetPath = ChSetFilePath(Dir());
    const std::string chAliasPath = ChAliasFilePath(Dir());
    SaveChSetFile(chSetPath, channels);
    SaveChAliasFile(chAliasPath, aliases);

    const std::string chSetBytes = ReadBytes(chSetPath);
    EXPECT_EQ(chSetBytes, RiverChSet);
    EXPECT_EQ(chSetBytes.find("\r\n") + 2, 13u);
    EXPECT_EQ(ReadBytes(chAliasPath), RiverChAlias);

    NamedNumberList loadedChannels{{"stale", 9}};
    BonAliasList loadedAliases(3);
    LoadChSetFile(chSetPath, loadedChannels);
    LoadChAliasFile(chAliasPath, loadedAliases);
    EXPECT_EQ(loadedChannels, channels);
    EXPECT_EQ(loadedAliases, aliases);

    const BON_ALIAS* hill = FindBonAlias(loadedAliases, 1);
    ASSERT_NE(hill, nullptr);
    EXPECT_EQ(hill->bn.number, 1u);
    EXPECT_EQ(hill->spc.number, 1u);
    EXPECT_EQ(hill->ch.number, 0u);
    EXPECT_EQ(hill->srv.number, 101u);
    EXPECT_EQ(FindVirtualChannel(loadedAliases, 1, 1, 0, 101), 1);
}

TEST_F(ChannelFilesTest, RoundTripKeepsCp932NamesAndAll32Bits)
{
    // "ＮＨＫ総合" and "地上デジタル" in CP932; 0x5C ('\') and 0x7C ('|') appear as
    // trail bytes and must survive too.
    const std::string nhk = "\x82\x6d\x82\x67\x82\x6a\x91\x8d\x8d\x87";
    const std::string terrestrial = "\x92\x6e\x8f\xe3\x83\x66\x83\x57\x83\x5c\x83\x8b";
    const std::string table = "\x95\x5c\x83\x7c";
    const NamedNumberList channels{
        {nhk, 0}, {terrestrial, 2147483648u}, {table, 4294967295u}, {"", 7}, {" lead", 2147483647u}};
    const BonAliasList aliases{
        Alias(0, {"BonDriver_PT3-T.dll", 0xFFFFFFFEu}, {terrestrial, 0x80000000u}, {table, 13}, {nhk, 1024}),
        Alias(1, {"", 0}, {"", 0}, {"", 0}, {"", 0}),
    };
    SaveChSetFile(ChSetFilePath(Dir()), channels);
    SaveChAliasFile(ChAliasFilePath(Dir()), aliases);

    const std::string chSetBytes = ReadBytes(ChSetFilePath(Dir()));
    EXPECT_NE(chSetBytes.find(terrestrial + "\t0\t-2147483648\t0\r\n"), std::string::npos);
    EXPECT_NE(chSetBytes.find(table + "\t0\t-1\t0\r\n"), std::string::npos);
    EXPECT_NE(chSetBytes.find("\r\n\t0\t7\t0\r\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(ChAliasFilePath(Dir())), nhk + "\t1024\tBonDriver_PT3-T.dll\t-2\t" + terrestrial + "\t-2147483648\t" +
                                                   table + "\t13\r\n\t0\t\t0\t\t0\t\t0\r\n");

    NamedNumberList loadedChannels;
    BonAliasList loadedAliases;
    LoadChSetFile(ChSetFilePath(Dir()), loadedChannels);
    LoadChAliasFile(ChAliasFilePath(Dir()), loadedAliases);
    EXPECT_EQ(loadedChannels, channels);
    EXPECT_EQ(loadedAliases, aliases);

    // No channels: both files exist and are empty, and load as empty lists.
    SaveChSetFile(ChSetFilePath(Dir()), {});
    SaveChAliasFile(ChAliasFilePath(Dir()), {});
    EXPECT_EQ(ReadBytes(ChSetFilePath(Dir())), "");
    EXPECT_EQ(ReadBytes(ChAliasFilePath(Dir())), "");
    LoadChSetFile(ChSetFilePath(Dir()), loadedChannels);
    LoadChAliasFile(ChAliasFilePath(Dir()), loadedAliases);
    EXPECT_TRUE(loadedChannels.empty());
    EXPECT_TRUE(loadedAliases.empty());
}

TEST_F(ChannelFilesTest, LoaderSkipsBadLinesAndReadsNumbersLikeTheProtocol)
{
    NamedNumberList channels;
    ParseChSetText("Name\t0\t7\t0\r\n"
                   "\r\n"
                   "Trailing\t0\t8\t\r\n"     // 3 fields: the trailing TAB adds none
                   "Five\t0\t9\t0\tx\r\n"
                   "Ignored\t1\t10\t1\r\n"    // fields 2 and 4 are not read
                   "Letters\t0\tx\t0\r\n"
                   "Junk\t0\t 12abc\t0\r\n"
                   "Minus\t0\t-1\t0\r\n"
                   "\t\t3\t0\r\n",            // inner empty fields count
                   channels);
    const NamedNumberList expected{{"Name", 7}, {"Ignored", 10}, {"Letters", 0},
                                   {"Junk", 12}, {"Minus", 4294967295u}, {"", 3}};
    EXPECT_EQ(channels, expected);

    BonAliasList aliases;
    ParseChAliasText("S\t1\tB\t2\tP\t3\tC\t4\r\n"
                     "S\t1\tB\t2\tP\t3\tC\r\n"
                     "S\t1\tB\t2\tP\t3\tC\t4\t\r\n"  // trailing TAB: still 8 fields
                     "S\t1\tB\t2\tP\t3\tC\t4\t5\r\n",
                     aliases);
    ASSERT_EQ(aliases.size(), 2u);
    EXPECT_EQ(aliases[1], Alias(1, {"B", 2}, {"P", 3}, {"C", 4}, {"S", 1}));
}

TEST_F(ChannelFilesTest, LineEndsAndNulAreRecognised)
{
    const NamedNumberList three{{"A", 0}, {"B", 1}, {"C", 2}};
    NamedNumberList channels;
    for (const char* text : {"A\t0\t0\t0\r\nB\t0\t1\t0\r\nC\t0\t2\t0\r\n", "A\t0\t0\t0\nB\t0\t1\t0\nC\t0\t2\t0\n",
                             "A\t0\t0\t0\rB\t0\t1\t0\rC\t0\t2\t0", "A\t0\t0\t0\r\nB\t0\t1\t0\nC\t0\t2\t0",
                             "A\t0\t0\t0\n\r\nB\t0\t1\t0\r\r\nC\t0\t2\t0\r\n"}) {
        ParseChSetText(text, channels);
        EXPECT_EQ(channels, three) << text;
    }

    // A NUL ends the text, even in the middle of a line.
    using namespace std::string_literals;
    ParseChSetText("A\t0\t0\t0\r\nB\t0\t1\t0\r\n\0C\t0\t2\t0\r\n"s, channels);
    EXPECT_EQ(channels, (NamedNumberList{{"A", 0}, {"B", 1}}));
    ParseChSetText("A\t0\t0\t0\r\nB\t0\t1\0\t0\r\n"s, channels);
    EXPECT_EQ(channels, (NamedNumberList{{"A", 0}}));

    // The same through the file loader, and an empty file.
    WriteBytes(ChSetFilePath(Dir()), "A\t0\t0\t0\nB\t0\t1\t0\0C\t0\t2\t0\n"s);
    LoadChSetFile(ChSetFilePath(Dir()), channels);
    EXPECT_EQ(channels, (NamedNumberList{{"A", 0}, {"B", 1}}));
    WriteBytes(ChAliasFilePath(Dir()), "");
    BonAliasList aliases(2);
    LoadChAliasFile(ChAliasFilePath(Dir()), aliases);
    EXPECT_TRUE(aliases.empty());
}

TEST_F(ChannelFilesTest, UnreadableFileRaisesOpenErrorAndKeepsTheList)
{
    const std::string path = ChSetFilePath(Dir());
    NamedNumberList channels{{"kept", 5}};
    try {
        LoadChSetFile(path, channels);
        FAIL() << "no error for a missing file";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + path + " は開けません");
        EXPECT_EQ(e.Path(), path);
        EXPECT_EQ(e.Template(), FileOpenErrorText);
    }
    EXPECT_EQ(channels, (NamedNumberList{{"kept", 5}}));

    BonAliasList aliases;
    EXPECT_THROW(LoadChAliasFile(ChAliasFilePath(Dir()), aliases), FileError);
}

TEST_F(ChannelFilesTest, ChannelFilesChangeTogetherOrNotAtAll)
{
    // A folder standing in a file's way is the failure: every file has been
    // written beside its place, and one of them cannot take it.
    const auto block = [](const std::string& path) {
        fs::create_directory(path);
        WriteBytes((fs::path(path) / "inside").string(), "x");
    };
    const auto expectCreateError = [](const std::function<void()>& save, const std::string& path) {
        try {
            save();
            ADD_FAILURE() << "no error for " << path;
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), "ファイル " + path + " を作成できません");
        }
    };
    const std::string home = (FDir / "home" / "").string();
    const std::string copy = (FDir / "docs" / "EpgTimerBon" / "").string();
    fs::create_directory(FDir / "home");
    const NamedNumberList newChannels{{"River", 0}, {"Hill News", 1}};
    const BonAliasList newAliases{
        Alias(0, {"BonDriver_Alpha", 0}, {"Terrestrial", 0}, {"13ch", 3}, {"River TV", 1040}),
        Alias(1, {"BonDriver_Beta", 1}, {"BS", 1}, {"BS01", 0}, {"Hill News", 101}),
    };

    // The ChAlias file cannot be written after the ChSet file was: the ChSet
    // file gets its old text back, so the viewer never sees new names over
    // old rows. Nothing else is left behind, not even the copy's folder.
    SaveChannelFiles(home, {{"old", 0}}, {Alias(0, {"B", 0}, {"P", 0}, {"C", 0}, {"S", 0})});
    fs::remove(ChAliasFilePath(home));
    block(ChAliasFilePath(home));
    expectCreateError([&] { SaveChannelFiles(home, newChannels, newAliases, copy); }, ChAliasFilePath(home));
    EXPECT_EQ(ReadBytes(ChSetFilePath(home)), "old\t0\t0\t0\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir / "home"), fs::directory_iterator()), 2);
    EXPECT_FALSE(fs::exists(FDir / "docs"));
    fs::remove_all(ChAliasFilePath(home));

    // The copy goes into a folder made for it, and matches the ChSet file.
    SaveChannelFiles(home, newChannels, newAliases, copy);
    EXPECT_EQ(ReadBytes(ChSetFilePath(home)), RiverChSet);
    EXPECT_EQ(ReadBytes(ChAliasFilePath(home)), RiverChAlias);
    EXPECT_EQ(ReadBytes(ChSetFilePath(copy)), RiverChSet);
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir / "docs" / "EpgTimerBon"), fs::directory_iterator()), 1);

    // The copy cannot be written: its own error, and the files at home,
    // already replaced, are put back.
    fs::remove(ChSetFilePath(copy));
    block(ChSetFilePath(copy));
    expectCreateError([&] { SaveChannelFiles(home, {}, {}, copy); }, ChSetFilePath(copy));
    EXPECT_EQ(ReadBytes(ChSetFilePath(home)), RiverChSet);
    EXPECT_EQ(ReadBytes(ChAliasFilePath(home)), RiverChAlias);

    // Files that were new go again; a folder for the copy that cannot be made
    // is named through the copy's path, and so is a missing home folder.
    const std::string fresh = (FDir / "fresh" / "").string();
    fs::create_directory(FDir / "fresh");
    expectCreateError([&] { SaveChannelFiles(fresh, newChannels, newAliases, copy); }, ChSetFilePath(copy));
    EXPECT_TRUE(fs::is_empty(FDir / "fresh"));
    WriteBytes((FDir / "file").string(), "x");
    const std::string underFile = (FDir / "file" / "EpgTimerBon" / "").string();
    expectCreateError([&] { SaveChannelFiles(fresh, newChannels, newAliases, underFile); }, ChSetFilePath(underFile));
    EXPECT_TRUE(fs::is_empty(FDir / "fresh"));
    const std::string missing = (FDir / "missing" / "").string();
    expectCreateError([&] { SaveChannelFiles(missing, newChannels, newAliases); }, ChSetFilePath(missing));
}

TEST_F(ChannelFilesTest, LineBreakingBytesInNamesBecomeBlanks)
{
    using namespace std::string_literals;
    const NamedNumberList channels{{"Tab\there", 0}, {"Two\r\nlines", 1}, {"Nul\0end"s, 2}, {"\n", 3}};
    const BonAliasList aliases{
        Alias(0, {"Bon\tA", 4}, {"Sp\rc", 5}, {"C\nh", 6}, {"Srv\0x"s, 7}),
        Alias(1, {"B", 8}, {"P", 9}, {"C", 10}, {"S", 11}),
    };
    SaveChSetFile(ChSetFilePath(Dir()), channels);
    SaveChAliasFile(ChAliasFilePath(Dir()), aliases);
    EXPECT_EQ(ReadBytes(ChSetFilePath(Dir())),
              "Tab here\t0\t0\t0\r\nTwo  lines\t0\t1\t0\r\nNul end\t0\t2\t0\r\n \t0\t3\t0\r\n");

    NamedNumberList loadedChannels;
    BonAliasList loadedAliases;
    LoadChSetFile(ChSetFilePath(Dir()), loadedChannels);
    LoadChAliasFile(ChAliasFilePath(Dir()), loadedAliases);
    EXPECT_EQ(loadedChannels,
              (NamedNumberList{{"Tab here", 0}, {"Two  lines", 1}, {"Nul end", 2}, {" ", 3}}));
    ASSERT_EQ(loadedAliases.size(), 2u);
    EXPECT_EQ(loadedAliases[0], Alias(0, {"Bon A", 4}, {"Sp c", 5}, {"C h", 6}, {"Srv x", 7}));
    EXPECT_EQ(loadedAliases[1], aliases[1]);
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

TEST_F(ChannelFilesTest, HandEditedAliasFileNumbersRowsByPosition)
{
    BonAliasList aliases;
    ParseChAliasText("# my channels\r\n"
                     "S0\t10\tB\t0\tP\t0\tC\t0\r\n"
                     "\r\n"
                     "S1\t11\tB\t0\tP\t0\tC\t1\r\n"
                     "broken\t1\r\n"
                     "S2\t12\tB\t1\tP\t0\tC\t2\r\n",
                     aliases);
    ASSERT_EQ(aliases.size(), 3u);
    for (std::size_t i = 0; i < aliases.size(); ++i) {
        EXPECT_EQ(aliases[i].index, static_cast<std::int32_t>(i));
        // What the viewer selects with is what is reported back as current.
        const BON_ALIAS* row = FindBonAlias(aliases, static_cast<std::int32_t>(i));
        ASSERT_EQ(row, &aliases[i]);
        EXPECT_EQ(FindVirtualChannel(aliases, row->bn.number, row->spc.number, row->ch.number, row->srv.number),
                  static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(aliases[2].srv, (NamedNumber{"S2", 12}));
}

TEST_F(ChannelFilesTest, Lookups)
{
    EXPECT_EQ(FindVirtualChannel({}, 0, 0, 0, 0), 0);
    EXPECT_EQ(FindBonAlias({}, 0), nullptr);

    const BonAliasList aliases{
        Alias(0, {"A", 0}, {"T", 0}, {"13ch", 3}, {"River", 1040}),
        Alias(1, {"B", 1}, {"BS", 1}, {"BS01", 0}, {"Hill", 101}),
        Alias(2, {"A2", 1}, {"BS2", 1}, {"BS01b", 0}, {"Hill2", 101}),  // same numbers as row 1
        Alias(3, {"C", 2}, {"CS", 2}, {"CS", 4}, {"Sea", 0xFFFFFFFFu}),
    };
    EXPECT_EQ(FindVirtualChannel(aliases, 1, 1, 0, 101), 1);
    EXPECT_EQ(FindVirtualChannel(aliases, 2, 2, 4, 0xFFFFFFFFu), 3);
    // Each of the four numbers must match.
    EXPECT_EQ(FindVirtualChannel(aliases, 0, 0, 3, 1041), 0);
    EXPECT_EQ(FindVirtualChannel(aliases, 2, 1, 0, 101), 0);
    EXPECT_EQ(FindVirtualChannel(aliases, 1, 2, 0, 101), 0);
    EXPECT_EQ(FindVirtualChannel(aliases, 1, 1, 1, 101), 0);

    EXPECT_EQ(FindBonAlias(aliases, 0), &aliases[0]);
    EXPECT_EQ(FindBonAlias(aliases, 3), &aliases[3]);
    EXPECT_EQ(FindBonAlias(aliases, 4), nullptr);
    EXPECT_EQ(FindBonAlias(aliases, -1), nullptr);
    EXPECT_EQ(FindBonAlias(aliases, INT32_MIN), nullptr);
}
