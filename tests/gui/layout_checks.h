#pragma once
// A window laid out as its table says, at 96 dpi.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <initializer_list>

#include "app/gui/control_spec.h"
#include "gui/gui_driver.h"

// The client size, and every control where the design puts it: labels and
// check boxes size themselves to their caption in the font they get and keep
// only their top; everything else sits exactly. Controls show their caption,
// except edits, lists and those in `filled`, whose text the program sets.
template <std::size_t N>
void ExpectLayout(HWND window, int clientWidth, int clientHeight, const std::array<ControlSpec, N>& table,
                  std::initializer_list<int> filled = {})
{
    const SIZE client = gui::ClientSize(window);
    EXPECT_EQ(client.cx, clientWidth);
    EXPECT_EQ(client.cy, clientHeight);
    for (const ControlSpec& c : table) {
        const HWND control = GetDlgItem(window, c.id);
        ASSERT_NE(control, nullptr) << c.name;
        const RECT r = gui::RectInParent(control);
        EXPECT_EQ(r.top, c.top) << c.name;
        if (c.kind != ControlKind::Label && c.kind != ControlKind::CheckBox) {
            EXPECT_EQ(r.left, c.left) << c.name;
            EXPECT_EQ(r.right - r.left, c.width) << c.name;
            EXPECT_EQ(r.bottom - r.top, c.height) << c.name;
        }
        bool showsCaption = c.kind != ControlKind::Edit && c.kind != ControlKind::ListView;
        for (int id : filled)
            showsCaption = showsCaption && id != c.id;
        if (showsCaption)
            EXPECT_EQ(gui::Text(control), c.caption) << c.name;
    }
}
