#pragma once
// The lock the engine's shared objects own, and the holder that keeps it for one block.

#include <mutex>

namespace nd
{

// A lock the holding thread may enter again (recursive). Also usable with std::lock_guard.
class CriticalSection
{
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { mutex.lock(); }
    void Leave() { mutex.unlock(); }
    bool TryEnter() { return mutex.try_lock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mutex;
};

// Enters the lock on construction and leaves it on destruction. A null lock is ignored.
class ScopedLock
{
public:
    explicit ScopedLock(CriticalSection* section) : section(section)
    {
        if (section)
            section->Enter();
    }
    ~ScopedLock()
    {
        if (section)
            section->Leave();
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
    ScopedLock(ScopedLock&&) = delete;
    ScopedLock& operator=(ScopedLock&&) = delete;

private:
    CriticalSection* section;
};

} // namespace nd
