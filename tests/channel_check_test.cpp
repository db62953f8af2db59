// Comparing the channel files with a fresh scan, reading them strictly, and
// rewriting single ChAlias rows.
#include <gtest/gtest.h>

#include <tuple>

#include "channel/channel_check.h"
#include "support/alias_rows.h"

namespace {
constexpr auto Row = NamedAliasRow;
} // namespace

TEST(ChannelCheck, TellsUnchangedRenamedMovedAndGoneAndSettlesAmbiguousMoves)
{
    const BonAliasList scanned = {
        Row(0, "A", 1, "T0.dll", 0, 3),
        Row(1, "B2", 2, "T0.dll", 0, 3), // B renamed in place
        Row(2, "D", 4, "T0.dll", 0, 4),  // took C's place
        Row(3, "C", 3, "T0.dll", 0, 6),  // C moved
        Row(4, "E", 5, "T1.dll", 1, 8),  // E on two other tuners
        Row(5, "E", 5, "T2.dll", 2, 8),
        Row(6, "F", 6, "T0.dll", 5, 9),  // T0's number shifted; F is also on T1
        Row(7, "F", 6, "T1.dll", 1, 9),
    };
    const BonAliasList rows = {
        Row(0, "A", 1, "T0.dll", 0, 3), Row(1, "B", 2, "T0.dll", 0, 3), Row(2, "C", 3, "T0.dll", 0, 4),
        Row(3, "E", 5, "T0.dll", 0, 8), Row(4, "F", 6, "T0.dll", 0, 9), Row(5, "G", 7, "T0.dll", 0, 10),
    };
    // Each row's state and what was found for it. C's numbers now carry D, and
    // C itself is found elsewhere: moved. E is found twice, on neither the
    // row's own BonDriver: not to be guessed. F is found twice, once on a
    // BonDriver of the row's name (under a new number): that one.
    using enum ChannelState;
    const std::pair<ChannelState, BonAliasList> expected[] = {
        {Unchanged, {scanned[0]}},         {Renamed, {scanned[1]}}, {Moved, {scanned[3]}},
        {Moved, {scanned[4], scanned[5]}}, {Moved, {scanned[6]}},   {Gone, {}},
    };
    const auto results = CheckChannels(rows, scanned);
    ASSERT_EQ(results.size(), std::size(expected));
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(std::pair(results[i].state, results[i].found), expected[i]) << rows[i].srv.name;
}

TEST(ChannelCheck, StrictReadingNamesTheFirstLineThatIsNoRecord)
{
    NamedNumberList channels;
    EXPECT_EQ(ReadChSetStrictly("A\t0\t0\t0\r\nB\t0\t1\t0\nC\t0\t-1\t0", channels), std::nullopt);
    EXPECT_EQ(channels, (NamedNumberList{{"A", 0}, {"B", 1}, {"C", 0xFFFFFFFFu}}));
    const std::string good = "S\t4294967295\tB\t0\tT\t0\tC\t3\r\n";
    BonAliasList rows;
    EXPECT_EQ(ReadChAliasStrictly(good + good, rows), std::nullopt);
    EXPECT_EQ(rows, (BonAliasList{{0, {"B", 0}, {"T", 0}, {"C", 3}, {"S", 0xFFFFFFFFu}},
                                  {1, {"B", 0}, {"T", 0}, {"C", 3}, {"S", 0xFFFFFFFFu}}}));
    // The ChAlias file or the ChSet file, its text and the fault named.
    for (const auto& [alias, text, error] : std::vector<std::tuple<bool, std::string, std::string>>{
             {false, "A\t0\t0\t0\r\n\r\nB\t0\t1\t0\r\n", "line 2: 0 fields, expected 4 separated by TAB"},
             {false, "A\t0\t0\t0\r\nB\t0\t1\t\r\n", "line 2: ends with a TAB (an empty last field is not read)"},
             {false, "A\t0\t 1\t0\r\n", "line 1: field 3 is not a number"},
             {true, good + "S\t1\tB\t0\tT\t0\tC\r\n", "line 2: 7 fields, expected 8 separated by TAB"},
             {true, good + "S\t1\tB\t0\tT\t0\tC\tx\r\n", "line 2: field 8 is not a number"},
             {true, "S\t4294967296\tB\t0\tT\t0\tC\t3\r\n", "line 1: field 2 is not a number"},
             {true, good + std::string("S\t1\tB\0\t0\tT\t0\tC\t3", 17), "line 2: holds a NUL byte"}})
        EXPECT_EQ(alias ? ReadChAliasStrictly(text, rows) : ReadChSetStrictly(text, channels), error) << text;
}

TEST(ChannelCheck, RewritingRowsLeavesEveryOtherByteAsItWas)
{
    // Hand-edited: LF-only line, a number with a leading zero, no end at the last line.
    const std::string text = "A\t1\tB\t0\tT\t0\tC\t3\nX\t2\tB\t0\tT\t0\tC\t4\r\nY\t007\tB\t0\tT\t0\tC\t5";
    BON_ALIAS moved{1, {"B2", 2}, {"T", 0}, {"C9", 9}, {"X", 2}};
    EXPECT_EQ(ReplaceChAliasRows(text, {moved}),
              "A\t1\tB\t0\tT\t0\tC\t3\nX\t2\tB2\t2\tT\t0\tC9\t9\r\nY\t007\tB\t0\tT\t0\tC\t5");
    moved.index = 2;
    EXPECT_EQ(ReplaceChAliasRows(text, {moved}), text.substr(0, text.rfind('\n') + 1) + "X\t2\tB2\t2\tT\t0\tC9\t9");
}
