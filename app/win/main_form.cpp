#include "app/win/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "app/gui/main_form_layout.h"
#include "app/gui/startup_switches.h"
#include "app/win/application_window.h"
#include "app/win/channel_setup_dlg.h"
#include "app/win/cp932_edit.h"
#include "app/win/dpi.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"
#include "app/win/win_text.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/thread_base.h"
#include "net/socket.h"
#include "server/patch_server.h"

using namespace MainFormLayout;

// The server's events, posted by its threads and taken on the window's.
struct ServerNewsQueue {
    struct News {
        ServerEvent event;
        std::string detail;
        ClockTime at;
    };
    std::mutex mutex;
    std::vector<News> news;

    // True when nothing was waiting, so that one message announces a batch.
    bool Push(News item)
    {
        std::lock_guard<std::mutex> guard(mutex);
        news.push_back(std::move(item));
        return news.size() == 1;
    }
    std::vector<News> Take()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return std::exchange(news, {});
    }
};

namespace {

constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT_PTR StartupTimer = 1;
constexpr UINT_PTR TrayRetryTimer = 2;
// A call that a server thread waits to have run on this thread.
constexpr UINT MainThreadCallMessage = WM_APP + 1;
// The server's news waits in FNews.
constexpr UINT ServerNewsMessage = WM_APP + 2;
constexpr UINT TrayIconId = 1;
constexpr int StatusPanes[] = {ServerStateLb, ChannelLb, UpstreamLb, LastFailureLb};

int SystemColourIndex(SystemColour c)
{
    switch (c) {
    case SystemColour::Window: return COLOR_WINDOW;
    case SystemColour::WindowText: return COLOR_WINDOWTEXT;
    case SystemColour::ButtonFace: return COLOR_BTNFACE;
    case SystemColour::ButtonText: return COLOR_BTNTEXT;
    }
    return COLOR_WINDOW;
}

bool IsEdit(int id)
{
    const ControlEntry* entry = Find(id);
    return entry && entry->kind == ControlKind::Edit;
}

ClockTime Now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wHour, t.wMinute, t.wSecond};
}

} // namespace

TMainForm::TMainForm(HINSTANCE instance, TApplicationWindow& application, std::vector<std::wstring> arguments)
    : FInstance(instance), FApplication(application), FArguments(std::move(arguments)),
      FNews(std::make_shared<ServerNewsQueue>())
{
    FExePath = ExecutablePath();
    FIniPath = SettingsPathFor(FExePath);
    CreateHandle(0, WindowClass, Caption, WindowStyle, application.Handle(), instance);
    CreateControls();
    SocketStartup();
    // The three control-less fields hold their defaults from the model's
    // construction; the file replaces them.
    LoadSettings();
    FTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    const HWND handle = Handle();
    MainThreadCalls::SetNotifier([handle] { PostMessageW(handle, MainThreadCallMessage, 0, 0); });
}

TMainForm::~TMainForm()
{
    std::wstring saveError;
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        saveError = ErrorText(error);
    }
    if (FPatchServer) {
        // The server skips its report now; calls it makes all the same are
        // still run while waiting.
        MainThreadCalls::SetQuitting(true);
        FPatchServer->Terminate();
        WaitForServer();
        FPatchServer.reset();
    }
    MainThreadCalls::SetNotifier({});
    if (FInTray)
        RemoveTrayIcon();
    DestroyWindow(Handle());
    if (FFont)
        DeleteObject(FFont);
    SocketCleanup();
    // Shown after the window has gone, owned by nothing, so that it stays
    // until the user has read it.
    if (!saveError.empty())
        ShowErrorBox(nullptr, saveError, MB_SETFOREGROUND | MB_TOPMOST);
}

void TMainForm::Show(int showCommand)
{
    CentreOver(Handle(), nullptr);
    ShowWindow(Handle(), showCommand);
    UpdateWindow(Handle());
    SetFocus(Control(RemoconAddrEd));
    SetTimer(Handle(), StartupTimer, 1, nullptr);
}

void TMainForm::CreateControls()
{
    FDpi = WindowDpi(Handle());
    CreateLayoutControls(Handle(), FInstance, Controls, FDpi);
    CreateTooltips();
    ApplyDpi(FDpi);
}

