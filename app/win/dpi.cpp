#include "app/win/dpi.h"

namespace {

template <typename F>
F Lookup(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

} // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = Lookup<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi)
            return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi)
{
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = Lookup<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, width, height};
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return r;
}

int SystemMetricForDpi(int index, UINT dpi)
{
    using GetMetricFn = int(WINAPI*)(int, UINT);
    static const auto getMetric = Lookup<GetMetricFn>("GetSystemMetricsForDpi");
    if (getMetric)
        return getMetric(index, dpi);
    // The system's metric is at the system's DPI.
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(WindowDpi(nullptr)));
}

HICON LoadSmallIcon(HINSTANCE instance, UINT dpi)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, SystemMetricForDpi(SM_CXSMICON, dpi),
                                         SystemMetricForDpi(SM_CYSMICON, dpi), 0));
}

void MoveToSuggestedRect(HWND window, LPARAM suggested)
{
    const RECT* r = reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
