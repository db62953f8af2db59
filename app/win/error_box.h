#pragma once
// The standard error box: what an event handler's error becomes once it
// reaches the message loop.
#include <windows.h>

#include <exception>
#include <string>

// The text of an error the program raises, converted for the screen: file
// errors name their path (code page 932 bytes), the program's own texts are
// UTF-8.
std::wstring ErrorText(const std::exception& error);

// Stop icon, OK, captioned with the application title, the text by the
// error-box rule. owner may be null (no window left to own it).
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
