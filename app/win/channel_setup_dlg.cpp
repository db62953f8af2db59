#include "app/win/channel_setup_dlg.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_model.h"
#include "app/win/cp932_edit.h"
#include "app/win/dpi.h"
#include "app/win/epgtimerbon_folder.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"
#include "app/win/main_form.h"
#include "app/win/win_text.h"
#include "app/win/window_object.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/integer_text.h"
#include "common/settings.h"

using namespace ChannelSetupLayout;

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME;
constexpr COLORREF Red = RGB(255, 0, 0);

// The scan thread's word that news waits (posted from that thread).
constexpr UINT ScanNewsMessage = WM_APP + 1;
// Sent to itself once shown: the activation that starts the scan.
constexpr UINT ActivateMessage = WM_APP + 2;

// How often the dialog takes the scan's news, sets the progress label and
// redraws the list while rows pour in, so that a thousand rows from a quick
// EpgDataCap_Bon do not cost a thousand repaints.
constexpr UINT NewsIntervalMs = 20;
constexpr UINT LabelIntervalMs = 30;
constexpr UINT ListRedrawIntervalMs = 250;

constexpr UINT_PTR UpDownTimer = 1;
constexpr UINT_PTR NewsTimer = 2;
constexpr UINT_PTR LabelTimer = 3;
constexpr UINT_PTR ListRedrawTimer = 4;

// The controls that do nothing while the scan fills the list.
constexpr int InertWhileScanning[] = {UpSB, DownSB, ChannelNameEd, ChannelRenameSB, Button1, CopyToEpgTimerBonCBox};

bool CheckedState(UINT state)
{
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void MessageBoxUtf8(HWND owner, const std::string& text, const char* caption, UINT icon)
{
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), icon | MB_OK);
}

} // namespace

void TChannelSetupDlg::RegisterClass(HINSTANCE instance)
{
    RegisterWindowClass(instance, WindowClass, WindowProc, false);
}

TChannelSetupDlg::TChannelSetupDlg(HINSTANCE instance, TMainForm& mainForm)
    : FInstance(instance), FMainForm(mainForm)
{
    FHandle = CreateWindowExW(DialogExStyle, WindowClass, Caption, DialogStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              ClientWidth, ClientHeight, mainForm.Handle(), nullptr, instance, this);
    if (!FHandle)
        throw std::runtime_error("cannot create the channel setup dialog");
    CreateControls();
}

TChannelSetupDlg::~TChannelSetupDlg()
{
    FScanThread.reset();
    FreeChannelRecords();
    if (FHandle)
        DestroyWindow(FHandle);
    if (FFont)
        DeleteObject(FFont);
    if (FScanFont)
        DeleteObject(FScanFont);
}

void TChannelSetupDlg::CreateControls()
{
    FDpi = WindowDpi(FHandle);
    CreateLayoutControls(FHandle, FInstance, Controls, FDpi);
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
}

