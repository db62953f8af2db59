#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "common/file_io.h"
#include "common/file_io_platform.h"
#include "common/platform_path.h"

const char PathSeparators[] = "/";

namespace {

thread_local int g_lastFailure = 0;

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

void NoteFileFailure()
{
    g_lastFailure = errno;
}

std::string LastFileFailureText()
{
    return g_lastFailure == 0 ? std::string() : std::generic_category().message(g_lastFailure);
}

bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp)
{
    temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        NoteFileFailure();
        return false;
    }
    // Keep the mode of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
    if (!ok)
        NoteFileFailure();
    if (::close(fd) != 0 && ok) {
        NoteFileFailure();
        ok = false;
    }
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

bool MoveFileReplacing(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0) {
        NoteFileFailure();
        return false;
    }
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
    if (::mkdir(dir.c_str(), 0777) == 0)
        return true;
    NoteFileFailure();
    return false;
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
