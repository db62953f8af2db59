#pragma once
// The platform half of the named locks: each backend (posix/, win32/)
// implements exactly these on an opaque handle.
#include <cstdint>
#include <string>

namespace event_platform {

// Creates the event, or opens it when one of that name exists (initialState
// then has no effect). nullptr on failure.
void* Create(const std::string& name, bool initialState);
// Opens an existing event by name; nullptr on failure.
void* Open(const std::string& name);
void Close(void* handle);
// WaitObject0, WaitTimeout or WaitFailed (event.h).
std::uint32_t Wait(void* handle, std::uint32_t timeoutMs);
bool Signal(void* handle);

} // namespace event_platform
