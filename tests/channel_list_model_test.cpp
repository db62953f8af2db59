#include <filesystem>
#include <gtest/gtest.h>

#include "channel/arrow_repeat.h"
#include "channel/channel_files.h"
#include "channel/channel_list_model.h"
#include "channel/scan_lines.h"
#include "common/file_io.h"
#include "common/terminal_text.h"
#include "support/temp_dir.h"

namespace {

// A model of n scanned rows; row i is the service "S<i>" numbered 100+i.
ChannelListModel Rows(int n)
{
    ChannelListModel model;
    for (int i = 0; i < n; ++i) {
        model.AddRow(BON_ALIAS{i, {"Bon", 0}, {"Space", 0}, {"Ch", static_cast<std::uint32_t>(i)},
                               {"S" + std::to_string(i), static_cast<std::uint32_t>(100 + i)}});
    }
    return model;
}

// The rows by their original positions, top to bottom.
std::vector<int> Order(const ChannelListModel& model)
{
    std::vector<int> order;
    for (const ChannelRow& row : model.Rows())
        order.push_back(static_cast<int>(row.alias->srv.number) - 100);
    return order;
}

void Select(ChannelListModel& model, std::initializer_list<int> originals)
{
    for (std::size_t p = 0; p < model.Size(); ++p) {
        const int original = static_cast<int>(model.Rows()[p].alias->srv.number) - 100;
        bool selected = false;
        for (const int o : originals)
            selected = selected || o == original;
        model.SetSelected(p, selected);
    }
}

} // namespace

TEST(ChannelListModel, SortRuleAndMovingUpMovesRunsAndStopsAtTheTop)
{
    // By index; a row without a record after every row with one.
    ChannelRow three, seven, none;
    three.alias = std::make_unique<BON_ALIAS>(BON_ALIAS{3, {}, {}, {}, {}});
    seven.alias = std::make_unique<BON_ALIAS>(BON_ALIAS{7, {}, {}, {}, {}});
    EXPECT_LT(ChannelListModel::Compare(three, seven), 0);
    EXPECT_GT(ChannelListModel::Compare(seven, three), 0);
    EXPECT_LT(ChannelListModel::Compare(seven, none), 0);
    EXPECT_GT(ChannelListModel::Compare(none, three), 0);
    EXPECT_EQ(ChannelListModel::Compare(none, none), 0);

    ChannelListModel five = Rows(5);
    Select(five, {2, 3, 4});
    five.MoveUp();
    EXPECT_EQ(Order(five), (std::vector<int>{0, 2, 3, 4, 1}));
    five.MoveUp();
    EXPECT_EQ(Order(five), (std::vector<int>{2, 3, 4, 0, 1}));
    five.MoveUp();
    EXPECT_EQ(Order(five), (std::vector<int>{2, 3, 4, 0, 1}));
    // The moved rows stay selected, and indexes stay a permutation of positions.
    for (std::size_t p = 0; p < five.Size(); ++p) {
        EXPECT_EQ(five.Rows()[p].alias->index, static_cast<std::int32_t>(p));
        EXPECT_EQ(five.Rows()[p].selected, p < 3);
    }

    ChannelListModel four = Rows(4);
    Select(four, {0, 1, 3});
    four.MoveUp();
    EXPECT_EQ(Order(four), (std::vector<int>{0, 1, 3, 2}));

    ChannelListModel top = Rows(3);
    Select(top, {0});
    top.MoveUp();
    EXPECT_EQ(Order(top), (std::vector<int>{0, 1, 2}));
    Select(top, {});
    top.MoveUp();
    top.MoveDown();
    EXPECT_EQ(Order(top), (std::vector<int>{0, 1, 2}));
}

TEST(ChannelListModel, MovingDownMirrorsMovingUp)
{
    ChannelListModel five = Rows(5);
    Select(five, {0, 1, 2});
    five.MoveDown();
    EXPECT_EQ(Order(five), (std::vector<int>{3, 0, 1, 2, 4}));
    five.MoveDown();
    EXPECT_EQ(Order(five), (std::vector<int>{3, 4, 0, 1, 2}));
    five.MoveDown();
    EXPECT_EQ(Order(five), (std::vector<int>{3, 4, 0, 1, 2}));

    ChannelListModel last = Rows(4);
    Select(last, {3});
    last.MoveDown();
    EXPECT_EQ(Order(last), (std::vector<int>{0, 1, 2, 3}));
    Select(last, {2, 3});
    last.MoveDown();
    EXPECT_EQ(Order(last), (std::vector<int>{0, 1, 2, 3}));
    Select(last, {1});
    last.MoveDown();
    EXPECT_EQ(Order(last), (std::vector<int>{0, 2, 1, 3}));
}

