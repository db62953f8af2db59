#pragma once
// Texts between what the program stores (code page 932 bytes) and what the
// window shows (UTF-16), always through code page 932 itself rather than the
// system's ANSI code page, so the window reads right on any system.
#include <optional>
#include <string>
#include <string_view>

// The program's own fixed texts, which the sources hold as UTF-8, and paths,
// which the file functions take as UTF-8: WideFromUtf8, Utf8FromWide.
#include "common/win32/wide_text.h"

std::wstring WideFromCp932(std::string_view bytes);
// Nothing when a character has no code page 932 form: it must not turn into
// another character on its way into the settings or onto the wire.
std::optional<std::string> Cp932FromWide(std::wstring_view text);
