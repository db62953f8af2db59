#pragma once
// A flat button that never takes the keyboard focus, as a window class of
// its own: with the style SpeedButtonToggle it stays down when pressed until
// pressed again. It answers BM_CLICK, BM_GETCHECK, BM_SETCHECK (without a
// notification) and BM_GETSTATE like a button, and tells its parent of a
// click with BN_CLICKED. A disabled one ignores clicks, BM_CLICK included.
// An "&" in its caption marks its accelerator (Alt and the letter).
#include <windows.h>

inline constexpr const wchar_t* SpeedButtonClass = L"TSpeedButton";
inline constexpr DWORD SpeedButtonToggle = 0x0001;

void RegisterSpeedButtonClass(HINSTANCE instance);
