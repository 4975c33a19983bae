#include "platform/work_pool.h"

#include "platform/thread_priority.h"

#include <algorithm>
#include <utility>

namespace folivo {

WorkPool::WorkPool(int maxThreads, Priority priority)
    : m_priority(priority)
{
    m_pool.setMaxThreadCount(std::max(1, maxThreads));
}

WorkPool::~WorkPool()
{
    waitForDone();
}

void WorkPool::start(std::function<void()> work)
{
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(work));
        ++m_unfinished;
    }
    m_pool.start([this] { runNext(); });
}

void WorkPool::runNext()
{
    // Each time: the pool tells nobody when it makes a thread, and lowering a thread that is
    // low already costs one system call.
    if (m_priority == Priority::Background)
        lowerCurrentThreadPriority();
    std::function<void()> work;
    {
        const std::lock_guard lock(m_mutex);
        work = std::move(m_waiting.front());
        m_waiting.pop_front();
    }
    work();
    // What the work captured goes before anyone waiting hears it has ended.
    work = nullptr;
    const std::lock_guard lock(m_mutex);
    --m_unfinished;
    // Under the lock: a waiter that wakes may destroy the pool at once.
    m_ended.notify_all();
}

void WorkPool::waitForDone()
{
    std::unique_lock lock(m_mutex);
    m_ended.wait(lock, [&] { return m_unfinished == 0; });
}

int WorkPool::maxThreadCount() const
{
    return m_pool.maxThreadCount();
}

} // namespace folivo
