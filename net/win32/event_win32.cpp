#include <windows.h>

#include "net/event_platform.h"

namespace event_platform {

void* Create(const std::string& name, bool initialState)
{
    // Auto-reset, so that one wait lets exactly one holder through.
    return ::CreateEventA(nullptr, FALSE, initialState ? TRUE : FALSE, name.c_str());
}

void* Open(const std::string& name)
{
    return ::OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
}

void Close(void* handle)
{
    ::CloseHandle(static_cast<HANDLE>(handle));
}

std::uint32_t Wait(void* handle, std::uint32_t timeoutMs)
{
    // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED; an event is never abandoned.
    return ::WaitForSingleObject(static_cast<HANDLE>(handle), timeoutMs);
}

bool Signal(void* handle)
{
    return ::SetEvent(static_cast<HANDLE>(handle)) != 0;
}

} // namespace event_platform
