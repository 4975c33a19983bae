#pragma once

#include "picture/picture_loader.h"
#include "platform/file_stamp.h"
#include "platform/work_pool.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace folivo {

/// How the next page turn will size its page, read on the user-interface thread when a page
/// has been shown: the view area, the zoom the turn enters with, and the screen.
struct PageTurnSizing {
    std::int32_t viewWidth = 0;  ///< twips
    std::int32_t viewHeight = 0; ///< twips
    double bairitu = 1.0;        ///< 1, or the kept zoom when the magnification is fixed
    bool zoomFixed = false;      ///< 倍率固定: the zoom carries over to the next page
    double twipsPerPixel = 15.0;
    qreal devicePixelRatio = 1.0;

    bool operator==(const PageTurnSizing&) const = default;
};

/// How the reader turns the pages: reading each, or flicking through faster than a page can
/// be read.
enum class Pace { Reading, Flicking };

/// A page rendered ahead of its turn. Usually only the pixels are kept: the turn reads the
/// file itself, as it would without reading ahead, and draws these pixels only when the file
/// is still the one they were rendered from.
struct PreparedPage {
    QImage image;    ///< in device pixels, its ratio set
    FileStamp stamp; ///< of the file the pixels come from
    /// The first page at start-up is read whole as well, so that the window, built meanwhile,
    /// has nothing left to read: the file as it was when `stamp` was taken. Null otherwise.
    Picture picture;
};

/// Reads and renders the pages around the one on screen on worker threads, so that a page
/// turn finds its picture ready and only draws it.
///
/// Only what a turn would compute anyway is done ahead: the neighbours are found with the
/// same stepping procedures, the picture loaded and fitted with the same functions, from
/// plain copies of the page state. Nothing here touches a widget, shows a message or writes
/// a setting, and failures are never kept: a page that cannot be read ahead is simply loaded
/// by its turn, which reports what goes wrong then. A prepared page is handed out only while
/// its file is unchanged on disk. Memory is bounded by a few screen-sized pages (see
/// kByteBudget), and by what each worker may take while it draws one.
///
/// Every call comes from the user-interface thread, but for expectUnpackedFolder() and
/// fileUnpacked(). Its waits end soon: take() waits only for the one page being read, and
/// destruction only for the pages being read.
class PagePrefetch {
public:
    PagePrefetch();
    /// Drops the work not started and waits for the pages being read.
    ~PagePrefetch();
    PagePrefetch(const PagePrefetch&) = delete;
    PagePrefetch& operator=(const PagePrefetch&) = delete;

    /// After the page `name` of `folder` is shown: prepare the page a turn in `direction`
    /// (+1, -1; 0 keeps the last one) would show, and the one a turn back while reading (the
    /// page after the one ahead stays if it is held already). While flicking, the next
    /// kFlickingAhead pages in that direction instead, nearest first: every worker decodes one
    /// of them at once, and a worker that is done starts the next at once, so that the next
    /// flicks find their pages ready or half done.
    void prepareAround(const QString& folder, const QString& name, int direction,
                       const PageTurnSizing& sizing, Pace pace);

    /// After a two-page spread is shown: prepare the pages of the spreads the next turns would
    /// show, `spreads` in the order they are wanted, each one page or two in reading order. A
    /// page with a partner is drawn at the size it takes beside it.
    void prepareSpreads(const QList<QStringList>& spreads, const PageTurnSizing& sizing);

    /// At start-up, while the windows are still being built: prepare the first page of
    /// `folder`, the one opening it shows, at full priority, its picture read whole.
    void prepareFirstPage(const QString& folder, const PageTurnSizing& sizing);

    /// While an archive unpacks into `folder`, which is opened next: `files` are the paths,
    /// relative to it, of every file it is to hold. The page that opening the folder shows
    /// first is prepared as soon as fileUnpacked() says it is written, at full priority (its
    /// pixels only). Both may be called from any thread.
    void expectUnpackedFolder(const QString& folder, const QStringList& files,
                              const PageTurnSizing& sizing);
    void fileUnpacked(const QString& file);

    /// The page at `path` if it was prepared from the file as it is now, at the screen's
    /// current resolution. Waits while that page is being read; never reads it itself. The
    /// page stays prepared for a later turn back to it. The caller reads the file after this
    /// and compares the stamp again: the file may change in between.
    std::optional<PreparedPage> take(const QString& path, double twipsPerPixel);

    /// Forgets every prepared page (nothing is waited for).
    void clear();

