#include "app/gui/startup_switches.h"

#include <string_view>

namespace {

constexpr unsigned LeftButtonDown = 0x0201;
constexpr unsigned RightButtonUp = 0x0205;

bool SameText(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 0x20) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

} // namespace

StartupSwitches ParseStartupSwitches(const std::vector<std::wstring>& arguments)
{
    StartupSwitches s;
    for (const std::wstring& argument : arguments) {
        if (SameText(argument, L"/min"))
            s.minimize = true;
        else if (SameText(argument, L"/start"))
            s.startServer = true;
    }
    return s;
}

bool RestoresFromTray(unsigned mouseMessage)
{
    return mouseMessage == LeftButtonDown;
}

bool OpensTrayMenu(unsigned mouseMessage)
{
    return mouseMessage == RightButtonUp;
}
