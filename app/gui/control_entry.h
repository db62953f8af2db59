#pragma once
// One control of a window's layout table, in 96-dpi pixels: the main window
// and the channel setup dialog are built from such tables, and the GUI test
// program finds their controls by them.
#include <array>
#include <cstddef>

enum class ControlKind {
    Label,
    Note,          // a label of several lines, wrapped at its width
    StatusPane,    // a sunken one-line pane of the window's status line
    Edit,
    CheckBox,
    PushButton,
    DefaultButton, // the push button that Enter presses
    Bevel,         // a horizontal line
    FlatButton,    // a flat button that never takes the focus
    FlatToggle,    // the same, staying down when pressed until pressed again
    ListView,      // a report-style list with check boxes
};

struct ControlEntry {
    int id;
    const char* name;
    ControlKind kind;
    int left, top, width, height;
    const wchar_t* caption;
    int tabOrder; // -1: not a tab stop
};

// A control's place in its parent.
struct ControlRect {
    int left, top, width, height;
};

// The layout tables' pixels are at this resolution and scale with the monitor's.
inline constexpr int DesignDpi = 96;

// 96-dpi pixels at another resolution, rounded to the nearest pixel.
constexpr int Scale(int pixels, int dpi)
{
    return (pixels * dpi + DesignDpi / 2) / DesignDpi;
}

template <std::size_t N>
constexpr const ControlEntry* FindControl(const std::array<ControlEntry, N>& table, int id)
{
    for (const ControlEntry& c : table)
        if (c.id == id)
            return &c;
    return nullptr;
}
