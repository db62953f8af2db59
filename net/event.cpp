#include "net/event.h"

#include <algorithm>
#include <atomic>
#include <chrono>

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

bool TakeLock(event_object& event, std::uint32_t timeoutMs, const LockStop& stop)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop && stop())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        auto slice = static_cast<std::uint32_t>(left > 0 ? left : 0);
        if (stop)
            slice = std::min(slice, LockStopCheckMs);
        // A failed wait counts as taken: the block then runs without
        // exclusion, and the signal on the way out is harmless.
        if (event.Wait(slice) != WaitTimeout)
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

auto_lock_object::auto_lock_object(const event_object& event, std::uint32_t timeoutMs, const LockStop& stop)
    : FEvent(event)
{
    FReleased = !TakeLock(FEvent, timeoutMs, stop);
}

auto_lock_object::~auto_lock_object()
{
    if (!FReleased)
        FEvent.Signal();
    FReleased = true;
}

auto_lock::auto_lock(event_object* event, std::uint32_t timeoutMs, const LockStop& stop)
    : FEvent(event)
{
    FReleased = !TakeLock(*FEvent, timeoutMs, stop);
}

auto_lock::~auto_lock()
{
    if (!FReleased)
        FEvent->Signal();
    FReleased = true;
}
