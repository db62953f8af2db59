#pragma once
// The channel setup dialog, created hidden at start-up and shown modally by
// the main window's "チャンネルファイルの作成" button: a view over
// ChannelListModel, filled by a TChannelScanThread so that the window stays
// responsive while EpgDataCap_Bon tunes one channel after another.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <memory>
#include <string>

#include "channel/arrow_repeat.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan_thread.h"

class TMainForm;

class TChannelSetupDlg {
public:
    TChannelSetupDlg(HINSTANCE instance, TMainForm& mainForm);
    ~TChannelSetupDlg();
    TChannelSetupDlg(const TChannelSetupDlg&) = delete;
    TChannelSetupDlg& operator=(const TChannelSetupDlg&) = delete;

    // Shows the dialog modally, scanning afresh, and returns when it closes:
    // false when it was closed because the scan could not connect (modal
    // result No), else true. Every row's record is released afterwards.
    bool Execute();
    HWND Handle() const { return FHandle; }

    static void RegisterClass(HINSTANCE instance);

    static constexpr int ModalResultCancel = 2;
    static constexpr int ModalResultNo = 7;

private:
    using Clock = std::chrono::steady_clock;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ArrowButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR dialog);
    static int CALLBACK ChannelListViewCompare(LPARAM a, LPARAM b, LPARAM);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code);
    LRESULT Notify(const NMHDR& header);
    void Timer(UINT_PTR id);

    void CreateControls();
    void ApplyDpi(UINT dpi);
    HWND Control(int id) const { return GetDlgItem(FHandle, id); }
    HWND List() const { return FList; }

    // The scan.
    void FormActivate();
    void TakeScanNews();
    void ShowProgress();
    void RedrawList();
    // Ends the scan's thread (after the request in flight), its timers and
    // its inert state.
    void StopScan();
    void ScanEnded(ChannelScanOutcome outcome);
    void SetScanning(bool scanning);
    // 閉じる, Esc and the close box: a running scan is cancelled first and the
    // dialog closes once it has ended.
    void CloseRequested();
    void FreeChannelRecords();

    // The list.
    void AddListRow(const ChannelRow& row);
    void SetRowName(int row, const std::string& name);
    void ChannelListViewChange(const NMLISTVIEW& change);
    void SyncAllRowsFromList();
    void Move(ArrowButton button);
    void UpDownSBMouseDown(ArrowButton button);
    void UpDownSBMouseUp(bool overButton);
    void UpDownTimerTimer();
    void ChannelRenameSBClick();
    void SetNameField(const std::string& name);
    void Button1Click();
    void CopyToEpgTimerBonCBoxClick();
    void SizeLabelChanged();
    void UpdateSizeLabel();

    HINSTANCE FInstance;
    TMainForm& FMainForm;
    HWND FHandle = nullptr;
    HWND FList = nullptr;
    HFONT FFont = nullptr;
    HFONT FScanFont = nullptr;
    UINT FDpi = 96;
    int FModalResult = 0;

    ChannelListModel FModel;
    std::unique_ptr<TChannelScanThread> FScanThread;
    bool FScanning = false;
    bool FCloseRequested = false;
    bool FUpdatingList = false;  // the program itself changes the list
    bool FSettingName = false;   // ... or the name field
    std::string FName;           // the name field as code page 932 bytes

    // Repaint throttling while rows pour in.
    bool FNewsTimerSet = false;
    bool FLabelTimerSet = false;
    std::string FPendingProgress;
    bool FProgressPending = false;
    Clock::time_point FLastLabel{};
    bool FSizeOverLimit = false;

    ArrowRepeat FRepeat;
    bool FSwallowClick = false;  // a mouse click's own notice: its move came from the release
};
