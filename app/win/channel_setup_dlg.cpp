#include "app/win/channel_setup_dlg.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <vector>

#include "app/gui/app_text.h"
#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_model.h"
#include "app/win/cp932_edit.h"
#include "app/win/dpi.h"
#include "app/win/epgtimerbon_folder.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"
#include "app/win/win_text.h"
#include "channel/channel_files.h"
#include "common/file_io.h"

using namespace ChannelSetupLayout;

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME;
constexpr COLORREF Red = RGB(255, 0, 0);

// The scan thread's word that news waits (posted from that thread).
constexpr UINT ScanNewsMessage = WM_APP + 1;
// Sent to itself once shown: the activation that starts the scan.
constexpr UINT ActivateMessage = WM_APP + 2;

constexpr UINT_PTR UpDownTimer = 1;
constexpr UINT_PTR NewsTimer = 2;
constexpr UINT_PTR LabelTimer = 3;
constexpr UINT_PTR ListRedrawTimer = 4;

bool CheckedState(UINT state)
{
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

int MessageBoxUtf8(HWND owner, const std::string& text, const std::string& caption, UINT flags)
{
    return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), flags);
}

bool IsFolder(const std::wstring& folder)
{
    const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

TChannelSetupDlg::TChannelSetupDlg(HINSTANCE instance, HWND owner, Settings& settings)
    : FInstance(instance), FOwner(owner), FModel(settings)
{
    CreateHandle(DialogExStyle, WindowClass, Caption, DialogStyle, owner, instance);
    CreateControls();
}

TChannelSetupDlg::~TChannelSetupDlg()
{
    FScanThread.reset();
    FreeChannelRecords();
    const HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageW(FList, LVM_GETIMAGELIST, LVSIL_STATE, 0));
    DestroyWindow(Handle());
    if (images)
        ImageList_Destroy(images);
    if (FFont)
        DeleteObject(FFont);
    if (FScanFont)
        DeleteObject(FScanFont);
}

void TChannelSetupDlg::CreateControls()
{
    FDpi = WindowDpi(Handle());
    CreateLayoutControls(Handle(), FInstance, Controls, FDpi);
    FList = Control(ChannelListView);
    // Check boxes, several rows at once, whole rows; no in-place editing.
    SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(Columns[i].caption);
        column.cx = Columns[i].width;
        column.iSubItem = static_cast<int>(i);
        SendMessageW(FList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    for (int id : {UpSB, DownSB})
        SetWindowSubclass(Control(id), ArrowButtonProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    ShowWindow(Control(ChannelScanLb), SW_HIDE);
    ShowWindow(Control(ChListSizeLb), SW_HIDE);
    ApplyDpi(FDpi);
    const int d = static_cast<int>(FDpi);
    const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), DialogStyle, DialogExStyle, FDpi);
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TChannelSetupDlg::ApplyDpi(UINT dpi)
{
    FDpi = dpi;
    HFONT oldFont = FFont;
    HFONT oldScanFont = FScanFont;
    FFont = CreateLayoutFont(FontName, FontHeight, dpi);
    // The progress label: the layout font at its own height, bold.
    LOGFONTW bold{};
    HFONT plain = CreateLayoutFont(FontName, ScanLabelFontHeight, dpi);
    GetObjectW(plain, sizeof bold, &bold);
    DeleteObject(plain);
    bold.lfWeight = FW_BOLD;
    FScanFont = CreateFontIndirectW(&bold);
    for (const ControlEntry& c : Controls)
        SendMessageW(Control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(c.id == ChannelScanLb ? FScanFont : FFont),
                     TRUE);
    if (oldFont)
        DeleteObject(oldFont);
    if (oldScanFont)
        DeleteObject(oldScanFont);
    MakeCheckBoxImages();
    FitColumns();
    Layout();
}

void TChannelSetupDlg::Layout()
{
    if (!FList)
        return;
    RECT client;
    GetClientRect(Handle(), &client);
    const int d = static_cast<int>(FDpi);
    const int dx = std::max(0, static_cast<int>(client.right) - Scale(ClientWidth, d));
    const int dy = std::max(0, static_cast<int>(client.bottom) - Scale(ClientHeight, d));
    for (const ControlEntry& c : Controls)
        MoveControl(Handle(), c.id, PlaceResized(c.id, ScaledRect(c, FDpi), dx, dy));
    FitCaptions(Handle(), Controls, Scale(ClientWidth, d) + dx, FDpi);
}

// The rows' check boxes at the monitor's DPI: the list's own follow the
// system's DPI only.
void TChannelSetupDlg::MakeCheckBoxImages()
{
    const int d = static_cast<int>(FDpi);
    const int size = Scale(16, d);
    const int box = Scale(13, d);
    const HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0);
    const HTHEME theme = OpenThemeData(FList, L"BUTTON");
    const HDC screen = GetDC(FList);
    const HDC dc = CreateCompatibleDC(screen);
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    for (const bool checked : {false, true}) {
        const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        const HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, size, size};
        const HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        RECT r{(size - box) / 2, (size - box) / 2, (size - box) / 2 + box, (size - box) / 2 + box};
        if (theme)
            DrawThemeBackground(theme, dc, BP_CHECKBOX, checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL, &r, nullptr);
        else
            DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONCHECK | (checked ? DFCS_CHECKED : 0));
        SelectObject(dc, old);
        ImageList_AddMasked(images, bitmap, background);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(FList, screen);
    if (theme)
        CloseThemeData(theme);
    const auto previous =
        reinterpret_cast<HIMAGELIST>(SendMessageW(FList, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images)));
    if (previous)
        ImageList_Destroy(previous);
}