void TMainForm::CreateTooltips()
{
    FTooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                               0, 0, Handle(), nullptr, FInstance, nullptr);
    // Wide enough for the longest failure, in lines.
    SendMessageW(FTooltip, TTM_SETMAXTIPWIDTH, 0, 480);
    const std::pair<int, const wchar_t*> tools[] = {{MakeChannelBtn, MakeChannelTip},
                                                    {StartPatchServerSB, StartPatchServerTip},
                                                    {ServerStateLb, L""},
                                                    {ChannelLb, L""},
                                                    {UpstreamLb, L""},
                                                    {LastFailureLb, L""}};
    for (const auto& [id, text] : tools) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(Control(id));
        tool.lpszText = const_cast<wchar_t*>(text);
        SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void TMainForm::ApplyDpi(UINT dpi)
{
    FDpi = dpi;
    HFONT old = FFont;
    FFont = CreateLayoutFont(FontName, FontHeight, dpi);
    for (const ControlEntry& c : Controls) {
        PlaceControl(Handle(), c, dpi);
        SendMessageW(Control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
    }
    const int d = static_cast<int>(dpi);
    FitCaptions(Handle(), Controls, Scale(ClientWidth, d), dpi);
    if (old)
        DeleteObject(old);
    const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), WindowStyle, 0, dpi);
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (FTrayIconShown) {
        // The tray icon at the new size.
        const HICON previous = FTrayIcon.hIcon;
        FTrayIcon.hIcon = LoadSmallIcon(FInstance, dpi);
        FTrayIcon.uFlags = NIF_ICON;
        Shell_NotifyIconW(NIM_MODIFY, &FTrayIcon);
        if (previous)
            DestroyIcon(previous);
    }
}

// ---- settings ----

void TMainForm::LoadSettings()
{
    FModel.Load(FIniPath);
    PutSettingsIntoControls();
}

void TMainForm::SaveSettings()
{
    FModel.Save(FIniPath);
}

void TMainForm::PutSettingsIntoControls()
{
    FSettingText = true;
    SetWindowTextW(Control(RemoconAddrEd), WideFromCp932(FModel.settings.RemoconAddr).c_str());
    SetWindowTextW(Control(RemoconPortEd), WideFromCp932(FModel.settings.RemoconPort).c_str());
    SetWindowTextW(Control(ServerPortEd), WideFromCp932(FModel.settings.ServerPort).c_str());
    SendMessageW(Control(EpgDataCapBonCBox), BM_SETCHECK,
                 FModel.settings.EpgDataCapBonAutoLaunch ? BST_CHECKED : BST_UNCHECKED, 0);
    SetWindowTextW(Control(EpgDataCapBonEd), WideFromCp932(FModel.settings.EpgDataCapBonExePath).c_str());
    FSettingText = false;
    EpgDataCapBonCBoxClick();
    for (int id : {RemoconAddrEd, RemoconPortEd, ServerPortEd, EpgDataCapBonEd})
        SendMessageW(Control(id), EM_SETSEL, 0, -1);
}

std::string* TMainForm::FieldOf(int id)
{
    switch (id) {
    case RemoconAddrEd: return &FModel.settings.RemoconAddr;
    case RemoconPortEd: return &FModel.settings.RemoconPort;
    case ServerPortEd: return &FModel.settings.ServerPort;
    case EpgDataCapBonEd: return &FModel.settings.EpgDataCapBonExePath;
    default: return nullptr;
    }
}

void TMainForm::EditChanged(int id)
{
    std::string* field = FieldOf(id);
    if (FSettingText || !field)
        return;
    if (auto bytes = TakeCp932Text(Control(id), *field))
        *field = std::move(*bytes);
}

// ---- enabling ----

void TMainForm::EpgDataCapBonCBoxClick()
{
    SetControlsEnabled();
}

void TMainForm::SetControlsEnabled()
{
    RememberFocus();
    for (const ControlEntry& c : Controls) {
        const HWND control = Control(c.id);
        const bool enabled = FModel.Enabled(c.id);
        if (static_cast<bool>(IsWindowEnabled(control)) != enabled) {
            EnableWindow(control, enabled);
            if (c.kind == ControlKind::Edit)
                InvalidateRect(control, nullptr, TRUE);
        }
    }
    SendMessageW(Control(StartPatchServerSB), BM_SETCHECK, FModel.ButtonDown() ? BST_CHECKED : BST_UNCHECKED, 0);
    // A control that lost the focus by being disabled leaves it nowhere, and
    // F2 and F5 with it; one enabled again gets it back.
    const HWND focus = GetFocus();
    if (GetActiveWindow() == Handle() && (!focus || focus == Handle() || !IsWindowEnabled(focus)))
        RestoreFocus();
}

// ---- buttons ----

