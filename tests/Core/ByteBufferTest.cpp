#include "Core/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

// Lets the allocation-failure tests see a null result under AddressSanitizer too.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

using nd::ByteBuffer;

namespace
{

std::vector<uint8_t> Bytes(const ByteBuffer& buffer)
{
    return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size());
}

// An empty buffer owns no block at all: a null pointer, not a zero-length allocation.
::testing::AssertionResult HoldsNothing(const ByteBuffer& buffer)
{
    if (buffer.Data() == nullptr && buffer.Size() == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "Data() is " << static_cast<const void*>(buffer.Data()) << " and Size() is " << buffer.Size();
}

constexpr size_t kImpossible = std::numeric_limits<size_t>::max() - 4096;

} // namespace

TEST(ByteBufferConstruction, EmptyBufferHasNoBlock)
{
    ByteBuffer buffer(0);
    EXPECT_TRUE(HoldsNothing(buffer));
}

TEST(ByteBufferConstruction, ZeroFlagClearsTheBytes)
{
    ByteBuffer buffer(64, true);
    ASSERT_EQ(buffer.Size(), 64u);
    EXPECT_EQ(Bytes(buffer), std::vector<uint8_t>(64, 0));
}

TEST(ByteBufferConstruction, CopyOfEmptyIsEmptyWithNullData)
{
    ByteBuffer empty;
    ByteBuffer copy(empty);
    EXPECT_TRUE(HoldsNothing(copy));
}

TEST(ByteBufferConstruction, CopyOwnsItsOwnBlock)
{
    ByteBuffer original;
    original.Append("xyz", 3);
    ByteBuffer copy(original);
    ASSERT_NE(copy.Data(), original.Data());
    original.Data()[0] = 'q';
    EXPECT_EQ(Bytes(copy), (std::vector<uint8_t>{'x', 'y', 'z'}));
}

TEST(ByteBufferConstruction, CopyAssignmentDoesNotShareOrLeak)
{
    ByteBuffer a, b;
    a.Append("one", 3);
    b.Append("second", 6);
    b = a;
    ASSERT_NE(a.Data(), b.Data());
    EXPECT_EQ(Bytes(b), Bytes(a));
    b = b;
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{'o', 'n', 'e'}));
    ByteBuffer empty;
    b = empty;
    EXPECT_TRUE(HoldsNothing(b));
}

TEST(ByteBufferConstruction, MoveLeavesTheSourceEmpty)
{
    ByteBuffer source;
    source.Append("abc", 3);
    uint8_t* block = source.Data();
    ByteBuffer target(std::move(source));
    EXPECT_EQ(target.Data(), block);
    EXPECT_TRUE(HoldsNothing(source));

    ByteBuffer other;
    other.Append("zz", 2);
    other = std::move(target);
    EXPECT_EQ(other.Data(), block);
    EXPECT_EQ(other.Size(), 3u);
    EXPECT_EQ(target.Size(), 0u);
}

TEST(ByteBufferAppend, AppendingToEmptyGivesExactlyThoseBytes)
{
    ByteBuffer buffer(0);
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_TRUE(buffer.Append(bytes, 3));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(ByteBufferAppend, WideTextBecomesLittleEndianCodeUnits)
{
    ByteBuffer buffer;
    buffer.Append(std::u16string(u"ab"));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{0x61, 0x00, 0x62, 0x00}));
    buffer.Append(std::u16string(u"\u20AC"));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{0x61, 0x00, 0x62, 0x00, 0xAC, 0x20}));
}

