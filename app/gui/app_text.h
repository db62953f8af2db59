#pragma once
// The texts the program derives rather than states: its title, and the texts
// of its boxes.
#include <string>
#include <string_view>

// The executable's file name without its folder, cut at its first ".", with
// every character after the first in lower case. It names the taskbar button
// and captions the error boxes.
std::wstring ApplicationTitle(std::wstring_view exePath);

// An error's text as the standard error box shows it: with "." added unless
// the text is empty or already ends in "." or in a character with a lower code.
std::wstring ErrorBoxText(std::wstring_view text);

// The rest is UTF-8.

// A box's text: its own first, then where (an address and port, or a path)
// and the system's reason, each left out when empty.
std::string BoxText(std::string_view text, std::string_view where, std::string_view reason);

// A path broken into lines of at most lineLength characters after its
// separators (inside a name only when the name alone is longer), so that a
// deep folder does not make a box wider than the screen.
std::string BreakLongPath(std::string_view path, std::size_t lineLength = 72);

// What a field says when a character without a code page 932 form is typed
// or pasted into it (the character is not taken).
inline constexpr const wchar_t* RefusedCharacterTitle = L"使えない文字です";
inline constexpr const wchar_t* RefusedCharacterText =
    L"この文字は Shift_JIS (コードページ 932) で表せないため、設定に使えません。";
// The same for a channel name the ChSet file cannot carry.
inline constexpr const wchar_t* RefusedNameTitle = L"使えない名前です";
