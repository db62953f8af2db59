#pragma once
// Names from EpgDataCap_Bon are code page 932 bytes. A person at a UTF-8
// terminal reads and edits them as UTF-8, and the way back must give the
// very same bytes. Whatever cannot make that round trip (a byte that is no
// CP932 character, a character whose UTF-8 form would come back as other
// bytes, a control byte or a character that is a control to the terminal) is
// written as \xHH, and a backslash as \\.
#include <optional>
#include <string>
#include <string_view>

std::string Cp932ToTerminal(std::string_view cp932);

// The bytes again; nothing when the text holds a character that code page
// 932 cannot store (it could not be written to a channel file as it is).
std::optional<std::string> TerminalToCp932(std::string_view text);
