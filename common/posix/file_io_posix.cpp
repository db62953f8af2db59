#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/platform_path.h"

const char PathSeparators[] = "/";
const char TextLineEnd[] = "\n";

namespace {

thread_local std::string g_lastFailure;

// Keeps the system's reason for a failed file operation of this thread.
template <class T>
T Failed(T result)
{
    const int error = errno;
    g_lastFailure = std::strerror(error);
    errno = error;
    return result;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void SyncFolder(const std::string& dir)
{
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string LastFileFailureText()
{
    return g_lastFailure;
}

std::FILE* OpenForReading(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    return file ? file : Failed<std::FILE*>(nullptr);
}

bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp)
{
    temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Failed(false);
    // Keep the mode of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
    if (!ok)
        Failed(false);
    ok = (::close(fd) == 0 || Failed(false)) && ok;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

bool MoveFileReplacing(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return Failed(false);
    SyncFolder(ExtractFileDir(to));
    return true;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& dir)
{
    return ::mkdir(dir.c_str(), 0777) == 0 || Failed(false);
}

bool RemoveEmptyFolder(const std::string& dir)
{
    return ::rmdir(dir.c_str()) == 0;
}

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(n));
}
