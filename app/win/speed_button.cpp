#include "app/win/speed_button.h"

namespace {

struct ButtonState {
    bool down = false;     // a toggle's latched state
    bool pressed = false;  // the left button is held on it
    bool inside = false;   // ... with the mouse over it
    bool hot = false;      // the mouse is over it
    HFONT font = nullptr;
};

ButtonState* StateOf(HWND window)
{
    return reinterpret_cast<ButtonState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Click(HWND window, ButtonState& s)
{
    if (!IsWindowEnabled(window))
        return;
    if (GetWindowLongW(window, GWL_STYLE) & SpeedButtonToggle)
        s.down = !s.down;
    InvalidateRect(window, nullptr, TRUE);
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                 reinterpret_cast<LPARAM>(window));
}

HBRUSH DitherBrush()
{
    // The half-tone face of a latched button, as flat buttons have always shown it.
    static HBRUSH brush = [] {
        const WORD pattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
        HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, pattern);
        HBRUSH b = CreatePatternBrush(bitmap);
        DeleteObject(bitmap);
        return b;
    }();
    return brush;
}

void Paint(HWND window, ButtonState& s)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    const bool enabled = IsWindowEnabled(window);
    const bool sunken = s.down || (s.pressed && s.inside);

    if (s.down && !(s.pressed && s.inside)) {
        const COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_BTNFACE));
        const COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        FillRect(dc, &r, DitherBrush());
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBack);
    } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (sunken)
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    else if (s.hot && enabled)
        DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);

    wchar_t text[256];
    const int length = GetWindowTextW(window, text, 256);
    HGDIOBJ oldFont = SelectObject(dc, s.font ? s.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT t = r;
    if (sunken)
        OffsetRect(&t, 1, 1);
    // "&M" underlines the M, the button's accelerator.
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (enabled) {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        DrawTextW(dc, text, length, &t, format);
    } else {
        // Etched grey text, the look of every disabled control caption.
        OffsetRect(&t, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, text, length, &t, format);
        OffsetRect(&t, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
        DrawTextW(dc, text, length, &t, format);
    }
    SelectObject(dc, oldFont);
    EndPaint(window, &ps);
}

LRESULT CALLBACK SpeedButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ButtonState* s = StateOf(window);
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new ButtonState));
        break;
    case WM_NCDESTROY:
        delete s;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_ENABLE:
        if (!wParam) {
            s->pressed = s->hot = false;
            if (GetCapture() == window)
                ReleaseCapture();
        }
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(window, *s);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(window);
        s->pressed = s->inside = true;
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_MOUSEMOVE: {
        if (!s->hot) {
            s->hot = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            InvalidateRect(window, nullptr, TRUE);
        }
        if (s->pressed) {
            RECT r;
            GetClientRect(window, &r);
            const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            const bool inside = PtInRect(&r, p);
            if (inside != s->inside) {
                s->inside = inside;
                InvalidateRect(window, nullptr, TRUE);
            }
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        s->hot = false;
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_LBUTTONUP: {
        const bool click = s->pressed && s->inside;
        s->pressed = false;
        if (GetCapture() == window)
            ReleaseCapture();
        InvalidateRect(window, nullptr, TRUE);
        if (click)
            Click(window, *s);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (s->pressed) {
            s->pressed = false;
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case BM_CLICK:
        Click(window, *s);
        return 0;
    case BM_GETCHECK:
        return s->down ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
        if (s->down != (wParam == BST_CHECKED)) {
            s->down = wParam == BST_CHECKED;
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case WM_GETDLGCODE:
        // A button to the dialog loop, which clicks it on its accelerator.
        return DLGC_BUTTON;
    case BM_GETSTATE:
        return (s->down ? BST_CHECKED : 0) | (s->pressed && s->inside ? BST_PUSHED : 0);
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void RegisterSpeedButtonClass(HINSTANCE instance)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = SpeedButtonProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = SpeedButtonClass;
    RegisterClassExW(&wc);
}
