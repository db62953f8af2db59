#pragma once
// The channel setup dialog, created hidden at start-up and shown modally by
// the main window's "チャンネルファイルの作成" button: a view over
// CChannelSetupModel, filled by a TChannelScanThread so that the window stays
// responsive while EpgDataCap_Bon tunes one channel after another.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "app/gui/channel_setup_model.h"
#include "app/win/window_base.h"
#include "channel/arrow_repeat.h"
#include "channel/channel_scan_thread.h"

class TChannelSetupDlg : public TWindowBase {
public:
    // settings: the live settings, which the dialog reads and where the copy
    // box's choice goes; owner: the window it is modal to.
    TChannelSetupDlg(HINSTANCE instance, HWND owner, Settings& settings);
    ~TChannelSetupDlg() override;

    // Shows the dialog modally over its owner, scanning afresh, and returns
    // when it closes: false when it was closed because the scan could not
    // connect (modal result No), else true. Every row's record is released
    // afterwards.
    bool Execute();

    // Enter in the name field (a rename), Alt+Up and Alt+Down (the arrow
    // buttons), then the dialog keys.
    bool TakeKeys(MSG& msg) override;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ApplyDpi(UINT dpi) override;

private:
    static LRESULT CALLBACK ArrowButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR dialog);
    static int CALLBACK ChannelListViewCompare(LPARAM a, LPARAM b, LPARAM);
    void Command(int id, int code);
    LRESULT Notify(const NMHDR& header);
    void Timer(UINT_PTR id);

    void CreateControls();
    // Every control where it goes at the dialog's present size.
    void Layout();
    void MakeCheckBoxImages();
    void FitColumns();
    HWND Control(int id) const { return GetDlgItem(Handle(), id); }

    // The scan.
    void FormActivate();
    void TakeScanNews();
    void ShowProgress(const std::string& text);
    void RedrawList();
    // Ends the scan's thread at once, its timers and its inert state.
    void StopScan();
    void ScanEnded(ChannelScanOutcome outcome, const std::string& reason);
    void ShowInert();
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
    HWND FOwner;
    HWND FList = nullptr;
    HFONT FFont = nullptr;
    HFONT FScanFont = nullptr;
    UINT FDpi = 96;

    CChannelSetupModel FModel;
    std::unique_ptr<TChannelScanThread> FScanThread;
    bool FUpdatingList = false;  // the program itself changes the list
    bool FSettingName = false;   // ... or the name field
    bool FNewsTimerSet = false;
    bool FLabelTimerSet = false;
    bool FSizeOverLimit = false;

    ArrowRepeat FRepeat;
    bool FSwallowClick = false;  // a mouse click's own notice: its move came from the release
};