    /// Off, nothing is prepared and every turn loads its page itself (to measure and to
    /// compare against). Switching off forgets what was prepared.
    void setEnabled(bool enabled);
    /// Whether a page is being prepared or waits to be.
    bool working() const;

    /// The pages prepared ahead while flicking: one more than the workers decode at once on
    /// two cores, so that a worker done before the next turn has the one after to start.
    static constexpr int kFlickingAhead = 3;

    /// Upper bound of the bytes of pixels held by prepared pages and pages being rendered.
    /// Within it, the pages held are the ones the next turns want: two screen-sized pages
    /// while reading (a spread's pages are half a screen each), kFlickingAhead (one more)
    /// while flicking; the page after the one ahead, when held from flicking, stays while
    /// reading too. A page that stops being wanted while it is being drawn is let go once
    /// drawn, so that for the length of a decode it may come on top of these.
    static constexpr qint64 kByteBudget = qint64{48} * 1024 * 1024;
    /// A page is read ahead only when reading and drawing it takes at most this much at once
    /// (its file's bytes, what it decodes to, the decoder's buffers): a picture that must be
    /// decoded whole far beyond the size it is shown at is left to its turn.
    static constexpr qint64 kPageByteBudget = qint64{128} * 1024 * 1024;

private:
    // For tests and benchmarks (view/page_prefetch_testing.h).
    friend qint64 heldBytes(const PagePrefetch& prefetch);
    friend void waitUntilIdle(PagePrefetch& prefetch);
    friend void setBeforeDecode(PagePrefetch& prefetch,
                                std::function<void(const QString& path)> beforeDecode);

    struct Plan {
        QString folder;
        QString name;
        int direction = 1;
        PageTurnSizing sizing;
        Pace pace = Pace::Reading;
    };
    /// The page shown beside a page of a spread; no path for a page alone.
    struct Partner {
        QString path;
        bool pageIsFirst = true; ///< the page itself comes first in reading order

        bool operator==(const Partner&) const = default;
    };
    struct Entry {
        QString path;
        PageTurnSizing sizing;
        Partner partner;
        PreparedPage page;
        qint64 bytes = 0;
    };

    void startWorkers(std::unique_lock<std::mutex>& lock);
    void startFirstPage(const QString& path, const PageTurnSizing& sizing, bool readWhole);
    void work(bool background);
    void runPlan(const Plan& plan, std::uint64_t generation);
    void prepare(const QString& path, std::uint64_t generation);
    void dropUnwanted();

    mutable std::mutex m_mutex;
    /// Told whenever a page leaves m_busy: take() waits on it while its page is being read.
    /// The pools cannot tell this: they know pieces of work, and a worker reads one page
    /// after another in one piece.
    std::condition_variable m_pageRead;
    std::uint64_t m_generation = 0;
    std::optional<Plan> m_plan;
    PageTurnSizing m_sizing;
    int m_direction = 1;
    QStringList m_wanted;
    QHash<QString, Partner> m_partners; ///< of the wanted pages that stand in a pair
    /// The pages to read, in order, taken by the workers one at a time. Kept here rather than
    /// as pieces of work in the pool, because it changes after it is made: each plan replaces
    /// it, and a turn takes out the page it will read itself.
    std::deque<QString> m_queue;
    QString m_readWhole;   ///< the page whose picture is kept with its pixels
    QString m_awaitedFile; ///< the first page of a folder being unpacked, until it is written
    QString m_awaitedPath; ///< where the turn will look for it
    QStringList m_busy;    ///< pages being read
    std::vector<Entry> m_entries;
    qint64 m_heldBytes = 0;
    int m_workers = 0;           ///< pieces of work started on the pools and not yet ended
    int m_backgroundWorkers = 0; ///< of them, on m_pool
    /// Of those, the ones reading a page or running a plan: they take no other work before
    /// they are done with it.
    int m_backgroundBusy = 0;
    /// Told of each page just before it is decoded, on the worker's thread (for tests). Set
    /// before any page is prepared.
    std::function<void(const QString& path)> m_beforeDecode;
    bool m_enabled = true;
    bool m_stopping = false;

    /// Last, so that they go first, each waiting for its work, which uses everything above.
    /// Every core reads ahead: the page ahead and the one behind while the reader reads, the
    /// pages ahead while they flick; at the lowered priority of work nobody waits for yet, so that
    /// the page on screen and the window come first.
    WorkPool m_pool;
    /// The first page's worker: the reader is waiting for that page, so its thread keeps
    /// its priority.
    WorkPool m_firstPagePool{1, WorkPool::Priority::Normal};
};

} // namespace folivo
