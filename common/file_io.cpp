#include "common/file_io.h"

#include <cstdio>
#include <memory>

#include "common/platform_path.h"

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
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
