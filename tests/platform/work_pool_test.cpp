// The pools that run work off the user-interface thread: what their threads run at, what a
// waiter gets back, and that a pool's end waits for all it was given.
#include "platform/work_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace folivo {
namespace {

int threadNice()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

TEST(WorkPoolTest, BackgroundWorkRunsBelowTheCallersPriorityAndNormalWorkAtIt)
{
    WorkPool background(1, WorkPool::Priority::Background);
    WorkPool normal(1, WorkPool::Priority::Normal);
    EXPECT_GT(background.run(threadNice).get(), threadNice());
    EXPECT_EQ(normal.run(threadNice).get(), threadNice());
}

TEST(WorkPoolTest, TheWaiterGetsTheResultOrWhatTheWorkThrew)
{
    WorkPool pool(2, WorkPool::Priority::Normal);
    std::future<int> answer = pool.run([] { return 42; });
    std::future<int> failure = pool.run([]() -> int { throw std::runtime_error("unreadable"); });
    EXPECT_EQ(answer.get(), 42);
    EXPECT_THROW(failure.get(), std::runtime_error);
}

TEST(WorkPoolTest, EndingAPoolWaitsForTheWorkRunningAndTheWorkNotYetStarted)
{
    std::atomic<int> done{0};
    {
        WorkPool pool(1, WorkPool::Priority::Background);
        pool.start([&] {
            // Still running when the pool ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++done;
        });
        pool.start([&] { ++done; });
        pool.start([&] { ++done; });
    }
    EXPECT_EQ(done, 3);
}

} // namespace
} // namespace folivo