// Wide enough for what the rows hold, so that two tuners' rows never look
// the same, and never narrower than the design.
void TChannelSetupDlg::FitColumns()
{
    const bool rows = SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0) > 0;
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        const int least = Scale(Columns[i].width, static_cast<int>(FDpi));
        if (rows)
            SendMessageW(FList, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE);
        const int width = rows ? static_cast<int>(SendMessageW(FList, LVM_GETCOLUMNWIDTH, i, 0)) : 0;
        SendMessageW(FList, LVM_SETCOLUMNWIDTH, i, std::max(width, least));
    }
}

// ---- opening and closing ----

bool TChannelSetupDlg::Execute()
{
    FreeChannelRecords();
    FModel.Open(IsFolder(EpgTimerBonFolder()));
    SetNameField(std::string());
    ShowWindow(Control(ChannelScanLb), SW_HIDE);
    ShowWindow(Control(ChListSizeLb), SW_HIDE);
    SendMessageW(Control(CopyToEpgTimerBonCBox), BM_SETCHECK, FModel.CopyBoxChecked() ? BST_CHECKED : BST_UNCHECKED,
                 0);
    FitColumns();
    ShowInert();

    // Over the owner, on its monitor, at that monitor's DPI.
    CentreOver(Handle(), FOwner);
    if (const UINT dpi = WindowDpi(Handle()); dpi != FDpi) {
        ApplyDpi(dpi);
        const int d = static_cast<int>(dpi);
        const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), DialogStyle, DialogExStyle, dpi);
        SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        CentreOver(Handle(), FOwner);
    }
    EnableWindow(FOwner, FALSE);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    SetFocus(FList);
    PostMessageW(Handle(), ActivateMessage, 0, 0);
    const std::optional<int> quit = RunMessages([this] { return FModel.ModalResult() != 0; }, this);
    // The owner is enabled before the dialog hides, so that it, not some
    // other program, becomes the active window again.
    EnableWindow(FOwner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    StopScan();
    FreeChannelRecords();
    if (quit)
        PostQuitMessage(*quit);
    return FModel.ModalResult() != CChannelSetupModel::ModalResultNo;
}

// The rows and their records go together: the list items point at the records.
void TChannelSetupDlg::FreeChannelRecords()
{
    FUpdatingList = true;
    SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
    FUpdatingList = false;
    FModel.ReleaseRows();
    FSizeOverLimit = false;
}

// ---- the scan ----

void TChannelSetupDlg::FormActivate()
{
    if (FScanThread || !FModel.Scanning())
        return;
    const HWND handle = Handle();
    FScanThread = std::make_unique<TChannelScanThread>(FModel.Host(), FModel.Port(), FModel.MultiTuner(),
                                                       [handle] { PostMessageW(handle, ScanNewsMessage, 0, 0); });
    // Rows are drawn in batches while they pour in (RedrawList).
    SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
    SetTimer(Handle(), ListRedrawTimer, CChannelSetupModel::ListRedrawIntervalMs, nullptr);
    FScanThread->Start();
}

void TChannelSetupDlg::ShowInert()
{
    for (const ControlEntry& c : Controls)
        EnableWindow(Control(c.id), !FModel.Inert(c.id));
}

