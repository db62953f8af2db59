#pragma once
// The channel setup dialog, created hidden at start-up and shown modally by
// the main window's "チャンネルファイルの作成" button.
#include <windows.h>

class TChannelSetupDlg {
public:
    TChannelSetupDlg(HINSTANCE instance, HWND owner);
    ~TChannelSetupDlg();
    TChannelSetupDlg(const TChannelSetupDlg&) = delete;
    TChannelSetupDlg& operator=(const TChannelSetupDlg&) = delete;

    // Shows the dialog modally and returns when it closes: false when it was
    // closed because the scan could not connect (modal result No), else true.
    bool Execute();
    HWND Handle() const { return FHandle; }

    static void RegisterClass(HINSTANCE instance);

    static constexpr int ModalResultCancel = 2;
    static constexpr int ModalResultNo = 7;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    HWND FOwner;
    HFONT FFont = nullptr;
    int FModalResult = 0;
};
