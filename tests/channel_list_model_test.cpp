// The channel setup dialog's list without the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "channel/arrow_repeat.h"
#include "channel/channel_list_model.h"
#include "support/alias_rows.h"
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

void Select(ChannelListModel& model, const std::vector<int>& originals)
{
    const std::vector<int> order = Order(model);
    for (std::size_t p = 0; p < model.Size(); ++p)
        model.SetSelected(p, std::count(originals.begin(), originals.end(), order[p]) == 1);
}

} // namespace

TEST(ChannelListModel, EachSelectedRunMovesOnePlaceAndStopsAtTheEnd)
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

    // Rows, the selected ones, up or down, and the order after each press.
    for (const auto& [n, selected, up, orders] :
         std::vector<std::tuple<int, std::vector<int>, bool, std::vector<std::vector<int>>>>{
             {5, {2, 3, 4}, true, {{0, 2, 3, 4, 1}, {2, 3, 4, 0, 1}, {2, 3, 4, 0, 1}}},
             {4, {0, 1, 3}, true, {{0, 1, 3, 2}}},
             {3, {0}, true, {{0, 1, 2}}},
             {3, {}, true, {{0, 1, 2}}},
             {3, {}, false, {{0, 1, 2}}},
             {5, {0, 1, 2}, false, {{3, 0, 1, 2, 4}, {3, 4, 0, 1, 2}, {3, 4, 0, 1, 2}}},
             {4, {3}, false, {{0, 1, 2, 3}}},
             {4, {2, 3}, false, {{0, 1, 2, 3}}},
             {4, {1}, false, {{0, 2, 1, 3}}}}) {
        ChannelListModel model = Rows(n);
        Select(model, selected);
        for (const std::vector<int>& order : orders) {
            up ? model.MoveUp() : model.MoveDown();
            EXPECT_EQ(Order(model), order) << n << (up ? " up" : " down");
        }
        // The moved rows stay selected, and the records' indexes follow their places.
        for (std::size_t p = 0; p < model.Size(); ++p) {
            EXPECT_EQ(model.Rows()[p].alias->index, static_cast<std::int32_t>(p));
            EXPECT_EQ(model.Rows()[p].selected,
                      std::count(selected.begin(), selected.end(), orders.back()[p]) == 1);
        }
    }
}

namespace {

// Holds an arrow button for heldMs on a timer that fires on time, then lets
// go over the button or elsewhere: the moves and their times from the press,
// "^" up and "v" down.
std::string Hold(ArrowRepeat& repeat, ArrowButton button, int heldMs, bool releaseOver)
{
    std::string moves;
    const auto move = [&](ArrowButton b, int at) {
        if (b != ArrowButton::None)
            moves += (b == ArrowButton::Up ? " ^" : " v") + std::to_string(at);
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

TEST(ArrowRepeat, HeldArrowsRepeatAfter500msThenEvery100msAndOnceMoreOnRelease)
{
    ArrowRepeat repeat;
    EXPECT_EQ(Hold(repeat, ArrowButton::Down, 750, true), " v500 v600 v700 v750");
    EXPECT_EQ(Hold(repeat, ArrowButton::Down, 750, false), " v500 v600 v700");
    EXPECT_EQ(Hold(repeat, ArrowButton::Up, 200, true), " ^200");
    EXPECT_EQ(Hold(repeat, ArrowButton::Up, 200, false), "");
}

TEST(ChannelListModel, RenamesTheSelectedRowsAndCreatesFilesFromTheTickedOnesInTheirOrder)
{
    // The name field shows the name of the first selected row only; TAB, CR
    // and LF become blanks, and the service keeps its own name.
    ChannelListModel model = Rows(4);
    model.SetSelected(1, true);
    EXPECT_EQ(model.NameFieldAfterChange(1), "S1");
    model.SetSelected(3, true);
    EXPECT_EQ(model.NameFieldAfterChange(3), "");
    model.RenameSelected("News\tHD\r\n");
    model.SetSelected(1, false);
    EXPECT_EQ(model.NameFieldAfterChange(1), "");
    EXPECT_EQ(model.NameFieldAfterChange(3), "News HD  ");
    model.RenameSelected("");
    EXPECT_EQ(model.Rows()[3].displayName, "");
    model.RenameSelected("Renamed");
    model.SetChecked(1, true);
    model.SetChecked(3, true);
    TempDir dir;
    model.CreateChannelFiles(dir.Folder());
    EXPECT_EQ(ChannelFilesText(dir.Folder()),
              "News HD  \t0\t0\t0\r\nRenamed\t0\t1\t0\r\n|"
              "S1\t101\tBon\t0\tSpace\t0\tCh\t1\r\nS3\t103\tBon\t0\tSpace\t0\tCh\t3\r\n");
    // What the server would answer to "GetChList" with the last one current.
    EXPECT_EQ(model.ChListReplySize(), std::string("0\t1\t0\tNews HD  \t1\tRenamed").size());

    ChannelListModel none = Rows(2);
    none.CreateChannelFiles(dir.Folder());
    EXPECT_EQ(none.ChListReplySize(), 3u);
    EXPECT_EQ(ChannelFilesText(dir.Folder()), "|");
}
