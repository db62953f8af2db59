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

std::string BoxText(std::string_view text, std::string_view where, std::string_view reason)
{
    std::string box(text);
    for (const std::string_view part : {where, reason}) {
        if (part.empty())
            continue;
        box += box.size() > text.size() ? "\n" : "\n\n";
        box += part;
    }
    return box;
}

std::string BreakLongPath(std::string_view path, std::size_t lineLength)
{
    std::string broken;
    std::size_t line = 0;  // characters on the current line
    std::size_t i = 0;
    while (i < path.size()) {
        // The next name with the separator that ends it.
        std::size_t end = path.find_first_of("\\/", i);
        end = end == std::string_view::npos ? path.size() : end + 1;
        const std::string_view name = path.substr(i, end - i);
        std::size_t characters = 0;
        for (const char c : name)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (line > 0 && line + characters > lineLength) {
            broken += '\n';
            line = 0;
        }
        for (std::size_t j = 0; j < name.size(); ++j) {
            const bool starts = (static_cast<unsigned char>(name[j]) & 0xC0) != 0x80;
            if (starts && line == lineLength) {
                broken += '\n';
                line = 0;
            }
            broken += name[j];
            line += starts;
        }
        i = end;
    }
    return broken;
}
