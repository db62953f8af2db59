#pragma once
// The channel setup dialog as it is laid out at 96 dpi: one table that the
// dialog builds its controls from and that the GUI test program finds them by.
// The check box for the EpgTimerBon copy sits below the button row, which
// leaves every other control where the design puts it. This is also the
// dialog's smallest size: it can be made larger, and PlaceResized says where
// each control then goes.
#include <array>

#include "app/gui/control_entry.h"

namespace ChannelSetupLayout {

inline constexpr const wchar_t* WindowClass = L"TChannelSetupDlg";
inline constexpr const wchar_t* Caption = L"チャンネルファイルの作成";
inline constexpr int ClientWidth = 419;
inline constexpr int ClientHeight = 422;
inline constexpr const wchar_t* FontName = L"ＭＳ Ｐゴシック";
inline constexpr int FontHeight = 12;
// The progress label: red, bold, 13 pixels high.
inline constexpr int ScanLabelFontHeight = 13;

enum ControlId {
    Button1 = 1,  // "作成": the command Enter gives (IDOK)
    Button2 = 2,  // "閉じる": the command Esc and the close box give (IDCANCEL)
    Label1 = 2001,
    ChannelListView,
    UpSB,
    DownSB,
    ChannelNameEd,
    ChannelRenameSB,
    ChannelScanLb,
    ChListSizeLb,
    CopyToEpgTimerBonCBox,
};

inline constexpr std::array<ControlEntry, 11> Controls = {{
    {Label1, "Label1", ControlKind::Label, 16, 12, 240, 12, L"有効にするチャンネルにチェックしてください", -1},
    // It ends where the arrow buttons begin.
    {ChannelListView, "ChannelListView", ControlKind::ListView, 16, 32, 364, 273, L"", 0},
    {UpSB, "UpSB", ControlKind::FlatButton, 380, 32, 23, 137, L"↑", -1},
    {DownSB, "DownSB", ControlKind::FlatButton, 380, 168, 23, 137, L"↓", -1},
    {ChannelNameEd, "ChannelNameEd", ControlKind::Edit, 16, 312, 277, 20, L"", 1},
    {ChannelRenameSB, "ChannelRenameSB", ControlKind::FlatButton, 300, 311, 103, 22, L"名前変更(&M)", -1},
    {ChannelScanLb, "ChannelScanLb", ControlKind::Label, 20, 340, 383, 16, L"", -1},
    // After the scan, where the progress label was and beside the buttons:
    // the size of the channel list the ticked rows give the viewer, and what
    // the viewer's list shows when it is cut.
    {ChListSizeLb, "ChListSizeLb", ControlKind::Note, 20, 338, 222, 52, L"", -1},
    {Button1, "Button1", ControlKind::DefaultButton, 246, 360, 75, 25, L"作成", 2},
    {Button2, "Button2", ControlKind::PushButton, 330, 360, 75, 25, L"閉じる", 3},
    {CopyToEpgTimerBonCBox, "CopyToEpgTimerBonCBox", ControlKind::CheckBox, 16, 396, 389, 17,
     L"TVTest 用に EpgTimerBon フォルダーにもコピーする", 4},
}};

constexpr const ControlEntry* Find(int id)
{
    return FindControl(Controls, id);
}

// A control's place (at the design size, in the window's pixels) moved for a
// dialog dx wider and dy taller: the list takes the growth, the arrow buttons
// share its height to its right, and what lies below it keeps its distance
// to the bottom edge, the buttons also to the right one.
constexpr ControlRect PlaceResized(int id, ControlRect r, int dx, int dy)
{
    switch (id) {
    case ChannelListView:
        return {r.left, r.top, r.width + dx, r.height + dy};
    case UpSB:
        return {r.left + dx, r.top, r.width, r.height + dy / 2};
    case DownSB:
        return {r.left + dx, r.top + dy / 2, r.width, r.height + dy - dy / 2};
    case ChannelNameEd:
    case ChannelScanLb:
    case ChListSizeLb:
        return {r.left, r.top + dy, r.width + dx, r.height};
    case ChannelRenameSB:
    case Button1:
    case Button2:
        return {r.left + dx, r.top + dy, r.width, r.height};
    case CopyToEpgTimerBonCBox:
        return {r.left, r.top + dy, r.width, r.height};
    default:
        return r;
    }
}

struct ColumnSpec {
    const wchar_t* caption;
    int width;
};

inline constexpr std::array<ColumnSpec, 4> Columns = {{
    {L"チャンネル（サービス）", 150},
    {L"チューナー", 70},
    {L"空間", 50},
    {L"チャンネル", 70},
}};

} // namespace ChannelSetupLayout
