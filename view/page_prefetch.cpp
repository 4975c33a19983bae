#include "view/page_prefetch.h"

#include "picture/jpeg_scaled.h"
#include "platform/blanks.h"
#include "platform/combo_box.h"
#include "platform/dir_listing.h"
#include "platform/error.h"
#include "platform/path_separator.h"
#include "platform/screen.h"
#include "settings/reading_options.h"
#include "view/fit_search.h"
#include "view/image_control.h"
#include "view/page_list.h"
#include "view/page_prefetch_testing.h"
#include "view/page_shape.h"

#include <QThread>

#include <algorithm>
#include <exception>

namespace folivo {
namespace {

// Read as each page is loaded: the reader turns the option on or off at any time.
PictureFormats pageFormats()
{
    return ReadingOptions::isOn(ReadingOptions::Option::MoreFormats) ? PictureFormats::More
                                                                     : PictureFormats::Classic;
}

/// A combo box's text copied off the user-interface thread: the stepping procedures read
/// nothing else of the boxes they are handed.
class TextOnly final : public ComboBox {
public:
    explicit TextOnly(QString text)
        : m_text(std::move(text))
    {
    }
    QString text() const override { return m_text; }
    void setText(const QString& text) override { m_text = text; }
    int listCount() const override { return 0; }
    QString list(int) const override { return QString(); }
    void addItem(const QString&) override {}
    void clear() override { m_text.clear(); }

private:
    QString m_text;
};

// The names the turns would reach, found as File_Step finds them (without its end-of-list
// messages: an end is simply no page to prepare), all from one reading of the listing.
class FolderSteps {
public:
    explicit FolderSteps(const QString& folder)
        : m_pages(Mod_Varnox::folderPictures(TextOnly(folder)))
    {
    }

    /// The page one turn in `direction` (+1, -1) from `name`; "" at an end.
    QString step(const QString& name, int direction) const
    {
        if (trimBlanks(name).isEmpty())
            return QString();
        // Listed names are used whole: a page's name may begin with a blank.
        const qsizetype at = m_pages.indexOf(name);
        const qsizetype to = at + direction;
        if (at < 0 || to < 0 || to >= m_pages.size())
            return QString();
        return m_pages.at(to);
    }

private:
    QStringList m_pages;
};

constexpr qint64 kBytesPerPixel = 4;

} // namespace

PagePrefetch::PagePrefetch()
    : m_pool(QThread::idealThreadCount(), WorkPool::Priority::Background)
{
}

PagePrefetch::~PagePrefetch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_plan.reset();
        m_queue.clear();
    }
    // A worker ends after the page it is reading. The first page's may still hand a plan to
    // the background pool, which is why that pool is waited for after it.
    m_firstPagePool.waitForDone();
    m_pool.waitForDone();
}

void PagePrefetch::prepareAround(const QString& folder, const QString& name, int direction,
                                 const PageTurnSizing& sizing, Pace pace)
{
    std::unique_lock lock(m_mutex);
    if (!m_enabled)
        return;
    ++m_generation;
    if (direction != 0)
        m_direction = direction > 0 ? 1 : -1;
    // The work queued for the last page stays until this plan replaces it: while the reader
    // flicks, it is mostly this plan's work as well.
    m_plan = Plan{folder, name, m_direction, sizing, pace};
    m_readWhole.clear(); // a page is on screen: nobody waits for the first one any more
    m_awaitedFile.clear();
    startWorkers(lock);
}

void PagePrefetch::prepareSpreads(const QList<QStringList>& spreads, const PageTurnSizing& sizing)
{
    QStringList wanted;
    QHash<QString, Partner> partners;
    for (const QStringList& spread : spreads) {
        for (const QString& path : spread) {
            if (!wanted.contains(path))
                wanted.append(path);
        }
        if (spread.size() == 2) {
            partners.insert(spread[0], Partner{spread[1], true});
            partners.insert(spread[1], Partner{spread[0], false});
        }
    }
    std::unique_lock lock(m_mutex);
    if (!m_enabled || m_stopping)
        return;
    ++m_generation;
    m_plan.reset();
    m_readWhole.clear();
    m_awaitedFile.clear();
    m_sizing = sizing;
    m_wanted = wanted;
    m_partners = partners;
    dropUnwanted();
    m_queue.assign(wanted.begin(), wanted.end());
    startWorkers(lock);
}

