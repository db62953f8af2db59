#include "app/win/form_layout.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win/dpi.h"
#include "app/win/speed_button.h"

HFONT CreateLayoutFont(const wchar_t* face, int height, UINT dpi)
{
    LOGFONTW lf{};
    lf.lfHeight = -Scale(height, static_cast<int>(dpi));
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

HWND CreateLayoutControl(HWND parent, HINSTANCE instance, const ControlEntry& entry, UINT dpi)
{
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (entry.kind) {
    case ControlKind::Label:
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        break;
    case ControlKind::Note:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
    case ControlKind::StatusPane:
        // SS_NOTIFY: its tooltip hears the mouse.
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS | SS_CENTERIMAGE | SS_NOTIFY;
        exStyle |= WS_EX_STATICEDGE;
        break;
    case ControlKind::Edit:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    case ControlKind::CheckBox:
        cls = L"BUTTON";
        style |= BS_AUTOCHECKBOX;
        break;
    case ControlKind::PushButton:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::DefaultButton:
        cls = L"BUTTON";
        style |= BS_DEFPUSHBUTTON;
        break;
    case ControlKind::ListView:
        cls = WC_LISTVIEWW;
        style |= LVS_REPORT | LVS_SHOWSELALWAYS;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    case ControlKind::Bevel:
        // An etched line drawn by its window (DrawBevel): the system's etched
        // static draws two lines, top and bottom, which at this height look
        // like an empty box.
        style |= SS_OWNERDRAW;
        break;
    case ControlKind::FlatButton:
        cls = SpeedButtonClass;
        break;
    case ControlKind::FlatToggle:
        cls = SpeedButtonClass;
        style |= SpeedButtonToggle;
        break;
    }
    if (entry.tabOrder >= 0)
        style |= WS_TABSTOP;
    const int d = static_cast<int>(dpi);
    return CreateWindowExW(exStyle, cls, entry.caption, style, Scale(entry.left, d), Scale(entry.top, d),
                           Scale(entry.width, d), Scale(entry.height, d), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance, nullptr);
}

ControlRect ScaledRect(const ControlEntry& entry, UINT dpi)
{
    const int d = static_cast<int>(dpi);
    return {Scale(entry.left, d), Scale(entry.top, d), Scale(entry.width, d), Scale(entry.height, d)};
}

void MoveControl(HWND parent, int id, const ControlRect& r)
{
    SetWindowPos(GetDlgItem(parent, id), nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceControl(HWND parent, const ControlEntry& entry, UINT dpi)
{
    MoveControl(parent, entry.id, ScaledRect(entry, dpi));
}

void FitCaption(HWND parent, const ControlEntry& entry, int rightLimit, UINT dpi)
{
    const int d = static_cast<int>(dpi);
    const HWND control = GetDlgItem(parent, entry.id);
    RECT placed;
    GetWindowRect(control, &placed);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&placed), 2);
    const std::wstring text = WindowTextOf(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    int needed = extent.cx;
    if (entry.kind == ControlKind::CheckBox)
        needed += SystemMetricForDpi(SM_CXMENUCHECK, dpi) + Scale(6, d);  // the box and its gap
    int left = placed.left;
    const int width = std::max(static_cast<int>(placed.right - placed.left), needed);
    const int right = rightLimit - Scale(4, d);
    if (left + width > right)
        left = std::max(0, right - width);
    const int height = std::max(static_cast<int>(placed.bottom - placed.top), static_cast<int>(extent.cy));
    SetWindowPos(control, nullptr, left, placed.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int ControlLeft(HWND parent, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(parent, id), &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r.left;
}

void DrawBevel(const DRAWITEMSTRUCT& item)
{
    RECT line = item.rcItem;
    line.top = (line.top + line.bottom) / 2 - 1;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(item.hDC, &line, EDGE_ETCHED, BF_TOP);
}

void CentreOver(HWND window, HWND over)
{
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(over ? over : window, MONITOR_DEFAULTTOPRIMARY), &mi);
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const RECT& m = mi.rcMonitor;
    SetWindowPos(window, nullptr, m.left + (m.right - m.left - w) / 2, m.top + (m.bottom - m.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowTextOf(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}
