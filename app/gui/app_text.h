#pragma once
// The texts the program derives rather than states: its title, and the text
// of its standard error box.
#include <string>
#include <string_view>

// The executable's file name without its folder, cut at its first ".", with
// every character after the first in lower case. It names the taskbar button
// and captions the error boxes.
std::wstring ApplicationTitle(std::wstring_view exePath);

// An error's text as the standard error box shows it: with "." added unless
// the text is empty or already ends in "." or in a character with a lower code.
std::wstring ErrorBoxText(std::wstring_view text);

// "%s に書き込めません" (cannot write to the settings file).
std::wstring SettingsWriteErrorBoxText(std::wstring_view iniPath);

// The file-error templates with the path put in for "%s".
std::wstring FillPath(std::wstring_view messageTemplate, std::wstring_view path);

// What a field says when a character without a code page 932 form is typed
// or pasted into it (the character is not taken).
inline constexpr const wchar_t* RefusedCharacterTitle = L"使えない文字です";
inline constexpr const wchar_t* RefusedCharacterText =
    L"この文字は Shift_JIS (コードページ 932) で表せないため、設定に使えません。";
