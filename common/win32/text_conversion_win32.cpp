#include <windows.h>

#include <string>

#include "common/text_conversion.h"
#include "common/win32/wide_text.h"

namespace {

constexpr UINT Cp932 = 932;

} // namespace

bool Cp932CharToUtf8(std::string_view character, std::string& utf8)
{
    wchar_t wide[4];
    const int n = MultiByteToWideChar(Cp932, MB_ERR_INVALID_CHARS, character.data(),
                                      static_cast<int>(character.size()), wide, 4);
    if (n <= 0)
        return false;
    char buffer[16];
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, buffer, sizeof buffer, nullptr, nullptr);
    if (m <= 0)
        return false;
    utf8.assign(buffer, static_cast<std::size_t>(m));
    return true;
}

bool Utf8ToCp932Text(std::string_view utf8, std::string& cp932)
{
    cp932.clear();
    if (utf8.empty())
        return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    BOOL usedDefault = FALSE;
    const int m = WideCharToMultiByte(Cp932, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, nullptr, &usedDefault);
    if (m <= 0 || usedDefault)
        return false;
    cp932.resize(static_cast<std::size_t>(m));
    WideCharToMultiByte(Cp932, WC_NO_BEST_FIT_CHARS, wide.data(), n, cp932.data(), m, nullptr, &usedDefault);
    return !usedDefault;
}

std::wstring WideFromCodePage(unsigned codePage, std::string_view bytes)
{
    if (bytes.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

std::wstring WideFromUtf8(std::string_view text)
{
    return WideFromCodePage(CP_UTF8, text);
}

std::string Utf8FromWide(std::wstring_view text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}
