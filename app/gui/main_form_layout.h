#pragma once
// The main window as it is laid out at 96 dpi: one table that the window
// builds its controls from and that the GUI test program finds them by.
#include <array>

enum class ControlKind {
    Label,
    Edit,
    CheckBox,
    PushButton,
    Bevel,       // a horizontal line
    FlatButton,  // a flat button that never takes the focus
    FlatToggle,  // the same, staying down when pressed until pressed again
};

struct ControlSpec {
    int id;
    const char* name;
    ControlKind kind;
    int left, top, width, height;
    const wchar_t* caption;
    int tabOrder;  // -1: not a tab stop
};

namespace MainFormLayout {

inline constexpr const wchar_t* WindowClass = L"TMainForm";
inline constexpr const wchar_t* Caption = L"Vernwick 0.3";
inline constexpr int ClientWidth = 415;
inline constexpr int ClientHeight = 167;
inline constexpr const wchar_t* FontName = L"ＭＳ Ｐゴシック";
inline constexpr int FontHeight = 12;
// The pixels above are at this resolution and scale with the monitor's.
inline constexpr int DesignDpi = 96;

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
};

inline constexpr std::array<ControlSpec, 12> Controls = {{
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
}};

constexpr const ControlSpec* Find(int id)
{
    for (const ControlSpec& c : Controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

// The caption of the box that shows the server's failure.
inline constexpr const wchar_t* ServerBoxCaption = L"パッチサーバー";
// What a field says when a character without a code page 932 form is typed
// or pasted into it (the character is not taken).
inline constexpr const wchar_t* RefusedCharacterTitle = L"使えない文字です";
inline constexpr const wchar_t* RefusedCharacterText =
    L"この文字は Shift_JIS (コードページ 932) で表せないため、設定に使えません。";

// 96-dpi pixels at another resolution, rounded to the nearest pixel.
constexpr int Scale(int pixels, int dpi)
{
    return (pixels * dpi + DesignDpi / 2) / DesignDpi;
}

} // namespace MainFormLayout

// The tray icon's callback message (WM_USER + 100).
inline constexpr unsigned TrayIconCallbackMessage = 0x0400 + 100;
