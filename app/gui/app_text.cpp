#include "app/gui/app_text.h"

namespace {

// Lower case for the letters that have a case in the characters a Japanese
// Windows file name is made of: ASCII, Latin-1, Greek, Cyrillic, Roman
// numerals and the full-width Latin letters.
wchar_t ToLower(wchar_t c)
{
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 0x20);
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return static_cast<wchar_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<wchar_t>(c + 0x50);
    if (c >= 0x2160 && c <= 0x216F)
        return static_cast<wchar_t>(c + 0x10);
    if (c >= 0xFF21 && c <= 0xFF3A)
        return static_cast<wchar_t>(c + 0x20);
    return c;
}

} // namespace

std::wstring ApplicationTitle(std::wstring_view exePath)
{
    const std::size_t slash = exePath.find_last_of(L"\\/:");
    std::wstring_view name = slash == std::wstring_view::npos ? exePath : exePath.substr(slash + 1);
    name = name.substr(0, name.find(L'.'));
    std::wstring title(name);
    for (std::size_t i = 1; i < title.size(); ++i)
        title[i] = ToLower(title[i]);
    return title;
}

std::wstring ErrorBoxText(std::wstring_view text)
{
    std::wstring shown(text);
    if (!shown.empty() && shown.back() > L'.')
        shown += L'.';
    return shown;
}

std::wstring SettingsWriteErrorBoxText(std::wstring_view iniPath)
{
    return FillPath(L"%s に書き込めません", iniPath);
}

std::wstring FillPath(std::wstring_view messageTemplate, std::wstring_view path)
{
    std::wstring text(messageTemplate);
    const std::size_t at = text.find(L"%s");
    if (at != std::wstring::npos)
        text.replace(at, 2, path);
    return text;
}