namespace {

// Holds an arrow button for heldMs on a timer that fires on time, then lets
// go over the button or elsewhere; the times of the moves, from the press.
std::vector<int> Hold(ArrowRepeat& repeat, ArrowButton button, int heldMs, bool releaseOver, ChannelListModel& model)
{
    std::vector<int> moves;
    const auto move = [&](ArrowButton b, int at) {
        if (b == ArrowButton::Up)
            model.MoveUp();
        if (b == ArrowButton::Down)
            model.MoveDown();
        if (b != ArrowButton::None)
            moves.push_back(at);
    };
    repeat.Press(button);
    for (int t = repeat.Interval(); t < heldMs; t += repeat.Interval())
        move(repeat.Tick(), t);
    move(repeat.Release(releaseOver), heldMs);
    EXPECT_EQ(repeat.Interval(), 0);
    EXPECT_EQ(repeat.Tick(), ArrowButton::None);
    return moves;
}

} // namespace

TEST(ChannelListModel, HeldArrowsRepeatAfter500msThenEvery100msAndOnceMoreOnRelease)
{
    ChannelListModel model = Rows(10);
    Select(model, {0});
    ArrowRepeat repeat;
    EXPECT_EQ(Hold(repeat, ArrowButton::Down, 750, true, model), (std::vector<int>{500, 600, 700, 750}));
    EXPECT_EQ(Order(model), (std::vector<int>{1, 2, 3, 4, 0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Hold(repeat, ArrowButton::Down, 750, false, model), (std::vector<int>{500, 600, 700}));
    EXPECT_EQ(Hold(repeat, ArrowButton::Up, 200, true, model), (std::vector<int>{200}));
    EXPECT_EQ(Hold(repeat, ArrowButton::Up, 200, false, model), (std::vector<int>{}));
    EXPECT_EQ(Order(model), (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8, 9}));
}

TEST(ChannelListModel, RenameAndTheNameFieldFollowTheSelection)
{
    ChannelListModel model = Rows(4);
    model.SetSelected(1, true);
    EXPECT_EQ(model.NameFieldAfterChange(1), "S1");
    model.SetSelected(3, true);
    EXPECT_EQ(model.NameFieldAfterChange(3), "");
    model.RenameSelected("News\tHD\r\n");
    EXPECT_EQ(model.Rows()[1].displayName, "News HD  ");
    EXPECT_EQ(model.Rows()[3].displayName, "News HD  ");
    EXPECT_EQ(model.Rows()[3].alias->srv.name, "S3");
    model.SetSelected(1, false);
    EXPECT_EQ(model.NameFieldAfterChange(1), "");
    EXPECT_EQ(model.NameFieldAfterChange(3), "News HD  ");
    EXPECT_EQ(Order(model), (std::vector<int>{0, 1, 2, 3}));
    model.RenameSelected("");
    EXPECT_EQ(model.Rows()[3].displayName, "");
}

TEST(ChannelListModel, CreatesFilesFromTheTickedRowsInTheirOrder)
{
    TempDir dir;
    const std::string folder = dir.Folder();

    ChannelListModel model = Rows(4);
    model.SetChecked(1, true);
    model.SetChecked(3, true);
    model.SetSelected(3, true);
    model.RenameSelected("Renamed");
    model.CreateChannelFiles(folder);
    EXPECT_EQ(*ReadWholeFile(ChSetFilePath(folder)), "S1\t0\t0\t0\r\nRenamed\t0\t1\t0\r\n");
    EXPECT_EQ(*ReadWholeFile(ChAliasFilePath(folder)),
              "S1\t101\tBon\t0\tSpace\t0\tCh\t1\r\nS3\t103\tBon\t0\tSpace\t0\tCh\t3\r\n");

    BonAliasList aliases;
    LoadChAliasFile(ChAliasFilePath(folder), aliases);
    ASSERT_EQ(aliases.size(), 2u);
    EXPECT_EQ(aliases[1].index, 1);
    // What the server would answer to "GetChList" with the last one current.
    EXPECT_EQ(model.ChListReplySize(), std::string("0\t1\t0\tS1\t1\tRenamed").size());

    ChannelListModel none = Rows(2);
    none.CreateChannelFiles(folder);
    EXPECT_EQ(none.ChListReplySize(), 3u);
    EXPECT_EQ(ReadWholeFile(ChSetFilePath(folder))->size(), 0u);
    EXPECT_EQ(ReadWholeFile(ChAliasFilePath(folder))->size(), 0u);
}

TEST(TerminalText, RoundTripsEveryByteStringExactly)
{
    // 地上デジタル, a half-width katakana, a 0x5C trail byte (ソ), NEC and IBM
    // duplicates of the same character, bytes that are no character, and
    // control bytes.
    const std::string samples[] = {
        "\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B",
        "\xB1\x83\x5C\\path",
        "\x87\x90\x81\xE0\xED\x40\xFA\x5C",
        std::string("\x80\xA0\xFD\xFE\xFF\x81", 6),
        std::string("a\tb\r\n\x01\x7F\0z", 9),
        "plain ASCII",
    };
    for (const std::string& bytes : samples) {
        const std::string shown = Cp932ToTerminal(bytes);
        for (const char c : shown)
            EXPECT_FALSE(c == '\t' || c == '\r' || c == '\n' || c == '\0') << shown;
        const auto back = TerminalToCp932(shown);
        ASSERT_TRUE(back) << shown;
        EXPECT_EQ(*back, bytes) << shown;
    }
    EXPECT_EQ(Cp932ToTerminal("\x92\x6E\x8F\xE3"), "地上");
    // 0x80 is U+0080 to Windows, a control to the terminal.
    EXPECT_EQ(Cp932ToTerminal("\x80"), "\\x80");
    EXPECT_EQ(*TerminalToCp932("ＮＨＫ総合"), "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87");
    // Text typed at the terminal: a lone backslash stays, a character code
    // page 932 lacks is refused.
    EXPECT_EQ(*TerminalToCp932("a\\b"), "a\\b");
    EXPECT_FALSE(TerminalToCp932("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(TerminalToCp932("\xE3\x81"));
}

TEST(ScanLines, OnlyTheHeaderIsACommentAndANameStartingWithHashReadsBack)
{
    const BON_ALIAS row{0, {"B", 1}, {"S", 2}, {"C", 3}, {"#1 Sports", 0xFFFFFFFFu}};
    const std::string line = FormatScanLine(row);
    EXPECT_EQ(line, "\\x231 Sports\t\\x231 Sports\t-1\tB\t1\tS\t2\tC\t3");
    std::vector<ScanLine> lines;
    // A "#" typed by hand at the start of a later line is a name's too.
    ASSERT_FALSE(ParseScanLines(std::string(ScanHeader) + "\r\n\n" + line + "\n#2\tS\t9\tB\t1\tS\t2\tC\t3", lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].displayName, "#1 Sports");
    EXPECT_EQ(lines[0].row, row);
    EXPECT_EQ(lines[1].displayName, "#2");
    EXPECT_EQ(lines[1].row.index, 1);
    EXPECT_EQ(lines[1].row.srv, (NamedNumber{"S", 9}));
    // A leading ';', which the viewer reads as a comment line, becomes the
    // full-width '；' in the display name only; the service keeps its bytes.
    const BON_ALIAS semicolon{0, {"B", 1}, {"S", 2}, {"C", 3}, {";News", 9}};
    EXPECT_EQ(FormatScanLine(semicolon), "；News\t;News\t9\tB\t1\tS\t2\tC\t3");
    ASSERT_FALSE(ParseScanLines(FormatScanLine(semicolon), lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].displayName, "\x81\x47News");
    EXPECT_EQ(lines[0].row, semicolon);
    // A comment below the header is no service and is refused, not passed over.
    EXPECT_EQ(ParseScanLines(line + "\n# keep these\n", lines), std::optional<std::string>(
                                                                    "line 2: 1 fields, expected 9 separated by TAB"));
}
