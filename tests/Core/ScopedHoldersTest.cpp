#include "Core/ScopedHandle.h"
#include "Core/ScopedLock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "Platform/FileIo.h"

namespace
{

// An open descriptor of a scratch file that is deleted at once.
Platform::NativeHandle OpenScratchFile()
{
    char name[] = "/tmp/norvia_scoped_XXXXXX";
    int fd = ::mkstemp(name);
    ::unlink(name);
    return fd;
}

bool IsOpen(Platform::NativeHandle handle)
{
    uint64_t size = 0;
    return Platform::GetFileSize(handle, size);
}

} // namespace

TEST(ScopedHandleOwnership, DestructorClosesTheHandle)
{
    Platform::NativeHandle fd = OpenScratchFile();
    ASSERT_NE(fd, Platform::kInvalidHandle);
    {
        nd::ScopedHandle holder(fd);
        EXPECT_TRUE(holder.IsValid());
        EXPECT_EQ(holder.Get(), fd);
    }
    EXPECT_FALSE(IsOpen(fd));
    EXPECT_EQ(Platform::LastErrorNumber(), EBADF);
}

TEST(ScopedHandleOwnership, EmptyHolderIsInvalid)
{
    nd::ScopedHandle holder;
    EXPECT_FALSE(holder.IsValid());
    EXPECT_EQ(holder.Get(), Platform::kInvalidHandle);
}

TEST(ScopedHandleOwnership, MoveAssignmentClosesTheOldHandleOnly)
{
    Platform::NativeHandle first = OpenScratchFile(), second = OpenScratchFile();
    nd::ScopedHandle a(first), b(second);
    a = std::move(b);
    EXPECT_FALSE(IsOpen(first));
    EXPECT_TRUE(IsOpen(second));
    EXPECT_EQ(a.Get(), second);
    EXPECT_FALSE(b.IsValid());
    a = std::move(a);
    EXPECT_TRUE(IsOpen(second));
}

TEST(ScopedHandleOwnership, ReleaseHandsOverWithoutClosing)
{
    Platform::NativeHandle fd = OpenScratchFile();
    Platform::NativeHandle released;
    {
        nd::ScopedHandle holder(fd);
        nd::ScopedHandle moved(std::move(holder));
        released = moved.Release();
    }
    EXPECT_TRUE(IsOpen(released));
    Platform::CloseNativeHandle(released);
}

TEST(ScopedLockHolding, SameThreadMayEnterAgain)
{
    nd::CriticalSection section;
    nd::ScopedLock outer(&section);
    nd::ScopedLock inner(&section);
    EXPECT_TRUE(section.TryEnter());
    section.Leave();
}

TEST(ScopedLockHolding, OtherThreadsWaitUntilTheBlockEnds)
{
    nd::CriticalSection section;
    bool enteredWhileHeld = true;
    {
        nd::ScopedLock hold(&section);
        std::thread other([&] {
            enteredWhileHeld = section.TryEnter();
            if (enteredWhileHeld)
                section.Leave();
        });
        other.join();
    }
    EXPECT_FALSE(enteredWhileHeld);
    bool enteredAfterwards = false;
    std::thread later([&] {
        enteredAfterwards = section.TryEnter();
        if (enteredAfterwards)
            section.Leave();
    });
    later.join();
    EXPECT_TRUE(enteredAfterwards);
}
