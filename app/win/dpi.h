#pragma once
// Per-monitor DPI: the layout's 96-dpi pixels are scaled to the window's
// monitor. The newer APIs are looked up at run time so that the program also
// starts on systems that lack them, where the system DPI applies.
#include <windows.h>

UINT WindowDpi(HWND window);
// The window rectangle for a client area at the given DPI.
RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);
// A system metric (a check box's width, an icon's) at dpi.
int SystemMetricForDpi(int index, UINT dpi);
// The program's icon in the small size at dpi; the caller destroys it.
HICON LoadSmallIcon(HINSTANCE instance, UINT dpi);
// Moves a window to the rectangle WM_DPICHANGED suggests (its lParam).
void MoveToSuggestedRect(HWND window, LPARAM suggested);
