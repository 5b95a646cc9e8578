// The ring a body is read ahead into: bytes come out in order and whole across its wrap, with a
// writer and a reader on two threads in pieces of unrelated sizes, and the end is seen only after
// the last byte was taken.

#include "Platform/Windows/ReadAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace
{

uint8_t PatternAt(size_t i)
{
    return static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
}

TEST(WindowsReadAhead, BytesArriveInOrderAcrossTheWrapAndTheEndFollowsTheLast)
{
    const size_t total = 2 * Platform::ReadAhead::kCapacity + 12345;
    Platform::ReadAhead ahead;
    std::thread writer(
        [&]
        {
            for (size_t put = 0, step = 0; put < total; ++step)
            {
                size_t room = 0;
                uint8_t* space = ahead.Space(room);
                const size_t count = std::min({room, total - put, size_t{7919} + step % 5000});
                for (size_t i = 0; i < count; ++i)
                    space[i] = PatternAt(put + i);
                ahead.Commit(count);
                put += count;
                if (count == 0)
                    std::this_thread::yield();
            }
            ahead.Finish(0);
        });
    std::vector<uint8_t> received;
    std::vector<uint8_t> piece(1024 + 17);
    while (!ahead.Ended())
    {
        const size_t count = ahead.Take(piece.data(), piece.size());
        received.insert(received.end(), piece.begin(), piece.begin() + count);
        if (count == 0)
            std::this_thread::yield();
    }
    writer.join();
    ASSERT_EQ(received.size(), total);
    size_t wrong = 0;
    for (size_t i = 0; i < total; ++i)
        wrong += received[i] != PatternAt(i);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(ahead.EndError(), 0);
}

} // namespace