TEST(ByteBufferAppend, TextIsAppendedWithoutTerminator)
{
    ByteBuffer buffer;
    buffer.Append(std::string("ab"));
    buffer.Append(std::string("c"));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(ByteBufferAppend, AppendingAnotherBufferAndItself)
{
    ByteBuffer a, b;
    a.Append("ab", 2);
    b.Append("cd", 2);
    a.Append(b);
    EXPECT_EQ(Bytes(a), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
    a.Append(a);
    EXPECT_EQ(Bytes(a), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd'}));
    ByteBuffer empty;
    a.Append(empty);
    EXPECT_EQ(a.Size(), 8u);
}

// A buffer grown to its exact size on every append copies everything it holds each time: a
// 16 MiB answer read in 1 KiB pieces would copy 128 GiB.
TEST(ByteBufferAppend, ManySmallPiecesGrowTheBlockGeometrically)
{
    ByteBuffer buffer;
    std::vector<uint8_t> piece(1024);
    int growths = 0;
    for (int i = 0; i < 4096; ++i)
    {
        piece.assign(piece.size(), static_cast<uint8_t>(i));
        const uint64_t before = buffer.Capacity();
        ASSERT_TRUE(buffer.Append(piece.data(), piece.size()));
        growths += buffer.Capacity() != before;
    }
    EXPECT_LE(growths, 13);
    ASSERT_EQ(buffer.Size(), 4096u * 1024u);
    EXPECT_GE(buffer.Capacity(), buffer.Size());
    EXPECT_EQ(buffer.Data()[4095 * 1024], static_cast<uint8_t>(4095));
    ByteBuffer copy(buffer);
    EXPECT_EQ(copy.Capacity(), copy.Size());
    buffer.Resize(10);
    EXPECT_EQ(buffer.Capacity(), 10u);
}

TEST(ByteBufferAssign, EmptySourceLeavesTargetUnchanged)
{
    ByteBuffer target;
    target.Append("keep", 4);
    ByteBuffer empty;
    target.Assign(empty);
    EXPECT_EQ(Bytes(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST(ByteBufferAssign, ReplacesTheContent)
{
    ByteBuffer target, source;
    target.Append("longer text", 11);
    source.Append("ab", 2);
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(Bytes(target), (std::vector<uint8_t>{'a', 'b'}));
}

TEST(ByteBufferResize, KeepsThePrefixAndZeroClears)
{
    ByteBuffer buffer;
    buffer.Append("abcdef", 6);
    buffer.Resize(3);
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{'a', 'b', 'c'}));
    buffer.Resize(5);
    EXPECT_EQ(buffer.Size(), 5u);
    EXPECT_EQ(std::memcmp(buffer.Data(), "abc", 3), 0);
    buffer.Zero();
    EXPECT_EQ(Bytes(buffer), std::vector<uint8_t>(5, 0));
    buffer.Resize(0);
    EXPECT_TRUE(HoldsNothing(buffer));
}

TEST(ByteBufferResize, FreeEmptiesTheBuffer)
{
    ByteBuffer buffer(10);
    buffer.Free();
    EXPECT_TRUE(HoldsNothing(buffer));
    buffer.Free();
    EXPECT_EQ(buffer.Size(), 0u);
}

TEST(ByteBufferAllocationFailure, ConstructorDoesNotClaimASize)
{
    ByteBuffer buffer(kImpossible);
    EXPECT_TRUE(HoldsNothing(buffer));
}

TEST(ByteBufferAllocationFailure, AllocateLeavesAnEmptyBuffer)
{
    ByteBuffer buffer;
    buffer.Append("abc", 3);
    EXPECT_FALSE(buffer.Allocate(kImpossible));
    EXPECT_TRUE(HoldsNothing(buffer));
}

TEST(ByteBufferAllocationFailure, ResizeAndAppendKeepTheOldContent)
{
    ByteBuffer buffer;
    buffer.Append("abc", 3);
    EXPECT_FALSE(buffer.Resize(kImpossible));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{'a', 'b', 'c'}));
    uint8_t byte = 0;
    EXPECT_FALSE(buffer.Append(&byte, std::numeric_limits<size_t>::max()));
    EXPECT_EQ(Bytes(buffer), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_FALSE(buffer.Append(nullptr, 4));
    EXPECT_EQ(buffer.Size(), 3u);
}
