#include "platform/work_pool.h"

#include "platform/thread_priority.h"

#include <algorithm>

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
    if (m_priority == Priority::Normal) {
        m_pool.start(std::move(work));
        return;
    }
    // Each time: the pool tells nobody when it makes a thread, and lowering a thread that is
    // low already costs one system call.
    m_pool.start([work = std::move(work)] {
        lowerCurrentThreadPriority();
        work();
    });
}

void WorkPool::waitForDone()
{
    m_pool.waitForDone();
}

int WorkPool::maxThreadCount() const
{
    return m_pool.maxThreadCount();
}

} // namespace folivo
