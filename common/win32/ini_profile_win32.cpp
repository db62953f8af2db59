// The platform's private-profile service. Saving goes through a copy of the
// file that replaces it only once every key has been written, because the
// service rewrites the file in place and a crash there would leave it cut.
#include "common/ini_profile.h"

#include <windows.h>

#include <vector>

namespace {

// The service looks for a file given without a full path in the Windows
// folder; the file meant is the one the path names from the current folder.
std::string FullPath(const std::string& path)
{
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::string full(size, '\0');
    const DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

} // namespace

std::string ReadProfileString(const std::string& givenPath, std::string_view section, std::string_view key,
                              std::string_view defaultValue)
{
    const std::string path = FullPath(givenPath);
    std::vector<char> buffer(ProfileValueLimit + 1, '\0');
    const std::string s(section), k(key), d(defaultValue);
    const DWORD length = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.c_str());
    return std::string(buffer.data(), length);
}

bool WriteProfileStrings(const std::string& givenPath, std::string_view section, const ProfileEntries& entries)
{
    const std::string path = FullPath(givenPath);
    const std::string temp = path + ".tmp";
    const DWORD attributes = GetFileAttributesA(path.c_str());
    // A read-only file stays as it is. Replacing it through the copy would
    // otherwise succeed wherever the file system lets an administrator write
    // anything.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    DeleteFileA(temp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !CopyFileA(path.c_str(), temp.c_str(), FALSE))
        return false;
    const std::string s(section);
    for (const auto& [key, value] : entries) {
        if (!WritePrivateProfileStringA(s.c_str(), key.c_str(), value.c_str(), temp.c_str())) {
            DeleteFileA(temp.c_str());
            return false;
        }
    }
    // Flush the service's cached copy before the file changes its name.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, temp.c_str());
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}
