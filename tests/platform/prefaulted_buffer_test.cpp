#include "platform/prefaulted_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
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

TEST(PrefaultedBufferTest, ALentBufferIsLentAgainOnceItsLastOwnerLetsGo)
{
    PrefaultedBufferPool pool(1, 4 * kMb);
    std::shared_ptr<PrefaultedBuffer> lent = pool.lend(2 * kMb);
    ASSERT_TRUE(lent);
    const char* const data = lent->data();
    std::shared_ptr<PrefaultedBuffer> copy = lent;
    lent.reset();
    // Still shown by the copy: lent again, one page's bytes would be another's.
    EXPECT_NE(pool.lend(2 * kMb)->data(), data);
    copy.reset();
    EXPECT_EQ(pool.lend(2 * kMb)->data(), data);
}

TEST(PrefaultedBufferTest, APoolKeepsTheNewestAndLendsOnlyBuffersThatFit)
{
    PrefaultedBufferPool pool(2, 4 * kMb);
    const char* middleData = nullptr;
    const char* largeData = nullptr;
    {
        std::shared_ptr<PrefaultedBuffer> small = pool.lend(1 * kMb);
        std::shared_ptr<PrefaultedBuffer> middle = pool.lend(2 * kMb);
        std::shared_ptr<PrefaultedBuffer> large = pool.lend(4 * kMb);
        ASSERT_TRUE(small && middle && large);
        middleData = middle->data();
        largeData = large->data();
        std::fill(middle->data(), middle->data() + middle->capacity(), '\x5a');
        small.reset();
        middle.reset();
        large.reset(); // the small one goes
    }

    // A buffer more than a quarter larger is not lent: a page would hold far more memory
    // than it needs.
    const std::shared_ptr<PrefaultedBuffer> forSmall = pool.lend(1 * kMb);
    EXPECT_NE(forSmall->data(), middleData);
    EXPECT_NE(forSmall->data(), largeData);
    EXPECT_GE(forSmall->capacity(), 1 * kMb);
    // A smaller one never is.
    const std::shared_ptr<PrefaultedBuffer> forHuge = pool.lend(5 * kMb);
    EXPECT_NE(forHuge->data(), largeData);
    EXPECT_GE(forHuge->capacity(), 5 * kMb);

    // A kept buffer comes with what it last held.
    const std::shared_ptr<PrefaultedBuffer> forMiddle = pool.lend(2 * kMb - 4096);
    EXPECT_EQ(forMiddle->data(), middleData);
    EXPECT_EQ(forMiddle->data()[0], '\x5a');
    EXPECT_EQ(pool.lend(4 * kMb)->data(), largeData);
}

} // namespace
} // namespace folivo
