#include "app/win/epgtimerbon_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace {

// TVTest's own folder in the user's documents folder.
constexpr const wchar_t* EpgTimerBonFolderName = L"EpgTimerBon";

std::wstring DocumentsFolder()
{
    PWSTR path = nullptr;
    std::wstring documents;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)) && path)
        documents = path;
    CoTaskMemFree(path);
    return documents;
}

} // namespace

std::wstring EpgTimerBonFolder()
{
    const std::wstring documents = DocumentsFolder();
    if (documents.empty())
        return documents;
    std::wstring folder = documents;
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder + EpgTimerBonFolderName + L"\\";
}
