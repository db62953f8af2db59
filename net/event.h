#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Results of event_object::Wait, as the kernel wait reports them.
inline constexpr std::uint32_t WaitInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t WaitObject0 = 0u;
inline constexpr std::uint32_t WaitTimeout = 0x102u;
inline constexpr std::uint32_t WaitFailed = 0xFFFFFFFFu;

// A named lock: free or taken, a wait takes it, a signal gives it back. Every
// handle opened on the same name, in this process or in another one of the
// same user, is the same lock, and a lock whose holder dies is free again.
// A holder takes and gives it back on one thread (on Windows it is a mutex,
// which another thread cannot give back) and never takes it twice.
class event_object {
public:
    // An empty name becomes "event" and the value of a process-wide counter.
    explicit event_object(const std::string& name = std::string(), bool initialState = true);
    // Opens a second handle on other's event (none when other has none).
    event_object(const event_object& other);
    event_object& operator=(const event_object&) = delete;
    ~event_object();

    // WaitObject0 when taken (also from a holder that died), WaitTimeout, or
    // WaitFailed without a handle.
    std::uint32_t Wait(std::uint32_t timeoutMs);
    // Gives the lock back; false without a handle.
    bool Signal();

    bool IsValid() const { return FHandle != nullptr; }
    const std::string& Name() const { return FName; }

private:
    void* FHandle;
    std::string FName;
};

// What ends a lock wait early: true once the program is stopping. Empty:
// nothing but the time-out does.
using LockStop = std::function<bool()>;

// How often a lock wait looks at its stop condition.
inline constexpr std::uint32_t LockStopCheckMs = 20;

// Takes the lock within timeoutMs, giving up early once stop says so. Another
// copy of the program, or one that hangs inside a lock, must never hold up
// this one for longer than its caller can wait. True when the lock was taken
// (or, without a handle, when there is nothing to wait for: the block then
// runs without exclusion).
bool TakeLock(event_object& event, std::uint32_t timeoutMs, const LockStop& stop = LockStop());

// Takes the lock through a handle of its own for the life of the holder and
// gives it back on every way out of the block. Held tells whether the wait
// succeeded; a block must not run when it did not.
class auto_lock_object {
public:
    auto_lock_object(const event_object& event, std::uint32_t timeoutMs, const LockStop& stop = LockStop());
    auto_lock_object(const auto_lock_object&) = delete;
    auto_lock_object& operator=(const auto_lock_object&) = delete;
    ~auto_lock_object();
    bool Held() const { return !FReleased; }

private:
    event_object FEvent;
    bool FReleased;
};

// Takes the lock through an existing handle; opens and closes nothing.
class auto_lock {
public:
    auto_lock(event_object* event, std::uint32_t timeoutMs, const LockStop& stop = LockStop());
    auto_lock(const auto_lock&) = delete;
    auto_lock& operator=(const auto_lock&) = delete;
    ~auto_lock();
    bool Held() const { return !FReleased; }

private:
    bool FReleased;
    event_object* FEvent;
};