void TMainForm::EpgDataCapBonBtnClick()
{
    const std::wstring current = WideFromCp932(FModel.settings.EpgDataCapBonExePath);
    std::vector<wchar_t> file(8192, L'\0');
    const DWORD attributes = current.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(current.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        current.size() < file.size())
        std::copy(current.begin(), current.end(), file.begin());
    static const wchar_t filter[] = L"EpgDataCap_Bon.exe(EpgDataCap_Bon.exe)\0EpgDataCap_Bon.exe\0"
                                    L"実行ファイル(*.exe)\0*.exe\0"
                                    L"すべてのファイル(*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Handle();
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = L"EpgDataCap_Bon.exe の選択";
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn))
        return;
    const HWND edit = Control(EpgDataCapBonEd);
    SetWindowTextW(edit, file.data());  // a path without a code page 932 form is refused there
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
}

void TMainForm::MakeChannelBtnClick()
{
    if (FChannelSetupDlg)
        FChannelSetupDlg->Execute();
}

void TMainForm::StartPatchServerSBClick()
{
    const ServerAction action = FModel.Press();
    if (action == ServerAction::Start) {
        try {
            FPatchServer.reset();
            // The server's threads post their news; this thread shows it.
            const std::shared_ptr<ServerNewsQueue> news = FNews;
            const HWND handle = Handle();
            FPatchServer = StartPatchServer(
                FModel.settings, ChannelFolderOf(FExePath),
                [news, handle](ServerEvent event, const std::string& detail) {
                    if (news->Push({event, detail, Now()}))
                        PostMessageW(handle, ServerNewsMessage, 0, 0);
                },
                [this] { ServerFinished(); });
            // Before any news is taken: the news arrives as posted messages.
            FStatus.Started(FPatchServer->Channels());
            FModel.StartSucceeded();
        } catch (const std::exception& error) {
            FModel.StartFailed();
            SetControlsEnabled();
            Failed(ErrorText(error, false));
            throw;
        }
    } else if (action == ServerAction::Stop && FPatchServer) {
        FPatchServer->Terminate();
    }
    SetControlsEnabled();
    ShowStatus();
}

void TMainForm::ServerFinished()
{
    TakeServerNews();
    if (FPatchServer && !FPatchServer->FSucceeded) {
        const std::wstring text = WideFromUtf8(FPatchServer->FErrorMessage);
        Failed(text);
        MessageBoxW(Handle(), text.c_str(), ServerBoxCaption, MB_ICONERROR | MB_OK);
    }
    FModel.Finished();
    FStatus.Stopped();
    SetControlsEnabled();
    ShowStatus();
}

void TMainForm::WaitForServer()
{
    std::optional<int> quit;
    while (!FPatchServer->Finished()) {
        if (const auto code = RunMessages([this] { return FPatchServer->Finished(); }, nullptr, 20))
            quit = code;
    }
    FPatchServer->WaitFor();
    if (quit)
        PostQuitMessage(*quit);
}

// ---- the status line ----

void TMainForm::TakeServerNews()
{
    for (const ServerNewsQueue::News& news : FNews->Take())
        FStatus.Event(news.event, news.detail, news.at);
    ShowStatus();
}

void TMainForm::Failed(const std::wstring& text)
{
    FStatus.Failed(Utf8FromWide(text), Now());
    ShowStatus();
}

