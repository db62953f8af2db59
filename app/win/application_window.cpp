#include "app/win/application_window.h"

#include <stdexcept>

#include "app/win/window_object.h"

namespace {

// Passes an activation on once the one under way has ended.
constexpr UINT PassActivationMessage = WM_APP + 1;

} // namespace

void TApplicationWindow::RegisterClass(HINSTANCE instance)
{
    RegisterWindowClass(instance, WindowClass, WindowProc, true);
}

TApplicationWindow::TApplicationWindow(HINSTANCE instance, const std::wstring& title)
{
    // A popup without a frame may have no size at all; it is "shown" so that
    // the taskbar lists it.
    FHandle = CreateWindowExW(0, WindowClass, title.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, instance, this);
    if (!FHandle)
        throw std::runtime_error("cannot create the application window");
}

TApplicationWindow::~TApplicationWindow()
{
    if (FHandle)
        DestroyWindow(FHandle);
}

void TApplicationWindow::ShowTaskbarButton(bool show)
{
    ShowWindow(FHandle, show ? SW_SHOWNA : SW_HIDE);
}

LRESULT TApplicationWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            PostMessageW(FHandle, PassActivationMessage, 0, 0);
        return 0;
    case PassActivationMessage: {
        // To the window the user last had: the main window or its dialog.
        const HWND target = GetLastActivePopup(FHandle);
        if (target && target != FHandle && IsWindowVisible(target) && GetActiveWindow() == FHandle)
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
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TApplicationWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* app = WindowObject<TApplicationWindow, &TApplicationWindow::FHandle>(window, message, lParam);
    if (!app)
        return DefWindowProcW(window, message, wParam, lParam);
    return app->HandleMessage(message, wParam, lParam);
}
