#include "app/win/channel_setup_dlg.h"

#include <stdexcept>

#include "app/gui/main_form_layout.h"
#include "app/win/dpi.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"

namespace {

constexpr const wchar_t* DialogClass = L"TChannelSetupDlg";
constexpr const wchar_t* DialogCaption = L"チャンネルファイルの作成";
constexpr int DialogClientWidth = 419;
constexpr int DialogClientHeight = 398;
constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME;

} // namespace

void TChannelSetupDlg::RegisterClass(HINSTANCE instance)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = DialogClass;
    RegisterClassExW(&wc);
}

TChannelSetupDlg::TChannelSetupDlg(HINSTANCE instance, HWND owner) : FOwner(owner)
{
    FHandle = CreateWindowExW(DialogExStyle, DialogClass, DialogCaption, DialogStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              DialogClientWidth, DialogClientHeight, owner, nullptr, instance, this);
    if (!FHandle)
        throw std::runtime_error("cannot create the channel setup dialog");
    const UINT dpi = WindowDpi(FHandle);
    FFont = CreateLayoutFont(MainFormLayout::FontName, MainFormLayout::FontHeight, dpi);
    const RECT r = WindowRectForClient(MainFormLayout::Scale(DialogClientWidth, static_cast<int>(dpi)),
                                       MainFormLayout::Scale(DialogClientHeight, static_cast<int>(dpi)), DialogStyle,
                                       DialogExStyle, dpi);
    SetWindowPos(FHandle, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TChannelSetupDlg::~TChannelSetupDlg()
{
    if (FHandle)
        DestroyWindow(FHandle);
    if (FFont)
        DeleteObject(FFont);
}

bool TChannelSetupDlg::Execute()
{
    FModalResult = 0;
    CentreOnScreen(FHandle);
    EnableWindow(FOwner, FALSE);
    ShowWindow(FHandle, SW_SHOW);
    SetForegroundWindow(FHandle);
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (FModalResult == 0) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (!IsDialogMessageW(FHandle, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled before the dialog hides, so that it, not some
    // other program, becomes the active window again.
    EnableWindow(FOwner, TRUE);
    ShowWindow(FHandle, SW_HIDE);
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return FModalResult != ModalResultNo;
}

LRESULT TChannelSetupDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            FModalResult = ModalResultCancel;
            return 0;
        }
        break;
    case WM_CLOSE:
        FModalResult = ModalResultCancel;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TChannelSetupDlg::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* dialog = static_cast<TChannelSetupDlg*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        dialog->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    }
    auto* dialog = reinterpret_cast<TChannelSetupDlg*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!dialog || message == WM_NCDESTROY) {
        if (dialog)
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        ShowErrorBox(window, ErrorText(error));
    }
    return 0;
}
