#include "gui/vernwick_app.h"

#include <cstdlib>

#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "gui/gui_driver.h"
#include "support/tool_path.h"

namespace {

// A long path reaches the system whole in the "\\?\" form.
std::wstring SystemPath(const std::filesystem::path& path)
{
    const std::wstring full = std::filesystem::absolute(path).wstring();
    return full.size() < MAX_PATH - 14 ? full : L"\\\\?\\" + full;
}

} // namespace

std::string Utf8Path(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

VernwickApp::VernwickApp() : FFolder(FDir.Path())
{
    CopyFileW(std::filesystem::path(SourceExe()).wstring().c_str(), Beside("Vernwick.exe").c_str(), FALSE);
}

void VernwickApp::MoveInto(const std::wstring& name, std::size_t exePathLength)
{
    FFolder /= name;
    CreateDirectoryW(FFolder.wstring().c_str(), nullptr);
    // Folders of at most 100 characters, as deep as it takes.
    std::size_t left = exePathLength - FFolder.wstring().size() - std::wstring(L"\\Vernwick.exe").size();
    for (wchar_t letter = L'd'; left > 1; ++letter) {
        const std::size_t length = std::min<std::size_t>(left - 1, 100);
        FFolder /= std::wstring(length, letter);
        CreateDirectoryW(SystemPath(FFolder).c_str(), nullptr);
        left -= length + 1;
    }
    CopyFileW(std::filesystem::path(SourceExe()).wstring().c_str(), Beside("Vernwick.exe").c_str(), FALSE);
}

std::string VernwickApp::SourceExe()
{
    const char* exe = std::getenv("VERNWICK_GUI_EXE");
    return exe && *exe ? exe : ToolPath("Vernwick");
}

VernwickApp::~VernwickApp()
{
    FChild.Terminate();
    // A deep folder goes before TempDir, which cannot reach into it.
    if (FFolder != FDir.Path()) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((SystemPath(FFolder) + L"\\*").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
            DeleteFileW(SystemPath(FFolder / found.cFileName).c_str());
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        for (std::filesystem::path folder = FFolder; folder != FDir.Path(); folder = folder.parent_path())
            RemoveDirectoryW(SystemPath(folder).c_str());
    }
}

std::string VernwickApp::File(const std::string& name) const
{
    return Utf8Path(FFolder / std::filesystem::u8path(name));
}

std::wstring VernwickApp::Beside(const std::string& name) const
{
    return SystemPath(FFolder / std::filesystem::u8path(name));
}

std::string VernwickApp::ReadFile(const std::string& name) const
{
    return ReadWholeFile(File(name)).value_or("<missing>");
}

void VernwickApp::WriteFile(const std::string& name, const std::string& bytes) const
{
    ReplaceFileAtomically(File(name), bytes);
}

void VernwickApp::WriteChannelFiles(const NamedNumberList& channels, const BonAliasList& aliases) const
{
    WriteFile(ChSetFilePath(""), FormatChSetText(channels));
    WriteFile(ChAliasFilePath(""), FormatChAliasText(aliases));
}

bool VernwickApp::SetReadOnly(const std::string& name, bool readOnly) const
{
    return SetFileAttributesW(Beside(name).c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

bool VernwickApp::Start(const std::vector<std::string>& args)
{
    if (!FChild.Start(File("Vernwick.exe"), args))
        return false;
    // The first program of a fresh Wine prefix takes a while to start.
    FWindow = gui::WaitForProcessWindow(Pid(), MainFormLayout::WindowClass, nullptr, false, 30000);
    // The window exists before its controls; once its message loop takes what
    // is posted to one, the window has its settings.
    const auto field = [this] { return Control(MainFormLayout::RemoconAddrEd); };
    return FWindow != nullptr && WaitFor([&] { return field() != nullptr; }, 10000) && gui::AfterPosted(field());
}

void VernwickApp::EndPolitely(int stopWaitMs)
{
    if (!Running())
        return;
    while (auto box = gui::WaitForMessageBox(Pid(), 0))
        if (!gui::CloseMessageBox(box->window) && !gui::CloseMessageBox(box->window, IDCANCEL) &&
            !gui::CloseMessageBox(box->window, IDNO))
            break;
    PostMessageW(FWindow, WM_CLOSE, 0, 0);
    if (!WaitForExit(stopWaitMs + 5000)) {
        while (auto box = gui::WaitForMessageBox(Pid(), 0))
            if (!gui::CloseMessageBox(box->window))
                break;
        if (!WaitForExit(2000))
            FChild.Terminate();
    }
}
