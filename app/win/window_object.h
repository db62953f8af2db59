#pragma once
// The object behind one of the program's windows, handed over in
// CreateWindowEx's last argument: kept with the window from WM_NCCREATE on,
// when it learns its handle, and let go at WM_NCDESTROY.
#include <windows.h>

// A window class of the program's: the arrow cursor, the button-face
// background, and the program's icon when it has one.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, bool programIcon);

// The window's object for this message, or null (before it is attached, and
// at WM_NCDESTROY, which then goes to DefWindowProc alone).
template <class T, HWND T::*Handle>
T* WindowObject(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        object->*Handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    auto* object = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (object && message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return nullptr;
    }
    return object;
}
