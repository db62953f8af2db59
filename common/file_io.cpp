#include "common/file_io.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/file_io_platform.h"
#include "common/platform_path.h"

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(OpenForReading(path), &std::fclose);
    if (!f)
        return std::nullopt;
    std::string data;
    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
        data.append(buffer, n);
        if (n < sizeof buffer)
            break;
    }
    if (std::ferror(f.get()))
        return std::nullopt;
    return data;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents)
{
    std::string temp;
    if (!WriteTemporaryFileBeside(path, contents, temp))
        return false;
    if (MoveFileReplacing(temp, path))
        return true;
    RemoveFile(temp);
    return false;
}

std::optional<std::size_t> ReplaceFilesTogether(const std::vector<FileReplacement>& files)
{
    // What each file held, to put back. A folder standing in a file's way
    // holds nothing to put back and cannot be replaced either.
    std::vector<std::optional<std::string>> old(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        old[i] = ReadWholeFile(files[i].path);
        if (!old[i] && PathExists(files[i].path) && !FolderExists(files[i].path))
            return i;
    }

    std::vector<std::string> temps;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string temp;
        if (!WriteTemporaryFileBeside(files[i].path, files[i].contents, temp)) {
            for (const std::string& written : temps)
                RemoveFile(written);
            return i;
        }
        temps.push_back(std::move(temp));
    }

    for (std::size_t i = 0; i < files.size(); ++i) {
        if (MoveFileReplacing(temps[i], files[i].path))
            continue;
        for (std::size_t j = i; j < files.size(); ++j)
            RemoveFile(temps[j]);
        for (std::size_t j = i; j-- > 0;) {
            if (old[j])
                ReplaceFileAtomically(files[j].path, *old[j]);
            else
                RemoveFile(files[j].path);
        }
        return i;
    }
    return std::nullopt;
}

namespace {

bool IsSeparator(char c)
{
    return c != '\0' && std::strchr(PathSeparators, c) != nullptr;
}

} // namespace

bool CreateFolders(const std::string& dir, std::vector<std::string>& created)
{
    // A drive ("C:") keeps its colon; other trailing separators go.
    std::string folder = dir;
    while (!folder.empty() && IsSeparator(folder.back()) && folder.back() != ':')
        folder.pop_back();
    if (folder.empty() || FolderExists(folder))
        return true;
    const std::string parent = ExtractFileDir(folder);
    if (!parent.empty() && parent.size() < folder.size() && !CreateFolders(parent, created))
        return false;
    if (!CreateFolder(folder))
        return FolderExists(folder);
    created.push_back(folder);
    return true;
}

void RemoveCreatedFolders(const std::vector<std::string>& created)
{
    for (std::size_t i = created.size(); i-- > 0;)
        RemoveEmptyFolder(created[i]);
}

std::string ExtractFileDir(const std::string& path)
{
    const std::size_t pos = path.find_last_of(PathSeparators);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t pos = path.find_last_of(PathSeparators);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExecutableDir()
{
    return ExtractFileDir(ExecutablePath());
}

std::string WithTrailingSeparator(const std::string& dir)
{
    if (dir.empty() || ExtractFileName(dir).empty())
        return dir;
    return dir + "/";
}
