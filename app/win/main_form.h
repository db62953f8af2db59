#pragma once
// The main window: a view over CMainFormModel that turns window messages
// into calls on it and its state into control states, and owns the patch
// server of the last start.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/main_form_model.h"
#include "server/patcher.h"

class TApplicationWindow;
class TChannelSetupDlg;

class TMainForm {
public:
    // Builds the window (hidden), starts the network layer and loads the
    // settings, owned by the application's window. arguments: the command
    // line after the program's path.
    TMainForm(HINSTANCE instance, TApplicationWindow& application, std::vector<std::wstring> arguments);
    // Saves the settings, stops the server and waits for it, and reports a
    // settings file that could not be written once the window has gone.
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    HWND Handle() const { return FHandle; }
    // Centred and on screen; the start-up timer then applies the switches.
    void Show(int showCommand);
    void SetChannelSetupDlg(TChannelSetupDlg* dialog) { FChannelSetupDlg = dialog; }

    // What the channel scan reads of the live settings.
    std::string GetRemoconAddr() const { return FModel.settings.RemoconAddr; }
    std::string RemoconPortText() const { return FModel.settings.RemoconPort; }
    bool MultiTuner() const { return FModel.settings.MultiTuner; }
    // The channel setup dialog's EpgTimerBon box, saved with the settings.
    std::optional<bool> CopyChSetToEpgTimerBon() const { return FModel.settings.CopyChSetToEpgTimerBon; }
    void SetCopyChSetToEpgTimerBon(bool copy) { FModel.settings.CopyChSetToEpgTimerBon = copy; }

    static void RegisterClass(HINSTANCE instance);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code);

    void CreateControls();
    void ApplyDpi(UINT dpi);
    HWND Control(int id) const { return GetDlgItem(FHandle, id); }

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
    void ApplicationEventsMinimize();
    void TrayIconMessage(LPARAM mouseMessage);
    void RemoveTrayIcon();
    void FormClose();
    void QueryEndSession();
    void StartPatchServerSBClick();
    void ServerFinished();
    // Waits for the server's thread while still running the calls it makes
    // on this thread, so that its failure box shows and nothing deadlocks.
    void WaitForServer();

    HINSTANCE FInstance;
    TApplicationWindow& FApplication;
    HWND FHandle = nullptr;
    std::vector<std::wstring> FArguments;
    std::string FExePath;  // as the file functions take it
    std::string FIniPath;
    CMainFormModel FModel;
    std::unique_ptr<TPatchedRemoconMasterThread> FPatchServer;
    NOTIFYICONDATAW FTrayIcon{};
    bool FInTray = false;
    bool FClosing = false;
    bool FSettingText = false;  // the program itself is setting an edit's text
    int FRunningServerCalls = 0;  // calls of the server's threads under way here
    bool FCloseDeferred = false;
    UINT FDpi = 96;
    HFONT FFont = nullptr;
    TChannelSetupDlg* FChannelSetupDlg = nullptr;
};
