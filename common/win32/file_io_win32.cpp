#include <windows.h>

#include <string>

#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/platform_path.h"

const char PathSeparators[] = "\\/:";

bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp)
{
    std::string dir = ExtractFileDir(path);
    if (dir.empty())
        dir = ".";
    char name[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), "vw", 0, name) == 0)
        return false;
    temp = name;
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
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
    if (!ok)
        DeleteFileA(name);
    return ok;
}

bool MoveFileReplacing(const std::string& from, const std::string& to)
{
    // A read-only file is the user's guard against changes and is not
    // replaced. Windows refuses the move by itself; Wine does not, so look.
    const DWORD attributes = GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool RemoveFile(const std::string& path)
{
    return DeleteFileA(path.c_str());
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::string& dir)
{
    return CreateDirectoryA(dir.c_str(), nullptr);
}

bool RemoveEmptyFolder(const std::string& dir)
{
    return RemoveDirectoryA(dir.c_str());
}

std::string ExecutablePath()
{
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::string();
    return std::string(buffer, n);
}
