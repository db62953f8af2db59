// Paths are UTF-8 here and reach the system through the wide calls, so that a
// folder of any name, in any code page and of any length, is reached.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/platform_path.h"
#include "common/win32/wide_text.h"

const char PathSeparators[] = "\\/:";
const char TextLineEnd[] = "\r\n";

namespace {

thread_local std::string g_lastFailure;

// A path as the wide calls take it. One that nears MAX_PATH becomes a full
// path in the "\\?\" form, which no system limits to MAX_PATH.
std::wstring SystemPath(const std::string& path)
{
    std::wstring wide = WideFromUtf8(path);
    constexpr std::size_t ShortEnough = MAX_PATH - 14;  // room for a temporary file's name
    if (wide.size() < ShortEnough || wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? GetFullPathNameW(wide.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size)
        return wide;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Keeps the system's reason for a failed file operation of this thread.
void RecordFailure()
{
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' '))
        reason.pop_back();
    g_lastFailure = Utf8FromWide(reason);
    SetLastError(code);
}

template <class T>
T Failed(T result)
{
    RecordFailure();
    return result;
}

} // namespace

std::string LastFileFailureText()
{
    return g_lastFailure;
}

std::FILE* OpenForReading(const std::string& path)
{
    std::FILE* file = _wfopen(SystemPath(path).c_str(), L"rb");
    return file ? file : Failed<std::FILE*>(nullptr);
}

bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp)
{
    // Named after the file, in its folder, so that it can take the file's
    // place in one rename (GetTempFileName would stop at MAX_PATH).
    static std::atomic<unsigned> counter{0};
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = path + ".vw" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
        file = CreateFileW(SystemPath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return Failed(false);
    bool ok = true;
    while (ok && !contents.empty()) {
        DWORD written = 0;
        const DWORD chunk = contents.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(contents.size());
        ok = WriteFile(file, contents.data(), chunk, &written, nullptr) && written > 0;
        contents.remove_prefix(written);
    }
    ok = ok && FlushFileBuffers(file);
    if (!ok)
        RecordFailure();
    ok = CloseHandle(file) && ok;
    if (!ok)
        DeleteFileW(SystemPath(temp).c_str());
    return ok;
}

bool MoveFileReplacing(const std::string& from, const std::string& to)
{
    // A read-only file is the user's guard against changes and is not
    // replaced. Windows refuses the move by itself; Wine does not, so look.
    const std::wstring target = SystemPath(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return Failed(false);
    }
    if (!MoveFileExW(SystemPath(from).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Failed(false);
    return true;
}

bool RemoveFile(const std::string& path)
{
    return DeleteFileW(SystemPath(path).c_str());
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::string& dir)
{
    return CreateDirectoryW(SystemPath(dir).c_str(), nullptr) || Failed(false);
}

bool RemoveEmptyFolder(const std::string& dir)
{
    return RemoveDirectoryW(SystemPath(dir).c_str());
}

std::string ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size()) {
            // The ordinary form, which SystemPath turns back when needed.
            std::wstring path(buffer.data(), n);
            if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
                path = L"\\\\" + path.substr(8);
            else if (path.rfind(L"\\\\?\\", 0) == 0)
                path = path.substr(4);
            return Utf8FromWide(path);
        }
        if (buffer.size() >= 32768)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}
