#pragma once
#include <string>
#include <string_view>

// A reply as a person can read it and a test can compare it: TAB as \t, CR
// as \r, LF as \n, backslash as \\, every other byte below 0x20, 0x7F and,
// unless keepHighBytes, every byte from 0x80 up as \xNN.
std::string VisibleText(std::string_view bytes, bool keepHighBytes);
