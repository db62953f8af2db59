#include "app/win/error_box.h"

#include "app/gui/app_text.h"
#include "app/win/win_text.h"
#include "channel/channel_files.h"
#include "common/settings.h"

std::wstring ErrorText(const std::exception& error)
{
    if (const auto* file = dynamic_cast<const FileError*>(&error))
        return FillPath(WideFromUtf8(file->Template()), WideFromCp932(file->Path()));
    if (const auto* settings = dynamic_cast<const SettingsWriteError*>(&error))
        return SettingsWriteErrorBoxText(WideFromCp932(settings->Path()));
    return WideFromUtf8(error.what());
}

const std::wstring& Title()
{
    static const std::wstring title = [] {
        wchar_t path[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
        return ApplicationTitle(std::wstring_view(path, n));
    }();
    return title;
}

void ShowErrorBox(HWND owner, const std::wstring& text, UINT extraFlags)
{
    MessageBoxW(owner, ErrorBoxText(text).c_str(), Title().c_str(), MB_ICONSTOP | MB_OK | extraFlags);
}
