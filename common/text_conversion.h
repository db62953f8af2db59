#pragma once
// The platform's code page 932 converter, character by character.
#include <string>
#include <string_view>

// One CP932 character (one or two bytes) as UTF-8; false when it is none.
bool Cp932CharToUtf8(std::string_view character, std::string& utf8);
// UTF-8 text as CP932; false when a character has no CP932 form.
bool Utf8ToCp932Text(std::string_view utf8, std::string& cp932);
