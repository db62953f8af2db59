#include "app/win/win_text.h"

#include <windows.h>

namespace {

constexpr UINT Cp932 = 932;

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
    if (usedDefault || WideFromCodePage(codePage, bytes) != text)
        return std::nullopt;
    return bytes;
}

} // namespace

std::wstring WideFromCp932(std::string_view bytes)
{
    return WideFromCodePage(Cp932, bytes);
}

std::optional<std::string> Cp932FromWide(std::wstring_view text)
{
    return NarrowFromWide(Cp932, text);
}
