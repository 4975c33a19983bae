#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

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
/// its own pool. The user-interface thread waits only inside an event loop (a QFutureWatcher
/// tells the loop the work has ended), or for work it knows ends soon: a page being read, the
/// end of work told to stop.
///
/// What the work may touch: its own data and what its owner hands it under a lock. Never a
/// widget, a message box or a setting: it reports through a callback that takes a lock, or
/// through a queued call to a QObject that lives on the user-interface thread. An exception
/// thrown by work started with run() is thrown again where its result is read; work started
/// with start() must not throw.
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
    template <typename Work> auto run(Work work) -> QFuture<std::invoke_result_t<Work&>>
    {
        using Result = std::invoke_result_t<Work&>;
        // Shared: a std::function must be copyable, a promise is not.
        auto promise = std::make_shared<QPromise<Result>>();
        QFuture<Result> future = promise->future();
        promise->start();
        start([promise, work = std::move(work)]() mutable {
            try {
                if constexpr (std::is_void_v<Result>)
                    work();
                else
                    promise->addResult(work());
            } catch (...) {
                promise->setException(std::current_exception());
            }
            promise->finish();
        });
        return future;
    }

    /// Waits until every piece of work started so far, and any it started, has ended.
    void waitForDone();

    int maxThreadCount() const;

private:
    QThreadPool m_pool;
    Priority m_priority;
};

} // namespace folivo
