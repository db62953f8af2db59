#include "app/win/epgtimerbon_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "app/win/win_text.h"

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

std::optional<std::string> AnsiEpgTimerBonFolder(const std::wstring& folder)
{
    if (folder.empty())
        return std::nullopt;
    if (auto ansi = AnsiFromWide(folder))
        return ansi;
    // The short name of the documents folder, which exists, is made of
    // characters every code page has.
    const std::wstring documents = DocumentsFolder();
    const DWORD n = GetShortPathNameW(documents.c_str(), nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::wstring shortName(n, L'\0');
    const DWORD m = GetShortPathNameW(documents.c_str(), shortName.data(), n);
    if (m == 0 || m >= n)
        return std::nullopt;
    shortName.resize(m);
    if (shortName.back() != L'\\')
        shortName += L'\\';
    return AnsiFromWide(shortName + EpgTimerBonFolderName + L"\\");
}
