#pragma once
// UTF-8 and the system's wide texts, for the Windows code of every folder:
// paths go to the system wide, and the program's own texts are UTF-8.
#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view text);
// Bytes of any code page as the system's wide text, converted as they are.
std::wstring WideFromCodePage(unsigned codePage, std::string_view bytes);
std::string Utf8FromWide(std::wstring_view text);