void PagePrefetch::prepareFirstPage(const QString& folder, const PageTurnSizing& sizing)
{
    QString first;
    try {
        // An empty page name steps to the folder's first page, without any message.
        first = Mod_Varnox::File_Step(TextOnly(folder), TextOnly(QString()), 1);
    } catch (...) {
        return; // opening the folder reports what is wrong with it
    }
    if (first.isEmpty())
        return;
    const std::lock_guard lock(m_mutex);
    startFirstPage(joinPath(folder, first), sizing, true);
}

void PagePrefetch::expectUnpackedFolder(const QString& folder, const QStringList& files,
                                        const PageTurnSizing& sizing)
{
    // The folder's first page as its listing will show it.
    const qsizetype firstIndex = Mod_Varnox::firstPictureAmong(files);
    const QString first = firstIndex < 0 ? QString() : files.at(firstIndex);
    const std::lock_guard lock(m_mutex);
    if (!m_enabled || m_stopping)
        return;
    ++m_generation;
    m_plan.reset();
    m_queue.clear();
    m_sizing = sizing;
    const QString path = first.isEmpty() ? QString() : joinPath(folder, first);
    m_wanted = path.isEmpty() ? QStringList() : QStringList{path};
    m_partners.clear();
    dropUnwanted();
    m_readWhole.clear();
    m_awaitedFile = first;
    m_awaitedPath = path;
}

void PagePrefetch::fileUnpacked(const QString& file)
{
    const std::lock_guard lock(m_mutex);
    if (m_awaitedFile.isEmpty() || file != m_awaitedFile)
        return;
    m_awaitedFile.clear();
    // Only its pixels are kept: the unpacking holds large buffers of its own meanwhile, and
    // the file, just written, is still in memory when the turn reads it.
    if (m_enabled && !m_stopping)
        startFirstPage(m_awaitedPath, m_sizing, false);
}

// Under the lock.
void PagePrefetch::startFirstPage(const QString& path, const PageTurnSizing& sizing, bool readWhole)
{
    if (!m_enabled || m_stopping)
        return;
    ++m_generation;
    m_plan.reset();
    m_sizing = sizing;
    m_wanted = QStringList{path};
    m_partners.clear();
    dropUnwanted();
    m_queue.assign(1, path);
    m_readWhole = readWhole ? path : QString();
    // Not one of the background workers: the reader is waiting for this page.
    ++m_workers;
    m_firstPagePool.start([this] { work(false); });
}

std::optional<PreparedPage> PagePrefetch::take(const QString& path, double twipsPerPixel)
{
    std::unique_lock lock(m_mutex);
    // Not started yet: the turn reads it as fast as a worker would.
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), path), m_queue.end());
    m_pageRead.wait(lock, [&] { return !m_busy.contains(path); });
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const Entry& entry) { return entry.path == path; });
    if (found == m_entries.end())
        return std::nullopt;
    // Kept as well (its pixels are shared with the screen's): the page on screen is the one a
    // turn back shows once the reader has turned on. Its picture goes to the turn alone.
    Entry entry = *found;
    found->page.picture = Picture();
    m_readWhole.clear();
    lock.unlock();

    if (entry.sizing.twipsPerPixel != twipsPerPixel)
        return std::nullopt;
    // Replaced, cut short, touched or removed since it was read: the turn draws it itself.
    if (fileStamp(path) != entry.page.stamp)
        return std::nullopt;
    return std::move(entry.page);
}

void PagePrefetch::clear()
{
    const std::lock_guard lock(m_mutex);
    ++m_generation;
    m_plan.reset();
    m_queue.clear();
    m_wanted.clear();
    m_partners.clear();
    m_readWhole.clear();
    m_awaitedFile.clear();
    dropUnwanted();
}

