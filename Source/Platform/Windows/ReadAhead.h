#pragma once
// The body of one answer, read ahead by the call thread into a bounded ring and taken by the
// reader in whatever pieces it asks for. One writer (the call thread) and one reader; neither
// waits on or signals a kernel object for a piece: under wine each such wait is a round trip to
// the wine server, and the reader asks for 1 KiB at a time. A side that finds nothing to do
// polls, the reader every millisecond, the writer (held back by a paused reader) less often.
// Windows-only helper of this folder.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

namespace Platform
{

class ReadAhead
{
public:
    static constexpr size_t kCapacity = 2 * 1024 * 1024;

    ReadAhead() : ring(std::make_unique<uint8_t[]>(kCapacity)) {}
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // [SECTION] Writer

    // Where the next bytes go and how many fit there in one piece (0 while the ring is full).
    uint8_t* Space(size_t& contiguous) const
    {
        const uint64_t writeAt = written.load(std::memory_order_relaxed);
        const size_t room = kCapacity - static_cast<size_t>(writeAt - taken.load(std::memory_order_acquire));
        const size_t offset = static_cast<size_t>(writeAt % kCapacity);
        contiguous = room < kCapacity - offset ? room : kCapacity - offset;
        return ring.get() + offset;
    }
    // Free bytes in all.
    size_t Room() const
    {
        return kCapacity - static_cast<size_t>(written.load(std::memory_order_relaxed) -
                                               taken.load(std::memory_order_acquire));
    }
    void Commit(size_t count) { written.fetch_add(count, std::memory_order_release); }
    // The body ended: error 0 at its end, else the failure (and what was thrown, if anything).
    void Finish(int error, std::exception_ptr thrown = nullptr)
    {
        failure = std::move(thrown);
        endError = error;
        ended.store(true, std::memory_order_release);
    }
    bool QuitAsked() const { return quit.load(std::memory_order_acquire); }

    // [SECTION] Reader

    // Up to size bytes that arrived; 0 when none are there yet (see Ended).
    size_t Take(void* buffer, size_t size)
    {
        const uint64_t readAt = taken.load(std::memory_order_relaxed);
        const size_t ready = static_cast<size_t>(written.load(std::memory_order_acquire) - readAt);
        const size_t count = size < ready ? size : ready;
        const size_t offset = static_cast<size_t>(readAt % kCapacity);
        const size_t first = count < kCapacity - offset ? count : kCapacity - offset;
        auto* out = static_cast<uint8_t*>(buffer);
        std::memcpy(out, ring.get() + offset, first);
        std::memcpy(out + first, ring.get(), count - first);
        taken.store(readAt + count, std::memory_order_release);
        return count;
    }
    bool HasBytes() const
    {
        return written.load(std::memory_order_acquire) != taken.load(std::memory_order_relaxed);
    }
    // True once the writer finished and every byte before its end was taken.
    bool Ended() const
    {
        return ended.load(std::memory_order_acquire) &&
               taken.load(std::memory_order_relaxed) == written.load(std::memory_order_acquire);
    }
    int EndError() const { return endError; }
    std::exception_ptr Thrown() const { return failure; }
    // The reader leaves: the writer stops before its next piece.
    void Quit() { quit.store(true, std::memory_order_release); }

private:
    std::unique_ptr<uint8_t[]> ring;
    std::atomic<uint64_t> written{0}; // bytes ever put in (the writer's)
    std::atomic<uint64_t> taken{0};   // bytes ever taken out (the reader's)
    std::atomic<bool> ended{false};
    std::atomic<bool> quit{false};
    int endError = 0;           // written before ended is set, read after it was seen
    std::exception_ptr failure; // likewise
};

} // namespace Platform
