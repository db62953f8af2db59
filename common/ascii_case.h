#pragma once
// Names that Windows compares without regard to letter case (ini sections and
// keys, file names) fold only the ASCII letters: code page 932 bytes, and
// characters such as '[' and '{', are compared as they are.
#include <string_view>

constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}
