#include "net/event.h"

#include <atomic>

#include "net/event_platform.h"

namespace {

std::atomic<std::uint32_t> g_nameCounter{0};

std::string NameOrGenerated(const std::string& name)
{
    if (!name.empty())
        return name;
    return "event" + std::to_string(g_nameCounter.fetch_add(1));
}

} // namespace

event_object::event_object(const std::string& name, bool initialState)
    : FName(NameOrGenerated(name))
{
    FHandle = event_platform::Create(FName, initialState);
}

event_object::event_object(const event_object& other)
    : FHandle(nullptr), FName(other.FName)
{
    if (other.FHandle)
        FHandle = event_platform::Open(FName);
}

event_object::~event_object()
{
    if (FHandle)
        event_platform::Close(FHandle);
}

std::uint32_t event_object::Wait(std::uint32_t timeoutMs)
{
    if (!FHandle)
        return WaitFailed;
    return event_platform::Wait(FHandle, timeoutMs);
}

bool event_object::Signal()
{
    if (!FHandle)
        return false;
    return event_platform::Signal(FHandle);
}

// A failed wait counts as held too: the block then runs without exclusion,
// and the signal on the way out is harmless.
auto_lock_object::auto_lock_object(const event_object& event)
    : FEvent(event)
{
    FReleased = FEvent.Wait(WaitInfinite) == WaitTimeout;
}

auto_lock_object::~auto_lock_object()
{
    if (!FReleased)
        FEvent.Signal();
    FReleased = true;
}

auto_lock::auto_lock(event_object* event)
    : FEvent(event)
{
    FReleased = FEvent->Wait(WaitInfinite) == WaitTimeout;
}

auto_lock::~auto_lock()
{
    if (!FReleased)
        FEvent->Signal();
    FReleased = true;
}