void TChannelSetupDlg::ApplyDpi(UINT dpi)
{
    FDpi = dpi;
    const int d = static_cast<int>(dpi);
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
    for (const ControlEntry& c : Controls) {
        PlaceControl(FHandle, c, dpi);
        SendMessageW(Control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(c.id == ChannelScanLb ? FScanFont : FFont),
                     TRUE);
    }
    for (std::size_t i = 0; i < Columns.size(); ++i)
        SendMessageW(FList, LVM_SETCOLUMNWIDTH, i, Scale(Columns[i].width, d));
    FitCaptions(FHandle, Controls, ClientWidth, dpi);
    if (oldFont)
        DeleteObject(oldFont);
    if (oldScanFont)
        DeleteObject(oldScanFont);
    const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), DialogStyle, DialogExStyle, dpi);
    SetWindowPos(FHandle, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- opening and closing ----

bool TChannelSetupDlg::Execute()
{
    FModalResult = 0;
    FCloseRequested = false;
    FreeChannelRecords();
    SetNameField(std::string());
    ShowWindow(Control(ChannelScanLb), SW_HIDE);
    ShowWindow(Control(ChListSizeLb), SW_HIDE);
    // Ticked when the user said so, else when TVTest's folder is there.
    const std::wstring epgTimerBon = EpgTimerBonFolder();
    const DWORD attributes = epgTimerBon.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(epgTimerBon.c_str());
    const bool copy = FMainForm.CopyChSetToEpgTimerBon().value_or(attributes != INVALID_FILE_ATTRIBUTES &&
                                                                    (attributes & FILE_ATTRIBUTE_DIRECTORY));
    SendMessageW(Control(CopyToEpgTimerBonCBox), BM_SETCHECK, copy ? BST_CHECKED : BST_UNCHECKED, 0);
    SetScanning(true);

    const HWND owner = FMainForm.Handle();
    CentreOnScreen(FHandle);
    EnableWindow(owner, FALSE);
    ShowWindow(FHandle, SW_SHOW);
    SetForegroundWindow(FHandle);
    SetFocus(FList);
    PostMessageW(FHandle, ActivateMessage, 0, 0);
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (FModalResult == 0) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (!IsDialogMessageW(FHandle, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled before the dialog hides, so that it, not some
    // other program, becomes the active window again.
    EnableWindow(owner, TRUE);
    ShowWindow(FHandle, SW_HIDE);
    // Ends with the request in flight, when the program quits mid-scan.
    StopScan();
    FreeChannelRecords();
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return FModalResult != ModalResultNo;
}

void TChannelSetupDlg::CloseRequested()
{
    if (FScanThread) {
        FCloseRequested = true;
        FScanThread->Cancel();
        return;
    }
    FModalResult = ModalResultCancel;
}

// The rows and their records go together: the list items point at the records.
void TChannelSetupDlg::FreeChannelRecords()
{
    FUpdatingList = true;
    SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
    FUpdatingList = false;
    FModel.Clear();
    FSizeOverLimit = false;
}

// ---- the scan ----

void TChannelSetupDlg::FormActivate()
{
    if (FScanThread || FModalResult != 0)
        return;
    const std::string host = FMainForm.GetRemoconAddr();
    const auto port = static_cast<std::uint16_t>(IntegerTextOr(FMainForm.RemoconPortText(), DefaultRemoconPort));
    const HWND handle = FHandle;
    FScanThread = std::make_unique<TChannelScanThread>(host, port, FMainForm.MultiTuner(),
                                                       [handle] { PostMessageW(handle, ScanNewsMessage, 0, 0); });
    // Rows are drawn in batches while they pour in (RedrawList).
    SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
    SetTimer(FHandle, ListRedrawTimer, ListRedrawIntervalMs, nullptr);
    FScanThread->Start();
}

void TChannelSetupDlg::SetScanning(bool scanning)
{
    FScanning = scanning;
    for (int id : InertWhileScanning)
        EnableWindow(Control(id), !scanning);
}

void TChannelSetupDlg::TakeScanNews()
{
    if (!FScanThread)
        return;
    bool ended = false;
    ChannelScanOutcome outcome = ChannelScanOutcome::Completed;
    for (ChannelScanEvent& event : FScanThread->TakeEvents()) {
        switch (event.kind) {
        case ChannelScanEvent::Kind::Progress:
            FPendingProgress = std::move(event.text);
            FProgressPending = true;
            break;
        case ChannelScanEvent::Kind::Row:
            FModel.AddRow(event.row);
            AddListRow(FModel.Rows().back());
            break;
        case ChannelScanEvent::Kind::Ended:
            ended = true;
            outcome = event.outcome;
            break;
        }
    }
    if (ended) {
        ScanEnded(outcome);
        return;
    }
    if (FProgressPending) {
        const auto due = FLastLabel + std::chrono::milliseconds(LabelIntervalMs);
        if (Clock::now() >= due)
            ShowProgress();
        else if (!FLabelTimerSet)
            FLabelTimerSet = SetTimer(FHandle, LabelTimer, LabelIntervalMs, nullptr) != 0;
    }
}

void TChannelSetupDlg::ShowProgress()
{
    FProgressPending = false;
    if (!FScanThread)
        return;
    const HWND label = Control(ChannelScanLb);
    SetWindowTextW(label, WideFromUtf8(FPendingProgress).c_str());
    ShowWindow(label, SW_SHOWNA);
    UpdateWindow(label);
    FLastLabel = Clock::now();
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
        KillTimer(FHandle, timer);
    FNewsTimerSet = FLabelTimerSet = FProgressPending = false;
    RedrawList();
    ShowWindow(Control(ChannelScanLb), SW_HIDE);
    SetScanning(false);
}

void TChannelSetupDlg::ScanEnded(ChannelScanOutcome outcome)
{
    StopScan();
    if (outcome == ChannelScanOutcome::ConnectFailed) {
        MessageBoxUtf8(FHandle, RemoconConnectFailedText, ScanFailedCaption, MB_ICONERROR);
        FModalResult = ModalResultNo;
        return;
    }
    if (FCloseRequested || outcome == ChannelScanOutcome::Cancelled) {
        FModalResult = ModalResultCancel;
        return;
    }
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
    if (change.iItem < 0 || static_cast<std::size_t>(change.iItem) >= FModel.Size()) {
        SyncAllRowsFromList();
        return;
    }
    const auto row = static_cast<std::size_t>(change.iItem);
    const bool checked = CheckedState(change.uNewState);
    if (checked != FModel.Rows()[row].checked) {
        FModel.SetChecked(row, checked);
        SizeLabelChanged();
    }
    FModel.SetSelected(row, (change.uNewState & LVIS_SELECTED) != 0);
    SetNameField(FModel.NameFieldAfterChange(row));
}

// A change of every row at once (a select-all, for one).
void TChannelSetupDlg::SyncAllRowsFromList()
{
    for (std::size_t row = 0; row < FModel.Size(); ++row) {
        const auto state = static_cast<UINT>(
            SendMessageW(FList, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK | LVIS_SELECTED));
        FModel.SetChecked(row, CheckedState(state));
        FModel.SetSelected(row, (state & LVIS_SELECTED) != 0);
    }
    SetNameField(FModel.NameFieldAfterChange(0));
    SizeLabelChanged();
}

void TChannelSetupDlg::Move(ArrowButton button)
{
    if (FScanning || button == ArrowButton::None)
        return;
    if (button == ArrowButton::Up)
        FModel.MoveUp();
    else
        FModel.MoveDown();
    SendMessageW(FList, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(ChannelListViewCompare));
    // The moved rows stay in sight.
    const int first = static_cast<int>(SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (first >= 0)
        SendMessageW(FList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(first), FALSE);
    SizeLabelChanged();
}

void TChannelSetupDlg::UpDownSBMouseDown(ArrowButton button)
{
    if (FScanning)
        return;
    FRepeat.Press(button);
    SetTimer(FHandle, UpDownTimer, static_cast<UINT>(FRepeat.Interval()), nullptr);
}

void TChannelSetupDlg::UpDownSBMouseUp(bool overButton)
{
    KillTimer(FHandle, UpDownTimer);
    Move(FRepeat.Release(overButton));
}

void TChannelSetupDlg::UpDownTimerTimer()
{
    Move(FRepeat.Tick());
    if (FRepeat.Interval() > 0)
        SetTimer(FHandle, UpDownTimer, static_cast<UINT>(FRepeat.Interval()), nullptr);
    else
        KillTimer(FHandle, UpDownTimer);
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
    if (FScanning)
        return;
    FModel.RenameSelected(FName);
    FUpdatingList = true;
    for (std::size_t row = 0; row < FModel.Size(); ++row)
        if (FModel.Rows()[row].selected)
            SetRowName(static_cast<int>(row), FModel.Rows()[row].displayName);
    FUpdatingList = false;
    SizeLabelChanged();
}

void TChannelSetupDlg::SetNameField(const std::string& name)
{
    FName = name;
    FSettingName = true;
    SetWindowTextW(Control(ChannelNameEd), WideFromCp932(name).c_str());
    FSettingName = false;
}

// ---- creating the files ----

void TChannelSetupDlg::Button1Click()
{
    if (FScanning)
        return;
    std::string copyDir;
    if (SendMessageW(Control(CopyToEpgTimerBonCBox), BM_GETCHECK, 0, 0) == BST_CHECKED) {
        const std::wstring folder = EpgTimerBonFolder();
        const auto ansi = AnsiEpgTimerBonFolder(folder);
        if (!ansi) {
            const std::wstring copy = folder + WideFromUtf8(ChSetFilePath(""));
            MessageBoxW(FHandle,
                        (L"TVTest 用のコピー " + copy + L" を作成できません。チャンネルファイルはどれも変更していません。")
                            .c_str(),
                        Title().c_str(), MB_ICONSTOP | MB_OK);
            return;
        }
        copyDir = *ansi;
    }
    // Throws FileError naming the file that could not be written; none changed.
    FModel.CreateChannelFiles(ChannelFolderOf(ExecutablePath()), copyDir);
    if (const std::size_t size = FModel.ChListReplySize(); size > ViewerReceiveLimit)
        MessageBoxUtf8(FHandle, ChListTooLongText(size), ChannelSetupCaption, MB_ICONWARNING);
    MessageBoxUtf8(FHandle, ChannelFilesCreatedText, ChannelSetupCaption, MB_ICONINFORMATION);
}

void TChannelSetupDlg::CopyToEpgTimerBonCBoxClick()
{
    const bool checked = SendMessageW(Control(CopyToEpgTimerBonCBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (FScanning) {
        // Inert: a click that still arrives is undone.
        SendMessageW(Control(CopyToEpgTimerBonCBox), BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
        return;
    }
    FMainForm.SetCopyChSetToEpgTimerBon(checked);
}

// The size follows ticks and renames, at most every LabelIntervalMs.
void TChannelSetupDlg::SizeLabelChanged()
{
    if (FScanning || FLabelTimerSet)
        return;
    FLabelTimerSet = SetTimer(FHandle, LabelTimer, LabelIntervalMs, nullptr) != 0;
}

void TChannelSetupDlg::UpdateSizeLabel()
{
    const std::size_t size = FModel.ChListReplySize();
    FSizeOverLimit = size > ViewerReceiveLimit;
    SetWindowTextW(Control(ChListSizeLb), WideFromUtf8(ChListSizeText(size)).c_str());
    InvalidateRect(Control(ChListSizeLb), nullptr, TRUE);
}

// ---- messages ----

void TChannelSetupDlg::Timer(UINT_PTR id)
{
    switch (id) {
    case UpDownTimer:
        UpDownTimerTimer();
        break;
    case NewsTimer:
        KillTimer(FHandle, NewsTimer);
        FNewsTimerSet = false;
        TakeScanNews();
        break;
    case LabelTimer:
        KillTimer(FHandle, LabelTimer);
        FLabelTimerSet = false;
        if (FScanThread)
            ShowProgress();
        else if (IsWindowVisible(Control(ChListSizeLb)))
            UpdateSizeLabel();
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
            if (auto bytes = TakeCp932Text(Control(id), FName))
                FName = std::move(*bytes);
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
        CloseRequested();
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
        return FScanning && !FUpdatingList && (change.uChanged & LVIF_STATE) ? TRUE : FALSE;
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
    case WM_TIMER:
        Timer(wParam);
        return 0;
    case ScanNewsMessage:
        if (!FNewsTimerSet)
            FNewsTimerSet = SetTimer(FHandle, NewsTimer, NewsIntervalMs, nullptr) != 0;
        return 0;
    case ActivateMessage:
        FormActivate();
        return 0;
    case WM_DPICHANGED:
        ApplyDpi(HIWORD(wParam));
        MoveToSuggestedRect(FHandle, lParam);
        return 0;
    case WM_CLOSE:
        CloseRequested();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TChannelSetupDlg::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = WindowObject<TChannelSetupDlg, &TChannelSetupDlg::FHandle>(window, message, lParam);
    if (!dialog)
        return DefWindowProcW(window, message, wParam, lParam);
    return ShowingErrors(window, [&] { return dialog->HandleMessage(message, wParam, lParam); });
}