void PagePrefetch::setEnabled(bool enabled)
{
    if (!enabled)
        clear();
    const std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

bool PagePrefetch::working() const
{
    const std::lock_guard lock(m_mutex);
    return m_workers > 0 || m_plan || !m_queue.empty();
}

qint64 heldBytes(const PagePrefetch& prefetch)
{
    const std::lock_guard lock(prefetch.m_mutex);
    return prefetch.m_heldBytes;
}

void setBeforeDecode(PagePrefetch& prefetch, std::function<void(const QString& path)> beforeDecode)
{
    const std::lock_guard lock(prefetch.m_mutex);
    prefetch.m_beforeDecode = std::move(beforeDecode);
}

void waitUntilIdle(PagePrefetch& prefetch)
{
    // In this order: the first page's worker may hand a plan on to the background pool.
    prefetch.m_firstPagePool.waitForDone();
    prefetch.m_pool.waitForDone();
}

// A worker busy with a page takes nothing else until it is done with it: while the reader
// flicks, one usually is, and the next plan and its pages go to another core at once.
void PagePrefetch::startWorkers(std::unique_lock<std::mutex>&)
{
    const auto pending = static_cast<int>(m_queue.size()) + (m_plan ? 1 : 0);
    while (m_backgroundWorkers < m_pool.maxThreadCount() &&
           m_backgroundWorkers - m_backgroundBusy < pending) {
        ++m_workers;
        ++m_backgroundWorkers;
        m_pool.start([this] { work(true); });
    }
}

void PagePrefetch::work(bool background)
{
    const int busy = background ? 1 : 0;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        const std::uint64_t generation = m_generation;
        if (m_plan) {
            const Plan plan = *std::exchange(m_plan, std::nullopt);
            m_backgroundBusy += busy;
            lock.unlock();
            runPlan(plan, generation);
            lock.lock();
            m_backgroundBusy -= busy;
            continue;
        }
        if (m_queue.empty())
            break;
        const QString path = m_queue.front();
        m_queue.pop_front();
        // Flicking: the page being read for the last plan is most likely this plan's too.
        if (m_busy.contains(path))
            continue;
        m_busy.append(path);
        m_backgroundBusy += busy;
        lock.unlock();
        prepare(path, generation);
        lock.lock();
        m_backgroundBusy -= busy;
        m_busy.removeOne(path);
        m_pageRead.notify_all();
    }
    --m_workers;
    if (background)
        --m_backgroundWorkers;
}

void PagePrefetch::runPlan(const Plan& plan, std::uint64_t generation)
{
    QStringList wanted;
    QString beyond;
    try {
        const FolderSteps steps(plan.folder);
        // Nearest first: the workers take them in this order.
        QStringList names{steps.step(plan.name, plan.direction)};
        if (plan.pace == Pace::Flicking) {
            while (names.size() < kFlickingAhead && !names.last().isEmpty())
                names.append(steps.step(names.last(), plan.direction));
        } else {
            names.append(steps.step(plan.name, -plan.direction));
            const QString next = steps.step(names.first(), plan.direction);
            if (!next.isEmpty() && next != plan.name)
                beyond = joinPath(plan.folder, next);
        }
        for (const QString& name : names) {
            const QString path = joinPath(plan.folder, name);
            if (!name.isEmpty() && name != plan.name && !wanted.contains(path))
                wanted.append(path);
        }
    } catch (...) {
        // A folder that cannot be listed now is reported by the turn that steps into it.
        wanted.clear();
        beyond.clear();
    }

    std::unique_lock lock(m_mutex);
    if (generation != m_generation || m_stopping)
        return;
    m_sizing = plan.sizing;
    m_wanted = wanted;
    m_partners.clear();
    // While reading, the page after the one ahead stays when it is held already, drawn or
    // being drawn for flicking: a reader who pauses and flicks on finds it, and it costs
    // nothing otherwise. Held pages stay within the flicking pace's count.
    const bool held = std::any_of(m_entries.begin(), m_entries.end(),
                                  [&](const Entry& entry) { return entry.path == beyond; });
    if (!beyond.isEmpty() && !wanted.contains(beyond) && (held || m_busy.contains(beyond)))
        m_wanted.append(beyond);
    dropUnwanted();
    m_queue.assign(wanted.begin(), wanted.end());
    startWorkers(lock);
}

