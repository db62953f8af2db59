#include "app/win/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "app/gui/main_form_layout.h"
#include "app/gui/startup_switches.h"
#include "app/win/application_window.h"
#include "app/win/channel_setup_dlg.h"
#include "app/win/cp932_edit.h"
#include "app/win/dpi.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"
#include "app/win/win_text.h"
#include "app/win/window_object.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/thread_base.h"
#include "net/socket.h"

using namespace MainFormLayout;

namespace {

constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT_PTR StartupTimer = 1;
// A call that a server thread waits to have run on this thread.
constexpr UINT MainThreadCallMessage = WM_APP + 1;
constexpr UINT TrayIconId = 1;

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

} // namespace

void TMainForm::RegisterClass(HINSTANCE instance)
{
    RegisterWindowClass(instance, WindowClass, WindowProc, true);
}

TMainForm::TMainForm(HINSTANCE instance, TApplicationWindow& application, std::vector<std::wstring> arguments)
    : FInstance(instance), FApplication(application), FArguments(std::move(arguments))
{
    FExePath = ExecutablePath();
    FIniPath = SettingsPathFor(FExePath);
    FHandle = CreateWindowExW(0, WindowClass, Caption, WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, ClientWidth,
                              ClientHeight, application.Handle(), nullptr, instance, this);
    if (!FHandle)
        throw std::runtime_error("cannot create the main window");
    CreateControls();
    SocketStartup();
    // The three control-less fields hold their defaults from the model's
    // construction; the file replaces them.
    LoadSettings();
    const HWND handle = FHandle;
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
    DestroyWindow(FHandle);
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
    CentreOnScreen(FHandle);
    ShowWindow(FHandle, showCommand);
    UpdateWindow(FHandle);
    SetFocus(Control(RemoconAddrEd));
    SetTimer(FHandle, StartupTimer, 1, nullptr);
}

void TMainForm::CreateControls()
{
    FDpi = WindowDpi(FHandle);
    CreateLayoutControls(FHandle, FInstance, Controls, FDpi);
    ApplyDpi(FDpi);
}

void TMainForm::ApplyDpi(UINT dpi)
{
    FDpi = dpi;
    HFONT old = FFont;
    FFont = CreateLayoutFont(FontName, FontHeight, dpi);
    for (const ControlEntry& c : Controls) {
        PlaceControl(FHandle, c, dpi);
        SendMessageW(Control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
    }
    FitCaptions(FHandle, Controls, ClientWidth, dpi);
    if (old)
        DeleteObject(old);
    const int d = static_cast<int>(dpi);
    const RECT r = WindowRectForClient(Scale(ClientWidth, d), Scale(ClientHeight, d), WindowStyle, 0, dpi);
    SetWindowPos(FHandle, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    ofn.hwndOwner = FHandle;
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
            const std::string dir = ChannelFolderOf(FExePath);
            NamedNumberList channels;
            BonAliasList aliases;
            LoadChSetFile(ChSetFilePath(dir), channels);
            LoadChAliasFile(ChAliasFilePath(dir), aliases);
            FPatchServer.reset();
            FPatchServer = MakeMasterThread(FModel.Arguments(channels, aliases));
            FPatchServer->SetOnFinished([this] { ServerFinished(); });
            FPatchServer->SetMaxViewers(FModel.settings.MaxViewers);
            FPatchServer->SetChListReplyLimit(FModel.settings.ChListReplyLimit);
            FPatchServer->SetAllowedViewers(FModel.settings.AllowedViewers);
            FPatchServer->Resume();
            FModel.StartSucceeded();
        } catch (...) {
            FModel.StartFailed();
            SetControlsEnabled();
            throw;
        }
    } else if (action == ServerAction::Stop && FPatchServer) {
        FPatchServer->Terminate();
    }
    SetControlsEnabled();
}

