#include "gui/vernwick_app.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/gui/main_form_layout.h"
#include "channel/channel_files.h"
#include "common/file_io.h"
#include "gui/gui_driver.h"
#include "support/tool_path.h"

VernwickApp::VernwickApp()
{
    std::filesystem::copy_file(SourceExe(), File("Vernwick.exe"));
}

std::string VernwickApp::SourceExe()
{
    const char* exe = std::getenv("VERNWICK_GUI_EXE");
    return exe && *exe ? exe : ToolPath("Vernwick");
}

VernwickApp::~VernwickApp()
{
    FChild.Terminate();
}

std::string VernwickApp::Ini() const
{
    return ReadWholeFile(IniPath()).value_or("<missing>");
}

std::string VernwickApp::ReadFile(const std::string& name) const
{
    return ReadWholeFile(File(name)).value_or("<missing>");
}

void VernwickApp::WriteIni(const std::string& bytes) const
{
    std::ofstream(IniPath(), std::ios::binary) << bytes;
}

void VernwickApp::WriteChannelFiles(const NamedNumberList& channels, const BonAliasList& aliases) const
{
    SaveChSetFile(ChSetFilePath(FDir.Folder()), channels);
    SaveChAliasFile(ChAliasFilePath(FDir.Folder()), aliases);
}

bool VernwickApp::Start(const std::vector<std::string>& args)
{
    if (!FChild.Start(File("Vernwick.exe"), args))
        return false;
    // Once the message loop waits for input, the window has its settings.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, Pid());
    if (process) {
        WaitForInputIdle(process, 10000);
        CloseHandle(process);
    }
    FWindow = gui::WaitForProcessWindow(Pid(), MainFormLayout::WindowClass, nullptr, false, 10000);
    return FWindow != nullptr;
}

void VernwickApp::EndPolitely(int stopWaitMs)
{
    if (!Running())
        return;
    while (auto box = gui::WaitForMessageBox(Pid(), 0))
        if (!gui::CloseMessageBox(box->window) && !gui::CloseMessageBox(box->window, IDCANCEL))
            break;
    PostMessageW(FWindow, WM_CLOSE, 0, 0);
    if (!WaitForExit(stopWaitMs + 5000)) {
        while (auto box = gui::WaitForMessageBox(Pid(), 0))
            if (!gui::CloseMessageBox(box->window))
                break;
        if (!WaitForExit(2000))
            Kill();
    }
}
