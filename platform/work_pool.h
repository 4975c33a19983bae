#pragma once

#include <QThreadPool>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <type_traits>

namespace folivo {

/// The one way Folivo runs work off the user-interface thread: a pool of threads per
/// purpose (unpacking an archive, reading pages ahead, deleting old pages), each made where
/// that purpose lives and destroyed with it.
///
/// Who starts work: the owner of the pool, on any thread; work may start more work on its
/// own pool. Pieces of work begin in the order they were started, on at most `maxThreads`
/// threads at once (one at least).
///
/// Who waits for it, and where: whoever holds the future run() returned, or the owner through
/// waitForDone(). A worker thread may wait freely, though never for work queued behind it on
/// its own pool. The user-interface thread waits only inside an event loop (the work ends by
/// a queued call that quits the loop), or for work it knows ends soon: a page being read, the
/// end of work told to stop.
///
/// What the work may touch: its own data and what its owner hands it under a lock. Never a
/// widget, a message box or a setting: it reports through a callback that takes a lock, or
/// through a queued call to a QObject that lives on the user-interface thread. An exception
/// thrown by work started with run() is thrown again where its result is read; work started
/// with start() must not throw. The work and its result cross threads under std::mutex and
/// std::future, which ThreadSanitizer sees, never only through Qt's own locks, which it
/// cannot see.
///
/// Priority: a Background pool lowers each of its threads' priority before the work runs
/// (see lowerCurrentThreadPriority()), for work done ahead that nobody waits for yet; a
/// Normal pool leaves its threads as they are, for work someone is waiting for. A new thread
/// takes the priority of the thread that started the work, so a Normal pool is started from
/// threads at normal priority.
///
/// Destroying a pool waits for all the work it holds, running or not yet started: an owner
/// that must not wait for work it no longer wants tells that work to stop first.
class WorkPool final {
public:
    enum class Priority { Normal, Background };

    WorkPool(int maxThreads, Priority priority);
    /// Waits for every piece of work started on this pool.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    /// Runs `work` on one of the pool's threads, when one is free.
    void start(std::function<void()> work);

    /// Runs `work` as start() does; its result, or what it threw, comes through the future.
    /// The future is ready once the work has returned, possibly before the pool's thread has
    /// let go of what the work captured: waitForDone() and the pool's end wait for that too.
    template <typename Work> auto run(Work work) -> std::future<std::invoke_result_t<Work&>>
    {
        using Result = std::invoke_result_t<Work&>;
        // Shared: a std::function must be copyable, a packaged task is not.
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
        std::future<Result> result = task->get_future();
        start([task] { (*task)(); });
        return result;
    }

    /// Waits until every piece of work started so far, and any it started, has ended.
    void waitForDone();

    int maxThreadCount() const;

private:
    void runNext();

    const Priority m_priority;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    /// The work not yet begun. Qt's pool is handed only calls to runNext(), so that the work
    /// itself crosses threads under m_mutex.
    std::deque<std::function<void()>> m_waiting;
    int m_unfinished = 0;
    /// Last, so that it goes first: its threads must be gone before what they lock.
    QThreadPool m_pool;
};

} // namespace folivo