void TMainForm::ServerFinished()
{
    if (FPatchServer && !FPatchServer->FSucceeded)
        MessageBoxW(FHandle, WideFromUtf8(FPatchServer->FErrorMessage).c_str(), ServerBoxCaption,
                    MB_ICONERROR | MB_OK);
    FModel.Finished();
    SetControlsEnabled();
}

void TMainForm::WaitForServer()
{
    bool quit = false;
    WPARAM quitCode = 0;
    while (!FPatchServer->Finished()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    FPatchServer->WaitFor();
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

// ---- start-up switches and the tray ----

void TMainForm::StartupTimerTimer()
{
    KillTimer(FHandle, StartupTimer);
    const StartupSwitches switches = ParseStartupSwitches(FArguments);
    if (switches.minimize) {
        ShowWindow(FHandle, SW_MINIMIZE);
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
    wchar_t exe[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
    exe[n < MAX_PATH * 4 ? n : 0] = L'\0';
    SHFILEINFOW info{};
    SHGetFileInfoW(exe, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON | SHGFI_SYSICONINDEX);
    if (!info.hIcon)
        info.hIcon = static_cast<HICON>(LoadImageW(FInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    FTrayIcon = NOTIFYICONDATAW{};
    FTrayIcon.cbSize = sizeof FTrayIcon;
    FTrayIcon.hWnd = FHandle;
    FTrayIcon.uID = TrayIconId;
    FTrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FTrayIcon.uCallbackMessage = TrayIconCallbackMessage;
    FTrayIcon.hIcon = info.hIcon;
    GetWindowTextW(FHandle, FTrayIcon.szTip, 128);
    Shell_NotifyIconW(NIM_ADD, &FTrayIcon);
    FInTray = true;
    ShowWindow(FHandle, SW_HIDE);
    FApplication.ShowTaskbarButton(false);
}

void TMainForm::TrayIconMessage(LPARAM mouseMessage)
{
    if (!FInTray || !RestoresFromTray(static_cast<unsigned>(LOWORD(mouseMessage))))
        return;
    FApplication.ShowTaskbarButton(true);
    Sleep(500);
    RemoveTrayIcon();
    ShowWindow(FHandle, SW_RESTORE);
    SetForegroundWindow(FHandle);
}

void TMainForm::RemoveTrayIcon()
{
    Shell_NotifyIconW(NIM_DELETE, &FTrayIcon);
    if (FTrayIcon.hIcon)
        DestroyIcon(FTrayIcon.hIcon);
    FTrayIcon.hIcon = nullptr;
    FInTray = false;
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
    ShowWindow(FHandle, SW_HIDE);
    PostQuitMessage(0);
}

void TMainForm::QueryEndSession()
{
    if (FPatchServer)
        FPatchServer->Terminate();
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        ShowErrorBox(FHandle, ErrorText(error));
    }
    PostQuitMessage(0);
}

// ---- messages ----

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
    case WM_TIMER:
        if (wParam == StartupTimer) {
            StartupTimerTimer();
            return 0;
        }
        break;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            ApplicationEventsMinimize();
        break;
    case TrayIconCallbackMessage:
        TrayIconMessage(lParam);
        return 0;
    case MainThreadCallMessage:
        ++FRunningServerCalls;
        MainThreadCalls::RunPending(0);
        --FRunningServerCalls;
        if (FRunningServerCalls == 0 && FCloseDeferred) {
            FCloseDeferred = false;
            PostMessageW(FHandle, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_DPICHANGED:
        ApplyDpi(HIWORD(wParam));
        MoveToSuggestedRect(FHandle, lParam);
        return 0;
    case WM_CLOSE:
        FormClose();
        return 0;
    case WM_QUERYENDSESSION:
        QueryEndSession();
        return TRUE;
    default:
        break;
    }
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = WindowObject<TMainForm, &TMainForm::FHandle>(window, message, lParam);
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    return ShowingErrors(window, [&] { return form->HandleMessage(message, wParam, lParam); });
}