void TChannelSetupDlg::TakeScanNews()
{
    if (!FScanThread)
        return;
    for (ChannelScanEvent& event : FScanThread->TakeEvents()) {
        switch (event.kind) {
        case ChannelScanEvent::Kind::Progress:
            if (auto text = FModel.Progress(std::move(event.text), CChannelSetupModel::Clock::now()))
                ShowProgress(*text);
            else if (!FLabelTimerSet)
                FLabelTimerSet = SetTimer(Handle(), LabelTimer, CChannelSetupModel::LabelIntervalMs, nullptr) != 0;
            break;
        case ChannelScanEvent::Kind::Row:
            FModel.RowFound(event.row);
            AddListRow(FModel.List().Rows().back());
            break;
        case ChannelScanEvent::Kind::Ended:
            ScanEnded(event.outcome, event.text);
            return;
        }
    }
}

void TChannelSetupDlg::ShowProgress(const std::string& text)
{
    const HWND label = Control(ChannelScanLb);
    SetWindowTextW(label, WideFromUtf8(text).c_str());
    ShowWindow(label, SW_SHOWNA);
    UpdateWindow(label);
}

void TChannelSetupDlg::RedrawList()
{
    SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
    UpdateWindow(FList);
    if (FScanThread)
        SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
}

void TChannelSetupDlg::StopScan()
{
    FScanThread.reset();
    for (UINT_PTR timer : {NewsTimer, LabelTimer, ListRedrawTimer})
        KillTimer(Handle(), timer);
    FNewsTimerSet = FLabelTimerSet = false;
    RedrawList();
    ShowWindow(Control(ChannelScanLb), SW_HIDE);
    ShowInert();
}

void TChannelSetupDlg::ScanEnded(ChannelScanOutcome outcome, const std::string& reason)
{
    const std::optional<std::string> box = FModel.ScanEnded(outcome, reason);
    StopScan();
    if (box) {
        MessageBoxUtf8(Handle(), *box, ScanFailedCaption, MB_ICONERROR | MB_OK);
        return;
    }
    if (FModel.ModalResult() != 0)
        return;
    FitColumns();
    UpdateSizeLabel();
    ShowWindow(Control(ChListSizeLb), SW_SHOWNA);
}

// ---- the list ----

