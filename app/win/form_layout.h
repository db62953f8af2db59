#pragma once
// Building a window's controls from a layout table at the window's DPI.
#include <windows.h>

#include <algorithm>
#include <array>
#include <string>

#include "app/gui/control_entry.h"

// The layout's font ("ＭＳ Ｐゴシック" and its height in 96-dpi pixels) at dpi.
HFONT CreateLayoutFont(const wchar_t* face, int height, UINT dpi);

// A control's place at dpi.
ControlRect ScaledRect(const ControlEntry& entry, UINT dpi);
void MoveControl(HWND parent, int id, const ControlRect& r);

// One control of the table, created at its place and with its caption.
HWND CreateLayoutControl(HWND parent, HINSTANCE instance, const ControlEntry& entry, UINT dpi);
// Every control of the table, created in tab order (the tab stops first, in
// their order), which is the order the dialog keys move through them.
template <std::size_t N>
void CreateLayoutControls(HWND parent, HINSTANCE instance, const std::array<ControlEntry, N>& table, UINT dpi);
// Moves a control to its place at another DPI.
void PlaceControl(HWND parent, const ControlEntry& entry, UINT dpi);

// Labels and check boxes size themselves to their caption in the font they
// have, as the layout's 96-dpi widths were taken for the design font: a wider
// substitute grows the control from where it was placed to the right, up to
// the next control on its row, and then to the left, and a taller one grows
// it downwards, so that no caption is cut off. clientWidth in pixels.
template <std::size_t N>
void FitCaptions(HWND parent, const std::array<ControlEntry, N>& table, int clientWidth, UINT dpi);
void FitCaption(HWND parent, const ControlEntry& entry, int rightLimit, UINT dpi);
int ControlLeft(HWND parent, int id);

// A bevel control's etched line (its owner's WM_DRAWITEM).
void DrawBevel(const DRAWITEMSTRUCT& item);

// Centres a window on the monitor of `over` (its own when null).
void CentreOver(HWND window, HWND over);

std::wstring WindowTextOf(HWND window);

template <std::size_t N>
void CreateLayoutControls(HWND parent, HINSTANCE instance, const std::array<ControlEntry, N>& table, UINT dpi)
{
    std::array<const ControlEntry*, N> order;
    for (std::size_t i = 0; i < N; ++i)
        order[i] = &table[i];
    std::stable_sort(order.begin(), order.end(), [](const ControlEntry* a, const ControlEntry* b) {
        return (a->tabOrder < 0 ? N : a->tabOrder) < (b->tabOrder < 0 ? N : b->tabOrder);
    });
    for (const ControlEntry* c : order)
        CreateLayoutControl(parent, instance, *c, dpi);
}

template <std::size_t N>
void FitCaptions(HWND parent, const std::array<ControlEntry, N>& table, int clientWidth, UINT dpi)
{
    for (const ControlEntry& c : table) {
        if (c.kind != ControlKind::Label && c.kind != ControlKind::CheckBox)
            continue;
        int limit = clientWidth;
        for (const ControlEntry& other : table) {
            const bool sameRow = other.top < c.top + c.height && c.top < other.top + other.height;
            if (&other != &c && sameRow && other.left > c.left)
                limit = std::min(limit, ControlLeft(parent, other.id));
        }
        FitCaption(parent, c, limit, dpi);
    }
}
