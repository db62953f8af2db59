#include <windows.h>

#include <string>

#include "common/file_io.h"
#include "common/platform_path.h"

const char PathSeparators[] = "\\/:";

bool ReplaceFileAtomically(const std::string& path, std::string_view contents)
{
    std::string dir = ExtractFileDir(path);
    if (dir.empty())
        dir = ".";
    char temp[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), "vw", 0, temp) == 0)
        return false;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(temp);
        return false;
    }
    bool ok = true;
    while (ok && !contents.empty()) {
        DWORD written = 0;
        const DWORD chunk = contents.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(contents.size());
        ok = WriteFile(file, contents.data(), chunk, &written, nullptr) && written > 0;
        contents.remove_prefix(written);
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileA(temp);
    return ok;
}

std::string ExecutablePath()
{
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::string();
    return std::string(buffer, n);
}
