#include "platform/prefaulted_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace folivo {
namespace {

constexpr std::size_t kMb = std::size_t{1} << 20;

TEST(PrefaultedBufferTest, HoldsItsWholeSizeZeroedAcrossHugeAndSmallPages)
{
    // Less than a page; a page and a byte; a scan's size, across a huge page and a tail.
    for (const std::size_t size : {std::size_t{1}, std::size_t{4097}, 3 * kMb + 417 * 1024}) {
        SCOPED_TRACE(size);
        PrefaultedBuffer buffer(size);
        ASSERT_FALSE(buffer.isNull());
        ASSERT_GE(buffer.capacity(), size);
        const char* begin = buffer.data();
        const char* end = begin + buffer.capacity();
        EXPECT_TRUE(std::all_of(begin, end, [](char c) { return c == 0; }));
        std::fill(buffer.data(), buffer.data() + buffer.capacity(), '\x5a');

        PrefaultedBuffer moved = std::move(buffer);
        EXPECT_TRUE(buffer.isNull()); // NOLINT(bugprone-use-after-move): what a move leaves
        EXPECT_EQ(moved.data()[moved.capacity() - 1], '\x5a');
    }
}

TEST(PrefaultedBufferTest, APoolGivesBackOnlyBuffersThatFitAndKeepsTheNewest)
{
    PrefaultedBufferPool pool(2, 4 * kMb);
    PrefaultedBuffer small(1 * kMb);
    PrefaultedBuffer middle(2 * kMb);
    PrefaultedBuffer large(4 * kMb);
    const char* const middleData = middle.data();
    const char* const largeData = large.data();
    pool.give(std::move(small));
    pool.give(std::move(middle));
    pool.give(std::move(large)); // the small one goes

    // A buffer more than a quarter larger is not handed out: a page would hold far more
    // memory than it needs.
    PrefaultedBuffer forSmall = pool.take(1 * kMb);
    EXPECT_NE(forSmall.data(), middleData);
    EXPECT_NE(forSmall.data(), largeData);
    EXPECT_GE(forSmall.capacity(), 1 * kMb);
    // A smaller one never is.
    PrefaultedBuffer forHuge = pool.take(5 * kMb);
    EXPECT_NE(forHuge.data(), largeData);
    EXPECT_GE(forHuge.capacity(), 5 * kMb);

    PrefaultedBuffer forMiddle = pool.take(2 * kMb - 4096);
    EXPECT_EQ(forMiddle.data(), middleData);
    EXPECT_EQ(pool.take(4 * kMb).data(), largeData);
}

} // namespace
} // namespace folivo
