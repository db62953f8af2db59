#include "app/win/application_window.h"


namespace {

// Passes an activation on once the one under way has ended.
constexpr UINT PassActivationMessage = WM_APP + 1;

} // namespace

TApplicationWindow::TApplicationWindow(HINSTANCE instance, const std::wstring& title)
{
    // A popup without a frame may have no size at all; it is "shown" so that
    // the taskbar lists it.
    CreateHandle(0, WindowClass, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, nullptr, instance);
    SetWindowPos(Handle(), nullptr, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TApplicationWindow::ShowTaskbarButton(bool show)
{
    ShowWindow(Handle(), show ? SW_SHOWNA : SW_HIDE);
}

LRESULT TApplicationWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            PostMessageW(Handle(), PassActivationMessage, 0, 0);
        return 0;
    case PassActivationMessage: {
        // To the window the user last had: the main window or its dialog.
        const HWND target = GetLastActivePopup(Handle());
        if (target && target != Handle() && IsWindowVisible(target) && GetActiveWindow() == Handle())
            SetActiveWindow(target);
        return 0;
    }
    case WM_SYSCOMMAND:
        if (FMainWindow && ((wParam & 0xFFF0) == SC_MINIMIZE || (wParam & 0xFFF0) == SC_RESTORE)) {
            PostMessageW(FMainWindow, WM_SYSCOMMAND, wParam, lParam);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (FMainWindow)
            PostMessageW(FMainWindow, WM_CLOSE, 0, 0);
        return 0;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}
