#include "app/win/error_box.h"

#include "app/gui/app_text.h"
#include "app/win/win_text.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "common/settings.h"

std::wstring ErrorText(const std::exception& error, bool forBox)
{
    // A file's error names the file, broken into lines when it is long, and
    // the system's reason: the one the error took when it was made, and for
    // the settings file this thread's last, taken right after the failed save.
    std::string text = error.what();
    std::string reason;
    if (const auto* file = dynamic_cast<const FileError*>(&error)) {
        text = file->Text(forBox ? BreakLongPath(file->Path()) : file->Path());
        reason = file->Reason();
    } else if (const auto* settings = dynamic_cast<const SettingsWriteError*>(&error)) {
        text = SettingsWriteErrorText(forBox ? BreakLongPath(settings->Path()) : settings->Path());
        reason = LastFileFailureText();
    }
    std::wstring shown = ErrorBoxText(WideFromUtf8(text));
    if (!reason.empty())
        shown += L"\n\n" + WideFromUtf8(reason);
    return shown;
}

const std::wstring& Title()
{
    static const std::wstring title = ApplicationTitle(WideFromUtf8(ExecutablePath()));
    return title;
}

void ShowErrorBox(HWND owner, const std::wstring& text, UINT extraFlags)
{
    MessageBoxW(owner, text.c_str(), Title().c_str(), MB_ICONSTOP | MB_OK | extraFlags);
}
