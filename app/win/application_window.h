#pragma once
// The application's own window, as programs of this kind have one: hidden
// behind a zero size, it owns the main window and carries the taskbar
// button, so that the button reads the application title ("Vernwick") while
// the main window keeps its caption. What reaches it through the taskbar
// (activation, minimise, restore, close) goes on to the main window.
#include <windows.h>

#include <string>

#include "app/win/window_base.h"

class TApplicationWindow : public TWindowBase {
public:
    TApplicationWindow(HINSTANCE instance, const std::wstring& title);

    void SetMainWindow(HWND mainWindow) { FMainWindow = mainWindow; }
    // The taskbar button goes with the window to the tray and comes back with it.
    void ShowTaskbarButton(bool show);

    static constexpr const wchar_t* WindowClass = L"TApplication";

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND FMainWindow = nullptr;
};
