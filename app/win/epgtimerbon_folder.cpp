#include "app/win/epgtimerbon_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "app/gui/channel_setup_layout.h"

namespace {

std::optional<std::string> AnsiFromWide(const std::wstring& text)
{
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, &usedDefault);
    // Back again, to catch what a best-fit table would still turn into
    // another character, and so into another folder.
    const int m = MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0);
    std::wstring back(static_cast<std::size_t>(m > 0 ? m : 0), L'\0');
    if (m > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, back.data(), m);
    if (usedDefault || back != text)
        return std::nullopt;
    return bytes;
}

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
    return folder + ChannelSetupLayout::EpgTimerBonFolderName + L"\\";
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
    return AnsiFromWide(shortName + ChannelSetupLayout::EpgTimerBonFolderName + L"\\");
}
