#pragma once
// Texts between what the program stores (code page 932 bytes) and what the
// window shows (UTF-16), always through code page 932 itself rather than the
// system's ANSI code page, so the window reads right on any system.
#include <optional>
#include <string>
#include <string_view>

std::wstring WideFromCp932(std::string_view bytes);
// Nothing when a character has no code page 932 form: it must not turn into
// another character on its way into the settings or onto the wire.
std::optional<std::string> Cp932FromWide(std::wstring_view text);
// The same through the system's ANSI code page, for the narrow file functions.
std::optional<std::string> AnsiFromWide(std::wstring_view text);
// The program's own fixed texts, which the sources hold as UTF-8.
std::wstring WideFromUtf8(std::string_view text);
