#pragma once
// The main window: a view over CMainFormModel and CServerStatusModel that
// turns window messages into calls on them and their state into control
// states, and owns the patch server of the last start and the tray icon.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gui/main_form_model.h"
#include "app/gui/server_status_model.h"
#include "app/win/window_base.h"
#include "server/patcher.h"

class TApplicationWindow;
class TChannelSetupDlg;
struct ServerNewsQueue;

class TMainForm : public TWindowBase {
public:
    // Builds the window (hidden), starts the network layer and loads the
    // settings, owned by the application's window. arguments: the command
    // line after the program's path.
    TMainForm(HINSTANCE instance, TApplicationWindow& application, std::vector<std::wstring> arguments);
    // Saves the settings, stops the server and waits for it, and reports a
    // settings file that could not be written once the window has gone.
    ~TMainForm() override;

    // Centred and on screen; the start-up timer then applies the switches.
    void Show(int showCommand);
    void SetChannelSetupDlg(TChannelSetupDlg* dialog) { FChannelSetupDlg = dialog; }
    // The live settings, which the channel setup dialog reads and writes.
    Settings& LiveSettings() { return FModel.settings; }

    // F2 and F5 for the two flat buttons, then the dialog keys.
    bool TakeKeys(MSG& msg) override;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ApplyDpi(UINT dpi) override;

private:
    void Command(int id, int code);
    void CreateControls();
    void CreateTooltips();
    HWND Control(int id) const { return GetDlgItem(Handle(), id); }

    void LoadSettings();
    void SaveSettings();
    void PutSettingsIntoControls();
    void EditChanged(int id);
    std::string* FieldOf(int id);

    void EpgDataCapBonCBoxClick();
    // Mirrors the model: enabled states, edit colours and the server button.
    void SetControlsEnabled();
    void EpgDataCapBonBtnClick();
    void MakeChannelBtnClick();
    void StartupTimerTimer();
    void StartPatchServerSBClick();
    void ServerFinished();
    // Waits for the server's thread while still running the calls it makes
    // on this thread, so that its failure box shows and nothing deadlocks.
    void WaitForServer();

    // The status line: the server's news, taken on this thread.
    void TakeServerNews();
    void ShowStatus();
    void Failed(const std::wstring& text);

    // The tray.
    void ApplicationEventsMinimize();
    void AddTrayIcon();
    void TrayIconMessage(LPARAM mouseMessage);
    void ShowTrayMenu();
    void RestoreFromTray();
    void RemoveTrayIcon();

    // The control that had the focus gets it back whenever the window does.
    void RememberFocus();
    void RestoreFocus();

    void FormClose();
    void QueryEndSession();

    HINSTANCE FInstance;
    TApplicationWindow& FApplication;
    std::vector<std::wstring> FArguments;
    std::string FExePath;  // UTF-8, as the file functions take it
    std::string FIniPath;
    CMainFormModel FModel;
    CServerStatusModel FStatus;
    std::shared_ptr<ServerNewsQueue> FNews;
    std::unique_ptr<TPatchedRemoconMasterThread> FPatchServer;
    NOTIFYICONDATAW FTrayIcon{};
    bool FInTray = false;
    bool FTrayIconShown = false;
    CTrayIconRetry FTrayRetry;
    UINT FTaskbarCreated = 0;
    HWND FTooltip = nullptr;
    HWND FLastFocus = nullptr;
    bool FClosing = false;
    bool FSettingText = false;  // the program itself is setting an edit's text
    int FRunningServerCalls = 0;  // calls of the server's threads under way here
    bool FCloseDeferred = false;
    UINT FDpi = 96;
    HFONT FFont = nullptr;
    TChannelSetupDlg* FChannelSetupDlg = nullptr;
};
