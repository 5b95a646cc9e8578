// Ownership of the libcurl handle owners; run under AddressSanitizer a double cleanup or a
// leaked handle in any move fails the build's sanitizer check.

#include "Platform/Linux/CurlHandles.h"

#include <gtest/gtest.h>

#include <utility>

namespace
{

TEST(CurlHandles, MoveConstructionTransfersTheHandle)
{
    Platform::CurlEasy easy = Platform::CurlEasy::Create();
    ASSERT_TRUE(easy);
    CURL* raw = easy.get();
    Platform::CurlEasy moved(std::move(easy));
    EXPECT_EQ(moved.get(), raw);
    EXPECT_EQ(easy.get(), nullptr);

    Platform::CurlMulti multi = Platform::CurlMulti::Create();
    ASSERT_TRUE(multi);
    CURLM* rawMulti = multi.get();
    Platform::CurlMulti movedMulti(std::move(multi));
    EXPECT_EQ(movedMulti.get(), rawMulti);
    EXPECT_FALSE(multi);
}

TEST(CurlHandles, MoveAssignmentReleasesTheOldHandleAndTakesTheNew)
{
    Platform::CurlEasy first = Platform::CurlEasy::Create();
    Platform::CurlEasy second = Platform::CurlEasy::Create();
    ASSERT_TRUE(first && second);
    CURL* kept = second.get();
    first = std::move(second);
    EXPECT_EQ(first.get(), kept);
    EXPECT_FALSE(second);
    second = std::move(first); // back into the moved-from owner
    EXPECT_EQ(second.get(), kept);

    Platform::CurlMulti multiA = Platform::CurlMulti::Create();
    Platform::CurlMulti multiB = Platform::CurlMulti::Create();
    multiA = std::move(multiB);
    EXPECT_TRUE(multiA);
    EXPECT_FALSE(multiB);
}

TEST(CurlHandles, SelfMoveAssignmentKeepsTheHandle)
{
    Platform::CurlEasy easy = Platform::CurlEasy::Create();
    CURL* raw = easy.get();
    Platform::CurlEasy& alias = easy;
    easy = std::move(alias);
    EXPECT_EQ(easy.get(), raw);

    Platform::CurlHeaderList list;
    ASSERT_TRUE(list.Append("A: 1"));
    Platform::CurlHeaderList& listAlias = list;
    list = std::move(listAlias);
    EXPECT_NE(list.get(), nullptr);
}

TEST(CurlHandles, HeaderListMovesAndResets)
{
    Platform::CurlHeaderList list;
    ASSERT_TRUE(list.Append("A: 1"));
    ASSERT_TRUE(list.Append("B: 2"));
    Platform::CurlHeaderList other;
    ASSERT_TRUE(other.Append("C: 3"));
    other = std::move(list); // C's list is freed, A and B move over
    EXPECT_EQ(list.get(), nullptr);
    ASSERT_NE(other.get(), nullptr);
    Platform::CurlHeaderList third(std::move(other));
    EXPECT_EQ(other.get(), nullptr);
    third.reset();
    EXPECT_EQ(third.get(), nullptr);
    EXPECT_TRUE(third.Append("D: 4"));
}

} // namespace
