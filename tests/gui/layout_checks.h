#pragma once
// A window laid out as its table says, at the DPI the harness runs at.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <initializer_list>
#include <string>

#include "app/gui/control_entry.h"
#include "gui/gui_driver.h"

// The DPI the harness set the prefix to (96 unless VERNWICK_GUI_DPI says).
inline int TestDpi()
{
    wchar_t value[16];
    const DWORD n = GetEnvironmentVariableW(L"VERNWICK_GUI_DPI", value, 16);
    return n > 0 && n < 16 ? _wtoi(value) : DesignDpi;
}

// The client size, and every control where the design puts it, scaled to
// dpi: labels and check boxes size themselves to their caption in the font
// they get and keep only their top; everything else sits exactly. Every
// caption, measured in the window's font at that DPI, fits its control.
// Controls show their caption, except edits, lists and those in `filled`,
// whose text the program sets.
template <std::size_t N>
void ExpectLayout(HWND window, int dpi, int clientWidth, int clientHeight, const std::array<ControlEntry, N>& table,
                  const wchar_t* fontName, int fontHeight, std::initializer_list<int> filled = {})
{
    const SIZE client = gui::ClientSize(window);
    EXPECT_EQ(client.cx, Scale(clientWidth, dpi));
    EXPECT_EQ(client.cy, Scale(clientHeight, dpi));
    HDC dc = GetDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -Scale(fontHeight, dpi);
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lstrcpynW(lf.lfFaceName, fontName, LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    for (const ControlEntry& c : table) {
        const HWND control = GetDlgItem(window, c.id);
        ASSERT_NE(control, nullptr) << c.name;
        const RECT r = gui::RectInParent(control);
        EXPECT_EQ(r.top, Scale(c.top, dpi)) << c.name;
        EXPECT_LE(r.right, client.cx) << c.name;
        if (c.kind != ControlKind::Label && c.kind != ControlKind::CheckBox) {
            EXPECT_EQ(r.left, Scale(c.left, dpi)) << c.name;
            EXPECT_EQ(r.right - r.left, Scale(c.width, dpi)) << c.name;
            EXPECT_EQ(r.bottom - r.top, Scale(c.height, dpi)) << c.name;
        }
        bool showsCaption = c.kind != ControlKind::Edit && c.kind != ControlKind::ListView;
        for (int id : filled)
            showsCaption = showsCaption && id != c.id;
        if (!showsCaption)
            continue;
        EXPECT_EQ(gui::Text(control), c.caption) << c.name;
        SIZE extent{};
        const std::wstring caption = c.caption;
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        EXPECT_LE(extent.cx, r.right - r.left) << c.name;
        EXPECT_LE(extent.cy, r.bottom - r.top) << c.name;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
}
