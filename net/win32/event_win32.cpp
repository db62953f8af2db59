// Named locks for Windows: named mutexes. A mutex whose owner ends while
// holding it is abandoned and goes to the next waiter, so a copy of the
// program that is killed inside a lock never blocks the other copies; an
// event would stay taken for good. Each lock is taken and given back on one
// thread by the scoped holders, as a mutex requires.
#include <windows.h>

#include "net/event_platform.h"

namespace event_platform {

void* Create(const std::string& name, bool initialState)
{
    // Created free (signalled) unless asked otherwise; an existing mutex of
    // that name is opened as it is.
    return ::CreateMutexA(nullptr, initialState ? FALSE : TRUE, name.c_str());
}

void* Open(const std::string& name)
{
    return ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
}

void Close(void* handle)
{
    ::CloseHandle(static_cast<HANDLE>(handle));
}

std::uint32_t Wait(void* handle, std::uint32_t timeoutMs)
{
    const DWORD result = ::WaitForSingleObject(static_cast<HANDLE>(handle), timeoutMs);
    // Abandoned by a holder that ended without giving it back: it is ours now.
    return result == WAIT_ABANDONED ? WAIT_OBJECT_0 : result;
}

bool Signal(void* handle)
{
    return ::ReleaseMutex(static_cast<HANDLE>(handle)) != 0;
}

} // namespace event_platform