void TMainForm::ShowStatus()
{
    const std::string texts[] = {FStatus.StateText(), FStatus.ChannelText(), FStatus.UpstreamText(),
                                 FStatus.FailureText()};
    for (std::size_t i = 0; i < std::size(StatusPanes); ++i) {
        const HWND pane = Control(StatusPanes[i]);
        const std::wstring text = WideFromUtf8(texts[i]);
        if (WindowTextOf(pane) == text)
            continue;
        SetWindowTextW(pane, text.c_str());
        // The pane's tooltip shows what an ellipsis hides.
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(pane);
        tool.lpszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(FTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    if (FTrayIconShown) {
        const std::wstring tip = WideFromUtf8(FStatus.TrayTip(Utf8FromWide(Title())));
        if (tip != FTrayIcon.szTip) {
            lstrcpynW(FTrayIcon.szTip, tip.c_str(), static_cast<int>(std::size(FTrayIcon.szTip)));
            FTrayIcon.uFlags = NIF_TIP;
            Shell_NotifyIconW(NIM_MODIFY, &FTrayIcon);
        }
    }
}

// ---- start-up switches and the tray ----

void TMainForm::StartupTimerTimer()
{
    KillTimer(Handle(), StartupTimer);
    const StartupSwitches switches = ParseStartupSwitches(FArguments);
    if (switches.minimize) {
        ShowWindow(Handle(), SW_MINIMIZE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (switches.startServer) {
        SendMessageW(Control(StartPatchServerSB), BM_SETCHECK, BST_CHECKED, 0);
        StartPatchServerSBClick();
    }
}

void TMainForm::ApplicationEventsMinimize()
{
    if (FInTray)
        return;
    FInTray = true;
    FTrayRetry.Succeeded();
    ShowWindow(Handle(), SW_HIDE);
    FApplication.ShowTaskbarButton(false);
    AddTrayIcon();
}

// Also after Explorer has restarted ("TaskbarCreated"), which forgets every
// icon, and on the retry timer: a window hidden without its icon could only
// be ended by force, losing its settings.
void TMainForm::AddTrayIcon()
{
    KillTimer(Handle(), TrayRetryTimer);
    if (!FInTray)
        return;
    if (!FTrayIcon.hIcon)
        FTrayIcon.hIcon = LoadSmallIcon(FInstance, FDpi);
    FTrayIcon.cbSize = sizeof FTrayIcon;
    FTrayIcon.hWnd = Handle();
    FTrayIcon.uID = TrayIconId;
    FTrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FTrayIcon.uCallbackMessage = TrayIconCallbackMessage;
    const std::wstring tip = WideFromUtf8(FStatus.TrayTip(Utf8FromWide(Title())));
    lstrcpynW(FTrayIcon.szTip, tip.c_str(), static_cast<int>(std::size(FTrayIcon.szTip)));
    // An icon the taskbar still has is taken as it is.
    FTrayIconShown = Shell_NotifyIconW(NIM_ADD, &FTrayIcon) || Shell_NotifyIconW(NIM_MODIFY, &FTrayIcon);
    if (FTrayIconShown)
        FTrayRetry.Succeeded();
    else if (FTrayRetry.Failed())
        SetTimer(Handle(), TrayRetryTimer, CTrayIconRetry::RetryMs, nullptr);
    else
        RestoreFromTray();
}

void TMainForm::TrayIconMessage(LPARAM mouseMessage)
{
    const auto mouse = static_cast<unsigned>(LOWORD(mouseMessage));
    if (!FInTray)
        return;
    if (RestoresFromTray(mouse)) {
        RestoreFromTray();
    } else if (OpensTrayMenu(mouse)) {
        ShowTrayMenu();
    }
}

void TMainForm::ShowTrayMenu()
{
    const HMENU menu = CreatePopupMenu();
    for (const TrayMenuItem& item : FModel.TrayMenu()) {
        if (item.command == TrayCommand::Exit)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING | (item.enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(item.command),
                    item.caption);
    }
    SetMenuDefaultItem(menu, static_cast<UINT>(TrayCommand::Open), FALSE);
    POINT at;
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only while its window
    // is in the foreground.
    SetForegroundWindow(Handle());
    const auto chosen = static_cast<TrayCommand>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, Handle(), nullptr));
    PostMessageW(Handle(), WM_NULL, 0, 0);
    DestroyMenu(menu);
    switch (chosen) {
    case TrayCommand::Open:
        RestoreFromTray();
        break;
    case TrayCommand::Server:
        SendMessageW(Control(StartPatchServerSB), BM_CLICK, 0, 0);
        break;
    case TrayCommand::Exit:
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
        break;
    }
}

void TMainForm::RestoreFromTray()
{
    if (!FInTray)
        return;
    FApplication.ShowTaskbarButton(true);
    Sleep(500);
    RemoveTrayIcon();
    ShowWindow(Handle(), SW_RESTORE);
    SetForegroundWindow(Handle());
}

void TMainForm::RemoveTrayIcon()
{
    KillTimer(Handle(), TrayRetryTimer);
    if (FTrayIconShown)
        Shell_NotifyIconW(NIM_DELETE, &FTrayIcon);
    if (FTrayIcon.hIcon)
        DestroyIcon(FTrayIcon.hIcon);
    FTrayIcon.hIcon = nullptr;
    FTrayIconShown = false;
    FInTray = false;
}

// ---- the focus ----

void TMainForm::RememberFocus()
{
    const HWND focus = GetFocus();
    if (focus && IsChild(Handle(), focus))
        FLastFocus = focus;
}

void TMainForm::RestoreFocus()
{
    if (!IsWindowVisible(Handle()))
        return;
    const auto takes = [this](HWND control) {
        return control && IsChild(Handle(), control) && IsWindowEnabled(control) && IsWindowVisible(control);
    };
    HWND target = FLastFocus;
    if (!takes(target))
        target = GetNextDlgTabItem(Handle(), nullptr, FALSE);
    // With every field locked the window itself takes the keys.
    SetFocus(takes(target) ? target : Handle());
}

// ---- the end ----

void TMainForm::FormClose()
{
    if (FClosing)
        return;
    // A close that arrives while a server call shows its box here (in that
    // box's loop) waits until the call has returned: the server cannot end
    // before it does.
    if (FRunningServerCalls > 0) {
        FCloseDeferred = true;
        return;
    }
    FClosing = true;
    if (FPatchServer) {
        FPatchServer->Terminate();
        WaitForServer();
    }
    ShowWindow(Handle(), SW_HIDE);
    PostQuitMessage(0);
}

void TMainForm::QueryEndSession()
{
    if (FPatchServer)
        FPatchServer->Terminate();
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        ShowErrorBox(Handle(), ErrorText(error));
    }
    PostQuitMessage(0);
}

// ---- messages ----

bool TMainForm::TakeKeys(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && (msg.hwnd == Handle() || IsChild(Handle(), msg.hwnd))) {
        // The flat buttons' keys: a press as a click would make it, which a
        // disabled button ignores.
        for (const auto& [key, id] : {std::pair{MakeChannelKey, MakeChannelBtn},
                                      std::pair{StartPatchServerKey, StartPatchServerSB}}) {
            if (msg.wParam == key) {
                SendMessageW(Control(id), BM_CLICK, 0, 0);
                return true;
            }
        }
    }
    return IsDialogMessageW(Handle(), &msg);
}