void TChannelSetupDlg::AddListRow(const ChannelRow& row)
{
    const std::wstring name = WideFromCp932(row.displayName);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(name.c_str());
    item.lParam = reinterpret_cast<LPARAM>(row.alias.get());
    FUpdatingList = true;
    const int at = static_cast<int>(SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    const std::string* columns[] = {&row.alias->bn.name, &row.alias->spc.name, &row.alias->ch.name};
    for (int i = 0; i < 3; ++i) {
        const std::wstring text = WideFromCp932(*columns[i]);
        LVITEMW sub{};
        sub.iSubItem = i + 1;
        sub.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(FList, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
    }
    FUpdatingList = false;
}

void TChannelSetupDlg::SetRowName(int row, const std::string& name)
{
    const std::wstring text = WideFromCp932(name);
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(FList, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int CALLBACK TChannelSetupDlg::ChannelListViewCompare(LPARAM a, LPARAM b, LPARAM)
{
    // Each item carries its row's record; the order is the model's.
    const auto* first = reinterpret_cast<const BON_ALIAS*>(a);
    const auto* second = reinterpret_cast<const BON_ALIAS*>(b);
    if (first && second)
        return first->index - second->index;
    return first ? -1 : (second ? 1 : 0);
}

void TChannelSetupDlg::ChannelListViewChange(const NMLISTVIEW& change)
{
    if (FUpdatingList || !(change.uChanged & LVIF_STATE))
        return;
    if (change.iItem < 0 || static_cast<std::size_t>(change.iItem) >= FModel.List().Size()) {
        SyncAllRowsFromList();
        return;
    }
    SetNameField(FModel.RowChanged(static_cast<std::size_t>(change.iItem), CheckedState(change.uNewState),
                                   (change.uNewState & LVIS_SELECTED) != 0));
    SizeLabelChanged();
}

// A change of every row at once (a select-all, for one).
void TChannelSetupDlg::SyncAllRowsFromList()
{
    std::string name;
    for (std::size_t row = FModel.List().Size(); row-- > 0;) {
        const auto state = static_cast<UINT>(
            SendMessageW(FList, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK | LVIS_SELECTED));
        name = FModel.RowChanged(row, CheckedState(state), (state & LVIS_SELECTED) != 0);
    }
    SetNameField(name);
    SizeLabelChanged();
}

void TChannelSetupDlg::Move(ArrowButton button)
{
    if (!FModel.Move(button))
        return;
    SendMessageW(FList, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(ChannelListViewCompare));
    // The moved rows stay in sight.
    const int first = static_cast<int>(SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (first >= 0)
        SendMessageW(FList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(first), FALSE);
    SizeLabelChanged();
}

void TChannelSetupDlg::UpDownSBMouseDown(ArrowButton button)
{
    if (FModel.Inert(UpSB))
        return;
    FRepeat.Press(button);
    SetTimer(Handle(), UpDownTimer, static_cast<UINT>(FRepeat.Interval()), nullptr);
}

void TChannelSetupDlg::UpDownSBMouseUp(bool overButton)
{
    KillTimer(Handle(), UpDownTimer);
    Move(FRepeat.Release(overButton));
}

void TChannelSetupDlg::UpDownTimerTimer()
{
    Move(FRepeat.Tick());
    if (FRepeat.Interval() > 0)
        SetTimer(Handle(), UpDownTimer, static_cast<UINT>(FRepeat.Interval()), nullptr);
    else
        KillTimer(Handle(), UpDownTimer);
}

LRESULT CALLBACK TChannelSetupDlg::ArrowButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam,
                                                   UINT_PTR id, DWORD_PTR data)
{
    auto* dialog = reinterpret_cast<TChannelSetupDlg*>(data);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (IsWindowEnabled(button))
            dialog->UpDownSBMouseDown(id == UpSB ? ArrowButton::Up : ArrowButton::Down);
        break;
    case WM_LBUTTONUP: {
        if (dialog->FRepeat.Held() == ArrowButton::None)
            break;
        // Before the button lets go of the mouse, which would end the hold
        // as a release elsewhere.
        dialog->UpDownSBMouseUp((SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0);
        // The button's own click notice for this release is the move just
        // made: it is not made twice.
        dialog->FSwallowClick = true;
        const LRESULT result = DefSubclassProc(button, message, wParam, lParam);
        dialog->FSwallowClick = false;
        return result;
    }
    case WM_CAPTURECHANGED:
        if (dialog->FRepeat.Held() != ArrowButton::None && reinterpret_cast<HWND>(lParam) != button)
            dialog->UpDownSBMouseUp(false);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(button, ArrowButtonProc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

void TChannelSetupDlg::ChannelRenameSBClick()
{
    if (FModel.Inert(ChannelRenameSB))
        return;
    if (const auto note = FModel.Rename()) {
        // Refused as a character outside code page 932 is: a note on the
        // field, a box where no balloon can show.
        const HWND edit = Control(ChannelNameEd);
        const std::wstring text = WideFromUtf8(*note);
        MessageBeep(MB_ICONWARNING);
        EDITBALLOONTIP tip{sizeof tip, RefusedNameTitle, text.c_str(), TTI_WARNING};
        if (!SendMessageW(edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip)))
            MessageBoxW(Handle(), text.c_str(), RefusedNameTitle, MB_ICONWARNING | MB_OK);
        return;
    }
    FUpdatingList = true;
    for (std::size_t row = 0; row < FModel.List().Size(); ++row)
        if (FModel.List().Rows()[row].selected)
            SetRowName(static_cast<int>(row), FModel.List().Rows()[row].displayName);
    FUpdatingList = false;
    SizeLabelChanged();
}

void TChannelSetupDlg::SetNameField(const std::string& name)
{
    FModel.SetNameField(name);
    FSettingName = true;
    SetWindowTextW(Control(ChannelNameEd), WideFromCp932(name).c_str());
    FSettingName = false;
}

// ---- creating the files ----

void TChannelSetupDlg::Button1Click()
{
    if (FModel.Inert(Button1))
        return;
    const std::wstring folder = EpgTimerBonFolder();
    const std::string copyFolder = FModel.CopyBoxChecked() ? Utf8FromWide(folder) : std::string();
    const CChannelSetupModel::CreateCheck check = FModel.BeforeCreate(copyFolder);
    if (check.kind == CChannelSetupModel::CreateCheck::Kind::Refuse) {
        MessageBoxW(Handle(), WideFromUtf8(check.text).c_str(), Title().c_str(), MB_ICONSTOP | MB_OK);
        return;
    }
    if (check.kind == CChannelSetupModel::CreateCheck::Kind::Ask &&
        MessageBoxUtf8(Handle(), check.text, ChannelSetupCaption, MB_ICONWARNING | MB_YESNO) != IDYES)
        return;
    // Throws FileError naming the file that could not be written; none changed.
    const std::string done = FModel.Create(ChannelFolderOf(ExecutablePath()), copyFolder);
    MessageBoxUtf8(Handle(), done, ChannelSetupCaption, MB_ICONINFORMATION | MB_OK);
}

void TChannelSetupDlg::CopyToEpgTimerBonCBoxClick()
{
    const HWND box = Control(CopyToEpgTimerBonCBox);
    FModel.SetCopyBox(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED);
    // Inert while scanning: a click that still arrives is undone.
    SendMessageW(box, BM_SETCHECK, FModel.CopyBoxChecked() ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The size follows ticks and renames, at most every LabelIntervalMs.
void TChannelSetupDlg::SizeLabelChanged()
{
    if (FModel.Scanning() || FLabelTimerSet)
        return;
    FLabelTimerSet = SetTimer(Handle(), LabelTimer, CChannelSetupModel::LabelIntervalMs, nullptr) != 0;
}

void TChannelSetupDlg::UpdateSizeLabel()
{
    FSizeOverLimit = FModel.SizeOverLimit();
    SetWindowTextW(Control(ChListSizeLb), WideFromUtf8(FModel.SizeLabel()).c_str());
    InvalidateRect(Control(ChListSizeLb), nullptr, TRUE);
}

// ---- messages ----

bool TChannelSetupDlg::TakeKeys(MSG& msg)
{
    if (msg.hwnd == Handle() || IsChild(Handle(), msg.hwnd)) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == Control(ChannelNameEd) &&
            FModel.EnterRenames()) {
            ChannelRenameSBClick();
            return true;
        }
        if (msg.message == WM_SYSKEYDOWN && (msg.wParam == VK_UP || msg.wParam == VK_DOWN)) {
            Move(msg.wParam == VK_UP ? ArrowButton::Up : ArrowButton::Down);
            return true;
        }
    }
    return IsDialogMessageW(Handle(), &msg);
}

void TChannelSetupDlg::Timer(UINT_PTR id)
{
    switch (id) {
    case UpDownTimer:
        UpDownTimerTimer();
        break;
    case NewsTimer:
        KillTimer(Handle(), NewsTimer);
        FNewsTimerSet = false;
        TakeScanNews();
        break;
    case LabelTimer:
        KillTimer(Handle(), LabelTimer);
        FLabelTimerSet = false;
        if (FScanThread) {
            if (auto text = FModel.PendingProgress(CChannelSetupModel::Clock::now()))
                ShowProgress(*text);
        } else if (IsWindowVisible(Control(ChListSizeLb))) {
            UpdateSizeLabel();
        }
        break;
    case ListRedrawTimer:
        RedrawList();
        break;
    default:
        break;
    }
}

void TChannelSetupDlg::Command(int id, int code)
{
    if (id == ChannelNameEd) {
        if (code == EN_CHANGE && !FSettingName) {
            if (auto bytes = TakeCp932Text(Control(id), FModel.NameField()))
                FModel.SetNameField(std::move(*bytes));
        }
        return;
    }
    if (code != BN_CLICKED)
        return;
    // Under some systems a click reaches a disabled button; the handlers
    // refuse it themselves while the scan runs.
    switch (id) {
    case UpSB:
    case DownSB:
        if (!FSwallowClick)
            Move(id == UpSB ? ArrowButton::Up : ArrowButton::Down);
        break;
    case ChannelRenameSB:
        ChannelRenameSBClick();
        break;
    case Button1:
        Button1Click();
        break;
    case Button2:
        FModel.CloseRequested();
        break;
    case CopyToEpgTimerBonCBox:
        CopyToEpgTimerBonCBoxClick();
        break;
    default:
        break;
    }
}

LRESULT TChannelSetupDlg::Notify(const NMHDR& header)
{
    if (header.hwndFrom != FList)
        return 0;
    switch (header.code) {
    case LVN_ITEMCHANGING: {
        // While the scan fills the list its rows take no ticks or selection.
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        return FModel.Scanning() && !FUpdatingList && (change.uChanged & LVIF_STATE) ? TRUE : FALSE;
    }
    case LVN_ITEMCHANGED:
        ChannelListViewChange(reinterpret_cast<const NMLISTVIEW&>(header));
        return 0;
    default:
        return 0;
    }
}

LRESULT TChannelSetupDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case DM_GETDEFID:
        return MAKELRESULT(Button1, DC_HASDEFID);
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id != ChannelScanLb && id != ChListSizeLb)
            break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, id == ChannelScanLb || FSizeOverLimit ? Red : GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_GETMINMAXINFO: {
        // The design's size is the smallest.
        const int d = static_cast<int>(FDpi);
        const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), DialogStyle, DialogExStyle, FDpi);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
        return 0;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_TIMER:
        Timer(wParam);
        return 0;
    case ScanNewsMessage:
        if (!FNewsTimerSet)
            FNewsTimerSet = SetTimer(Handle(), NewsTimer, CChannelSetupModel::NewsIntervalMs, nullptr) != 0;
        return 0;
    case ActivateMessage:
        FormActivate();
        return 0;
    case WM_CLOSE:
        FModel.CloseRequested();
        return 0;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}
