#include "app/win/window_base.h"

#include <stdexcept>

#include "app/win/dpi.h"
#include "app/win/error_box.h"

void TWindowBase::RegisterClass(HINSTANCE instance, const wchar_t* name, bool programIcon)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    if (programIcon) {
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    }
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

TWindowBase::~TWindowBase()
{
    if (FHandle)
        DestroyWindow(FHandle);
}

void TWindowBase::CreateHandle(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style,
                               HWND owner, HINSTANCE instance)
{
    CreateWindowExW(exStyle, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr, instance,
                    this);
    if (!FHandle)
        throw std::runtime_error("cannot create a window");
}

LRESULT TWindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Default(message, wParam, lParam);
}

LRESULT CALLBACK TWindowBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* object = static_cast<TWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        object->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    auto* object = reinterpret_cast<TWindowBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!object)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        object->FHandle = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return ShowingErrors(window, [&]() -> LRESULT {
        if (message == WM_DPICHANGED) {
            object->ApplyDpi(HIWORD(wParam));
            MoveToSuggestedRect(window, lParam);
            return 0;
        }
        return object->HandleMessage(message, wParam, lParam);
    });
}

std::optional<int> RunMessages(const std::function<bool()>& done, TWindowBase* keys, DWORD pollMs)
{
    while (!done()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, pollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return static_cast<int>(msg.wParam);
            if (!keys || !keys->TakeKeys(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (done())
                return std::nullopt;
        }
    }
    return std::nullopt;
}
