#pragma once
// The main window as it is laid out at 96 dpi: one table that the window
// builds its controls from and that the GUI test program finds them by.
#include <array>

#include "app/gui/control_entry.h"

namespace MainFormLayout {

inline constexpr const wchar_t* WindowClass = L"TMainForm";
inline constexpr const wchar_t* Caption = L"Vernwick 0.3";
inline constexpr int ClientWidth = 415;
inline constexpr int ClientHeight = 212;
inline constexpr const wchar_t* FontName = L"ＭＳ Ｐゴシック";
inline constexpr int FontHeight = 12;

enum ControlId {
    RemoconLb = 1001,
    RemoconAddrEd,
    RemoconPortEd,
    ServerLb,
    ServerPortEd,
    EpgDataCapBonCBox,
    EpgDataCapBonBtn,
    EpgDataCapBonLb,
    EpgDataCapBonEd,
    Bevel1,
    MakeChannelBtn,
    StartPatchServerSB,
    ServerStateLb,
    ChannelLb,
    UpstreamLb,
    LastFailureLb,
};

inline constexpr std::array<ControlEntry, 16> Controls = {{
    {RemoconLb, "RemoconLb", ControlKind::Label, 17, 12, 167, 12, L"EpgDataCap_Bon リモコン接続先", -1},
    {RemoconAddrEd, "RemoconAddrEd", ControlKind::Edit, 209, 8, 121, 20, L"", 0},
    {RemoconPortEd, "RemoconPortEd", ControlKind::Edit, 337, 8, 61, 20, L"", 1},
    {ServerLb, "ServerLb", ControlKind::Label, 17, 40, 185, 12, L"このパッチサーバーのリモコンポート", -1},
    {ServerPortEd, "ServerPortEd", ControlKind::Edit, 209, 36, 61, 20, L"", 2},
    {EpgDataCapBonCBox, "EpgDataCapBonCBox", ControlKind::CheckBox, 17, 68, 265, 17,
     L"必要に応じて EpgDataCap_Bon を自動起動する", 3},
    {EpgDataCapBonBtn, "EpgDataCapBonBtn", ControlKind::PushButton, 337, 68, 61, 21, L"参照...", 5},
    {EpgDataCapBonLb, "EpgDataCapBonLb", ControlKind::Label, 37, 92, 126, 12, L"EpgDataCap_Bon のパス", -1},
    {EpgDataCapBonEd, "EpgDataCapBonEd", ControlKind::Edit, 169, 88, 229, 20, L"", 4},
    {Bevel1, "Bevel1", ControlKind::Bevel, 17, 120, 381, 9, L"", -1},
    {MakeChannelBtn, "MakeChannelBtn", ControlKind::FlatButton, 45, 136, 153, 22, L"チャンネルファイルの作成", -1},
    {StartPatchServerSB, "StartPatchServerSB", ControlKind::FlatToggle, 217, 136, 153, 22, L"パッチサーバー開始", -1},
    // The status line, under the controls above: the server's state, the
    // current virtual channel and the link to EpgDataCap_Bon, then the last
    // failure with its time.
    {ServerStateLb, "ServerStateLb", ControlKind::StatusPane, 2, 170, 90, 19, L"停止中", -1},
    {ChannelLb, "ChannelLb", ControlKind::StatusPane, 94, 170, 120, 19, L"", -1},
    {UpstreamLb, "UpstreamLb", ControlKind::StatusPane, 216, 170, 197, 19, L"", -1},
    {LastFailureLb, "LastFailureLb", ControlKind::StatusPane, 2, 191, 411, 19, L"", -1},
}};

constexpr const ControlEntry* Find(int id)
{
    return FindControl(Controls, id);
}

// The caption of the box that shows the server's failure.
inline constexpr const wchar_t* ServerBoxCaption = L"パッチサーバー";

// The flat buttons' keys (they take no focus, so keys reach them this way)
// and their tooltips.
inline constexpr unsigned MakeChannelKey = 0x71;       // F2
inline constexpr unsigned StartPatchServerKey = 0x74;  // F5
inline constexpr const wchar_t* MakeChannelTip = L"チャンネルファイルの作成 (F2)";
inline constexpr const wchar_t* StartPatchServerTip = L"パッチサーバーの開始と停止 (F5)";
} // namespace MainFormLayout

// The tray icon's callback message (WM_USER + 100).
inline constexpr unsigned TrayIconCallbackMessage = 0x0400 + 100;
