#include "app/win/win_text.h"

#include <windows.h>

namespace {

constexpr UINT Cp932 = 932;

std::wstring ToWide(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

std::optional<std::string> NarrowFromWide(UINT codePage, std::wstring_view text)
{
    if (text.empty())
        return std::string();
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, &usedDefault);
    // The round trip catches what best-fit tables would still map silently.
    if (usedDefault || ToWide(codePage, bytes) != text)
        return std::nullopt;
    return bytes;
}

} // namespace

std::wstring WideFromCp932(std::string_view bytes)
{
    return ToWide(Cp932, bytes);
}

std::wstring WideFromUtf8(std::string_view text)
{
    return ToWide(CP_UTF8, text);
}

std::optional<std::string> Cp932FromWide(std::wstring_view text)
{
    return NarrowFromWide(Cp932, text);
}

std::optional<std::string> AnsiFromWide(std::wstring_view text)
{
    return NarrowFromWide(CP_ACP, text);
}
