#pragma once
// Vernwick.exe copied into a temporary folder of its own, so that its ini
// and channel files beside it are the test's, started and watched there.
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "process/child_process.h"
#include "support/temp_dir.h"

class VernwickApp {
public:
    // In a folder of the test's own.
    VernwickApp();
    // Moved, before it starts, into a folder of this name, and folders below
    // it deep enough to make its own path exePathLength characters long.
    void MoveInto(const std::wstring& name, std::size_t exePathLength);
    // The program copied: the build's own, or the one VERNWICK_GUI_EXE names
    // (the Vernwick.exe of an unpacked zip, for one).
    static std::string SourceExe();
    // A program still running is ended by force.
    ~VernwickApp();
    VernwickApp(const VernwickApp&) = delete;
    VernwickApp& operator=(const VernwickApp&) = delete;

    const std::filesystem::path& Folder() const { return FFolder; }
    // A file beside it, as the program's file functions take it (UTF-8).
    std::string File(const std::string& name) const;
    // A file beside it: its bytes, or "<missing>".
    std::string ReadFile(const std::string& name) const;
    std::string Ini() const { return ReadFile("Vernwick.ini"); }
    void WriteFile(const std::string& name, const std::string& bytes) const;
    void WriteIni(const std::string& bytes) const { WriteFile("Vernwick.ini", bytes); }
    void WriteChannelFiles(const NamedNumberList& channels, const BonAliasList& aliases) const;
    // Makes a file beside it read-only, or writable again.
    bool SetReadOnly(const std::string& name, bool readOnly) const;

    // Starts it and waits (30 s at most) for its main window, with the
    // settings loaded and the message loop running.
    bool Start(const std::vector<std::string>& args = {});
    DWORD Pid() const { return static_cast<DWORD>(FChild.Id()); }
    HWND Window() const { return FWindow; }
    HWND Control(int id) const { return GetDlgItem(FWindow, id); }
    bool Running() { return FChild.Running(); }
    std::optional<int> WaitForExit(int ms) { return FChild.Wait(ms); }
    void Kill() { FChild.Terminate(); }
    // Closes it as a user would, message boxes first, and kills it only when
    // that fails: a program ended by force while it holds one of the named
    // locks that every copy shares would leave it taken for all the others.
    void EndPolitely(int stopWaitMs);

private:
    // A file beside it as the system takes it, long paths included.
    std::wstring Beside(const std::string& name) const;

    TempDir FDir;
    std::filesystem::path FFolder;
    ChildProcess FChild;
    HWND FWindow = nullptr;
};

// A path as the program's file functions take it.
std::string Utf8Path(const std::filesystem::path& path);
