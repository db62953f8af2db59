#pragma once
// One base for the program's windows: the object behind the handle and the
// handler it overrides, the moves when the monitor's DPI changes, and the
// message loop that every wait of the window thread runs.
#include <windows.h>

#include <functional>
#include <optional>

class TWindowBase {
public:
    TWindowBase(const TWindowBase&) = delete;
    TWindowBase& operator=(const TWindowBase&) = delete;

    HWND Handle() const { return FHandle; }

    // A class for such windows: the arrow cursor, the button-face
    // background, and the program's icon when it has one.
    static void RegisterClass(HINSTANCE instance, const wchar_t* name, bool programIcon);

    // The keys the window takes itself before the message goes on (its
    // shortcuts, then the dialog keys); true when it took it.
    virtual bool TakeKeys(MSG&) { return false; }

protected:
    TWindowBase() = default;
    // The window goes with its object.
    virtual ~TWindowBase();

    // Creates the window; from WM_NCCREATE on its messages come to
    // HandleMessage. Throws when it cannot be made.
    void CreateHandle(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style, HWND owner,
                      HINSTANCE instance);
    // An error it raises ends that message only: the standard error box
    // shows it and the program goes on.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The monitor's DPI changed: fonts and places at the new one. The window
    // then takes the rectangle the system suggests.
    virtual void ApplyDpi(UINT) {}
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcW(FHandle, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
};

// Runs this thread's messages until done() holds, looking at it after each
// message and, with pollMs, at least that often; keys (or none) takes its
// keys first. A quit request ends it too, and its exit code is returned:
// a loop inside another posts it again (PostQuitMessage).
std::optional<int> RunMessages(const std::function<bool()>& done, TWindowBase* keys, DWORD pollMs = INFINITE);
