#include "app/win/cp932_edit.h"

#include <commctrl.h>

#include <algorithm>

#include "app/gui/app_text.h"
#include "app/win/error_box.h"
#include "app/win/form_layout.h"
#include "app/win/win_text.h"

std::optional<std::string> TakeCp932Text(HWND edit, const std::string& kept)
{
    const std::wstring typed = WindowTextOf(edit);
    if (auto bytes = Cp932FromWide(typed))
        return bytes;
    DWORD caret = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    const std::wstring restored = WideFromCp932(kept);
    SetWindowTextW(edit, restored.c_str());
    const long grown = static_cast<long>(typed.size()) - static_cast<long>(restored.size());
    const long at = std::clamp(static_cast<long>(caret) - std::max(grown, 0L), 0L, static_cast<long>(restored.size()));
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(at), static_cast<LPARAM>(at));
    MessageBeep(MB_ICONWARNING);
    EDITBALLOONTIP tip{sizeof tip, RefusedCharacterTitle, RefusedCharacterText, TTI_WARNING};
    if (!SendMessageW(edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip)))
        MessageBoxW(GetAncestor(edit, GA_ROOT), RefusedCharacterText, Title().c_str(), MB_ICONWARNING | MB_OK);
    return std::nullopt;
}