void TMainForm::Command(int id, int code)
{
    if (FClosing)
        return;
    if (IsEdit(id)) {
        if (code == EN_CHANGE)
            EditChanged(id);
        return;
    }
    if (code != BN_CLICKED)
        return;
    // Under some systems a click reaches a disabled button; its action is
    // refused here as well.
    switch (id) {
    case EpgDataCapBonCBox: {
        const bool checked = SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (FModel.Enabled(id))
            FModel.settings.EpgDataCapBonAutoLaunch = checked;
        else if (checked != FModel.settings.EpgDataCapBonAutoLaunch)
            SendMessageW(Control(id), BM_SETCHECK, FModel.settings.EpgDataCapBonAutoLaunch ? BST_CHECKED : 0, 0);
        EpgDataCapBonCBoxClick();
        break;
    }
    case EpgDataCapBonBtn:
        if (FModel.Enabled(id))
            EpgDataCapBonBtnClick();
        break;
    case MakeChannelBtn:
        if (FModel.Enabled(id))
            MakeChannelBtnClick();
        break;
    case StartPatchServerSB:
        StartPatchServerSBClick();
        break;
    default:
        break;
    }
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        if (!IsEdit(GetDlgCtrlID(control)))
            break;
        const EditColours colours = EditColoursFor(IsWindowEnabled(control));
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(SystemColourIndex(colours.text)));
        SetBkColor(dc, GetSysColor(SystemColourIndex(colours.background)));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(SystemColourIndex(colours.background)));
    }
    case WM_DRAWITEM:
        if (wParam == Bevel1) {
            DrawBevel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == StartupTimer)
            StartupTimerTimer();
        else if (wParam == TrayRetryTimer)
            AddTrayIcon();
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            ApplicationEventsMinimize();
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            RememberFocus();
        else if (!HIWORD(wParam))
            RestoreFocus();
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case TrayIconCallbackMessage:
        TrayIconMessage(lParam);
        return 0;
    case ServerNewsMessage:
        TakeServerNews();
        return 0;
    case MainThreadCallMessage:
        ++FRunningServerCalls;
        MainThreadCalls::RunPending(0);
        --FRunningServerCalls;
        if (FRunningServerCalls == 0 && FCloseDeferred) {
            FCloseDeferred = false;
            PostMessageW(Handle(), WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        FormClose();
        return 0;
    case WM_QUERYENDSESSION:
        QueryEndSession();
        return TRUE;
    default:
        if (message == FTaskbarCreated && FTaskbarCreated != 0) {
            FTrayIconShown = false;
            FTrayRetry.Succeeded();
            AddTrayIcon();
            return 0;
        }
        break;
    }
    return Default(message, wParam, lParam);
}
