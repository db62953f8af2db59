#include <windows.h>

#include <string>
#include <string_view>

#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/platform_path.h"

const char PathSeparators[] = "\\/:";

namespace {

thread_local DWORD g_lastFailure = 0;

} // namespace

void NoteFileFailure()
{
    g_lastFailure = GetLastError();
}

std::string LastFileFailureText()
{
    if (g_lastFailure == 0)
        return std::string();
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, g_lastFailure, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide(text ? text : L"", length);
    LocalFree(text);
    // The system ends its sentences with a full stop and a line end; the
    // message it goes into has its own.
    while (!wide.empty() && std::wstring_view(L"\r\n .").find(wide.back()) != std::wstring_view::npos)
        wide.pop_back();
    if (wide.empty())
        return "error " + std::to_string(g_lastFailure);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp)
{
    std::string dir = ExtractFileDir(path);
    // GCC 12 takes std::string's copy of a short literal for a copy that may
    // overlap itself, a false alarm it is known for: a literal never shares
    // memory with a string's own buffer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    if (dir.empty())
        dir = ".";
#pragma GCC diagnostic pop
    char name[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), "vw", 0, name) == 0) {
        NoteFileFailure();
        return false;
    }
    temp = name;
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        NoteFileFailure();
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
    if (!ok)
        NoteFileFailure();
    if (!CloseHandle(file) && ok) {
        NoteFileFailure();
        ok = false;
    }
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
        NoteFileFailure();
        return false;
    }
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    NoteFileFailure();
    return false;
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
    if (CreateDirectoryA(dir.c_str(), nullptr))
        return true;
    NoteFileFailure();
    return false;
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
