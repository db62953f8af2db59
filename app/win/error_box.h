#pragma once
// The standard error box: what an event handler's error becomes once it
// reaches the message loop.
#include <windows.h>

#include <exception>
#include <string>

// The text of an error the program raises as the standard error box shows
// it (the error-box rule); a file's error adds the system's reason, and in a
// box its path comes in lines.
std::wstring ErrorText(const std::exception& error, bool forBox = true);

// Stop icon, OK, captioned with the application title. owner may be null
// (no window left to own it).
void ShowErrorBox(HWND owner, const std::wstring& text, UINT extraFlags = 0);

// The application title of the running executable.
const std::wstring& Title();

// Runs a window's message handler. An error it raises ends that handler
// only: the standard error box shows it and the program goes on.
template <class Handler>
LRESULT ShowingErrors(HWND window, Handler&& handler)
{
    try {
        return handler();
    } catch (const std::exception& error) {
        ShowErrorBox(window, ErrorText(error));
    } catch (...) {
        ShowErrorBox(window, L"");
    }
    return 0;
}
