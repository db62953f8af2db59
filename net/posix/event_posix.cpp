// Named locks for POSIX. Within the process a lock is a binary semaphore per
// name; between processes the holder also owns an flock() on a file named
// after the lock in a folder private to the user. The kernel drops an flock
// when its holder dies, so a crashed copy never leaves a lock taken, and the
// folder's 0700 mode keeps other users from reaching (or holding) the locks.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "net/event.h"
#include "net/event_platform.h"

namespace event_platform {

namespace {

using Clock = std::chrono::steady_clock;

struct NamedLock {
    std::string path; // lock file, empty when only in-process exclusion is possible
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
    // The lock file, open while any handle of this process is: only the
    // holder within this process ever takes or drops the file lock through
    // it, and opening it afresh for every wait cost more than the exchange
    // it guarded.
    int fd = -1;
    bool fileLocked = false;
    int handles = 0;
};

std::mutex g_registryMutex;
std::map<std::string, NamedLock*>& Registry()
{
    static auto* registry = new std::map<std::string, NamedLock*>();
    return *registry;
}

bool IsPrivateFolder(const std::string& dir)
{
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

// The user's lock folder, created on first use; empty when none can be had
// safely (for instance when someone else owns the expected folder).
std::string LockFolder()
{
    static const std::string folder = [] {
        std::string base;
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/' && IsPrivateFolder(runtime))
            base = std::string(runtime) + "/vernwick-locks";
        else
            base = "/tmp/vernwick-locks-" + std::to_string(::geteuid());
        ::mkdir(base.c_str(), 0700);
        return IsPrivateFolder(base) ? base : std::string();
    }();
    return folder;
}

// Lock names become file names: letters and digits stay, other bytes are
// written as %XX so that no name can leave the folder.
std::string FileNameFor(const std::string& name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + ".lock";
}

int OpenLockFile(const std::string& path)
{
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

// Takes the file lock; called by the holder within this process only.
bool LockFile(NamedLock& lock, bool forever, Clock::time_point deadline, bool& timedOut)
{
    timedOut = false;
    if (lock.fd < 0)
        lock.fd = OpenLockFile(lock.path);
    if (lock.fd < 0)
        return false;
    for (;;) {
        if (::flock(lock.fd, forever ? LOCK_EX : (LOCK_EX | LOCK_NB)) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || (!forever && Clock::now() >= deadline)) {
            timedOut = errno == EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

NamedLock* Acquire(const std::string& name, bool create, bool initialState)
{
    std::lock_guard<std::mutex> guard(g_registryMutex);
    auto& registry = Registry();
    auto it = registry.find(name);
    if (it == registry.end()) {
        if (!create)
            return nullptr;
        auto* lock = new NamedLock;
        const std::string folder = LockFolder();
        if (!folder.empty())
            lock->path = folder + "/" + FileNameFor(name);
        // A lock created taken is taken only within this process; other
        // processes see it free until someone holds it.
        lock->held = !initialState;
        it = registry.emplace(name, lock).first;
    }
    NamedLock* lock = it->second;
    if (lock->handles++ == 0 && !lock->path.empty()) {
        std::lock_guard<std::mutex> guard(lock->mutex);
        if (lock->fd < 0)
            lock->fd = OpenLockFile(lock->path);
    }
    return lock;
}

} // namespace

void* Create(const std::string& name, bool initialState)
{
    return Acquire(name, true, initialState);
}

void* Open(const std::string& name)
{
    return Acquire(name, false, true);
}

void Close(void* handle)
{
    // A lock, once named in this process, stays registered: a holder may
    // still be inside it on another thread.
    auto* lock = static_cast<NamedLock*>(handle);
    std::lock_guard<std::mutex> guard(g_registryMutex);
    if (--lock->handles > 0)
        return;
    std::lock_guard<std::mutex> lockGuard(lock->mutex);
    if (!lock->held && lock->fd >= 0) {
        ::close(lock->fd);
        lock->fd = -1;
    }
}

std::uint32_t Wait(void* handle, std::uint32_t timeoutMs)
{
    auto* lock = static_cast<NamedLock*>(handle);
    const bool forever = timeoutMs == WaitInfinite;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    {
        std::unique_lock<std::mutex> guard(lock->mutex);
        if (forever)
            lock->released.wait(guard, [&] { return !lock->held; });
        else if (!lock->released.wait_until(guard, deadline, [&] { return !lock->held; }))
            return WaitTimeout;
        lock->held = true;
    }
    if (lock->path.empty())
        return WaitObject0;
    // Only this thread touches the file lock now: it holds the lock within
    // the process.
    bool timedOut = false;
    const bool locked = LockFile(*lock, forever, deadline, timedOut);
    std::lock_guard<std::mutex> guard(lock->mutex);
    if (timedOut) {
        lock->held = false;
        lock->released.notify_one();
        return WaitTimeout;
    }
    // When the lock file cannot be used at all the lock still excludes
    // within this process.
    lock->fileLocked = locked;
    return WaitObject0;
}

bool Signal(void* handle)
{
    auto* lock = static_cast<NamedLock*>(handle);
    std::lock_guard<std::mutex> guard(lock->mutex);
    if (!lock->held)
        return true;
    if (lock->fileLocked)
        ::flock(lock->fd, LOCK_UN);
    lock->fileLocked = false;
    lock->held = false;
    lock->released.notify_one();
    return true;
}

} // namespace event_platform
