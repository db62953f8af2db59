#pragma once
#include <string>
#include <string_view>

// Bytes on one line, exactly, for scripts and tests to compare: TAB as \t,
// CR as \r, LF as \n, backslash as \\, every other byte below 0x20, 0x7F
// and every byte from 0x80 up as \xNN.
std::string VisibleText(std::string_view bytes);