void PagePrefetch::prepare(const QString& path, std::uint64_t generation)
{
    qint64 reserved = 0;
    try {
        const std::optional<FileStamp> stamp = fileStamp(path);
        if (!stamp)
            return;
        PageTurnSizing sizing;
        Partner partner;
        bool readWhole = false;
        std::function<void(const QString&)> beforeDecode;
        {
            const std::lock_guard lock(m_mutex);
            if (generation != m_generation)
                return;
            sizing = m_sizing;
            partner = m_partners.value(path);
            readWhole = path == m_readWhole;
            for (const Entry& entry : m_entries) {
                if (entry.path == path && entry.page.stamp == *stamp && entry.sizing == sizing &&
                    entry.partner == partner)
                    return;
            }
            beforeDecode = m_beforeDecode;
        }
        if (beforeDecode)
            beforeDecode(path);
        // A page of a pair takes its size from its partner's shape as well; a partner whose
        // size in pixels its header does not tell leaves the page to its turn.
        std::optional<QSize> partnerTwips;
        if (!partner.path.isEmpty()) {
            const std::optional<PageShape> shape = readPageShape(partner.path);
            if (!shape || !shape->raster)
                return;
            partnerTwips = QSize(pixelsToTwips(shape->size.width(), sizing.twipsPerPixel),
                                 pixelsToTwips(shape->size.height(), sizing.twipsPerPixel));
        }

        // The size the turn will draw a picture of this natural size at, its bytes reserved
        // first; none when the page is not wanted any more or would not fit the budget.
        const auto reserveDeviceSize = [&](const QSize& naturalTwips) {
            const int mode2 = sizing.zoomFixed ? 1 : 0;
            QSize twips;
            if (partnerTwips) {
                const QSize& first = partner.pageIsFirst ? naturalTwips : *partnerTwips;
                const QSize& second = partner.pageIsFirst ? *partnerTwips : naturalTwips;
                const SpreadFit spread =
                    fitSpread(first.width(), first.height(), second.width(), second.height(),
                              sizing.bairitu, 1.0, sizing.viewWidth, sizing.viewHeight, 1, mode2);
                twips = QSize(partner.pageIsFirst ? spread.firstWidth : spread.secondWidth,
                              spread.fit.height);
            } else {
                const FitResult fit =
                    fitPage(naturalTwips.width(), naturalTwips.height(), sizing.bairitu, 1.0,
                            sizing.viewWidth, sizing.viewHeight, 1, mode2);
                twips = QSize(fit.width, fit.height);
            }
            const QSize pixels(twipsToPixels(twips.width(), sizing.twipsPerPixel),
                               twipsToPixels(twips.height(), sizing.twipsPerPixel));
            const QSize device = ImageControl::deviceSize(pixels, sizing.devicePixelRatio);
            if (device.isEmpty())
                return QSize();
            const qint64 bytes = qint64{device.width()} * device.height() * kBytesPerPixel;
            const std::lock_guard lock(m_mutex);
            m_heldBytes -= std::exchange(reserved, 0);
            if (!m_wanted.contains(path) || m_heldBytes + bytes > kByteBudget)
                return QSize();
            m_heldBytes += bytes;
            reserved = bytes;
            return device;
        };

        // A JPEG read ahead is decoded from the file as it is read: no copy of its bytes is
        // held, and libjpeg's own buffers stay within the page's budget.
        std::optional<QImage> image;
        if (!readWhole) {
            image = decodeJpegFileScaledDown(
                path,
                [&](const QSize& pixels) {
                    return reserveDeviceSize(
                        QSize(pixelsToTwips(pixels.width(), sizing.twipsPerPixel),
                              pixelsToTwips(pixels.height(), sizing.twipsPerPixel)));
                },
                kPageByteBudget);
        }
        Picture picture;
        if (!image) {
            // Read whole and decoded whole: neither may exceed the page's budget, which is
            // known from the file's size and then from the picture's header.
            if (stamp->size > kPageByteBudget)
                throw Error(ErrorNumber::OutOfMemory);
            picture = loadRasterPicture(path, pageFormats());
            // A metafile is left to the turn: its libraries stay on the user-interface thread.
            if (picture.isNull())
                throw Error(ErrorNumber::InvalidPicture);
            const QSize device = reserveDeviceSize(picture.naturalSizeTwips(sizing.twipsPerPixel));
            image = device.isEmpty() || picture.renderBytes(device) > kPageByteBudget
                        ? QImage()
                        : picture.render(device);
        }
        // Nothing wanted, or a file that changed while it was read: left to the turn.
        if (image->isNull() || fileStamp(path) != stamp)
            throw Error(ErrorNumber::InvalidPicture);
        image->setDevicePixelRatio(sizing.devicePixelRatio);

        const std::lock_guard lock(m_mutex);
        if (!m_wanted.contains(path)) {
            m_heldBytes -= std::exchange(reserved, 0);
            return;
        }
        const auto old = std::find_if(m_entries.begin(), m_entries.end(),
                                      [&](const Entry& entry) { return entry.path == path; });
        if (old != m_entries.end()) {
            m_heldBytes -= old->bytes;
            m_entries.erase(old);
        }
        // The reservation becomes the entry's.
        if (!readWhole || path != m_readWhole)
            picture = Picture();
        m_entries.push_back(Entry{path, sizing, partner,
                                  PreparedPage{*std::move(image), *stamp, picture},
                                  std::exchange(reserved, 0)});
    } catch (...) {
        // Not kept: the turn that reaches this page loads it and reports the failure then.
        const std::lock_guard lock(m_mutex);
        m_heldBytes -= reserved;
    }
}

void PagePrefetch::dropUnwanted()
{
    std::erase_if(m_entries, [&](const Entry& entry) {
        if (m_wanted.contains(entry.path))
            return false;
        m_heldBytes -= entry.bytes;
        return true;
    });
}

} // namespace folivo
