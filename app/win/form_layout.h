#pragma once
// Building a window's controls from a layout table at the window's DPI.
#include <windows.h>

#include <algorithm>
#include <array>
#include <string>

#include "app/gui/control_spec.h"

// The layout's font ("ＭＳ Ｐゴシック" and its height in 96-dpi pixels) at dpi.
HFONT CreateLayoutFont(const wchar_t* face, int height, UINT dpi);

// One control of the table, created at its place and with its caption.
HWND CreateLayoutControl(HWND parent, HINSTANCE instance, const ControlSpec& spec, UINT dpi);
// Every control of the table, created in tab order (the tab stops first, in
// their order), which is the order the dialog keys move through them.
template <std::size_t N>
void CreateLayoutControls(HWND parent, HINSTANCE instance, const std::array<ControlSpec, N>& table, UINT dpi);
// Moves a control to its place at another DPI.
void PlaceControl(HWND parent, const ControlSpec& spec, UINT dpi);

// Labels and check boxes size themselves to their caption in the font they
// have, as the layout's 96-dpi widths were taken for the design font: a wider
// substitute grows the control to the right up to the next control on its
// row, and then to the left, and a taller one grows it downwards, so that no
// caption is cut off.
template <std::size_t N>
void FitCaptions(HWND parent, const std::array<ControlSpec, N>& table, int clientWidth, UINT dpi);
void FitCaption(HWND parent, const ControlSpec& spec, int rightLimit, UINT dpi);

// Centres a window on the monitor it is on.
void CentreOnScreen(HWND window);

std::wstring WindowTextOf(HWND window);

template <std::size_t N>
void CreateLayoutControls(HWND parent, HINSTANCE instance, const std::array<ControlSpec, N>& table, UINT dpi)
{
    std::array<const ControlSpec*, N> order;
    for (std::size_t i = 0; i < N; ++i)
        order[i] = &table[i];
    std::stable_sort(order.begin(), order.end(), [](const ControlSpec* a, const ControlSpec* b) {
        return (a->tabOrder < 0 ? N : a->tabOrder) < (b->tabOrder < 0 ? N : b->tabOrder);
    });
    for (const ControlSpec* c : order)
        CreateLayoutControl(parent, instance, *c, dpi);
}

template <std::size_t N>
void FitCaptions(HWND parent, const std::array<ControlSpec, N>& table, int clientWidth, UINT dpi)
{
    for (const ControlSpec& c : table) {
        if (c.kind != ControlKind::Label && c.kind != ControlKind::CheckBox)
            continue;
        int limit = clientWidth;
        for (const ControlSpec& other : table) {
            const bool sameRow = other.top < c.top + c.height && c.top < other.top + other.height;
            if (&other != &c && sameRow && other.left > c.left && other.left < limit)
                limit = other.left;
        }
        FitCaption(parent, c, limit, dpi);
    }
}
