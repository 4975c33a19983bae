// The page prefetcher on its own: what it hands a turn, when it hands nothing, how much it
// holds, and that turns taken while its workers run, or its end while they run, are safe.
#include "picture/picture_loader.h"
#include "support/big_pictures.h"
#include "support/peak_memory.h"
#include "support/temp_home.h"
#include "view/page_prefetch_testing.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace folivo {
namespace {

constexpr int kPages = 12;

class PagePrefetchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = home.filePath(QStringLiteral("book"));
        QDir().mkpath(folder);
        for (int i = 1; i <= kPages; ++i)
            ASSERT_TRUE(writePage(i, 600 + i * 10, 800));
        sizing.viewWidth = 12000;
        sizing.viewHeight = 9000;
        sizing.twipsPerPixel = 15.0;
        sizing.devicePixelRatio = 1.0;
    }

    QString name(int i) const { return QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')); }
    QString path(int i) const { return folder + QLatin1Char('/') + name(i); }
    bool writePage(int i, int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 25 % 360, 200, 200));
        return image.save(path(i), "JPG");
    }

    test::TempHome home;
    QString folder;
    PageTurnSizing sizing;
};

TEST_F(PagePrefetchTest, PreparesTheNeighboursAtTheSizeTheTurnDrawsAndNothingFailed)
{
    QFile broken(path(6));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    PagePrefetch prefetch;
    prefetch.prepareAround(folder, name(5), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    // Reading: the page ahead and the one behind; the broken page ahead is left to its turn.
    EXPECT_FALSE(prefetch.take(path(6), 15.0));
    EXPECT_FALSE(prefetch.take(path(7), 15.0));
    const std::optional<PreparedPage> behind = prefetch.take(path(4), 15.0);
    ASSERT_TRUE(behind);
    // 640 × 800 pixels fitted into 800 × 600: the turn draws it 479 × 599.
    EXPECT_EQ(behind->image.size(), QSize(479, 599));
    EXPECT_EQ(behind->image, loadPicture(path(4), PictureFormats::Classic).render(QSize(479, 599)));
    // Kept for a turn back to it, until the reader is elsewhere.
    EXPECT_TRUE(prefetch.take(path(4), 15.0));

    // Flicking: the pages ahead; the one behind is let go.
    prefetch.prepareAround(folder, name(7), 1, sizing, Pace::Flicking);
    waitUntilIdle(prefetch);
    EXPECT_TRUE(prefetch.take(path(8), 15.0));
    const std::optional<PreparedPage> further = prefetch.take(path(9), 15.0);
    ASSERT_TRUE(further);
    EXPECT_EQ(further->image.size(), QSize(517, 599)); // 690 × 800
    EXPECT_TRUE(prefetch.take(path(10), 15.0));
    EXPECT_FALSE(prefetch.take(path(11), 15.0));
    EXPECT_FALSE(prefetch.take(path(4), 15.0));
    EXPECT_FALSE(prefetch.take(path(6), 15.0));
    prefetch.clear();
    EXPECT_EQ(heldBytes(prefetch), 0);
}

TEST_F(PagePrefetchTest, TheFirstPageAloneComesReadWholeAndOnlyWhileItsFileIsUnchanged)
{
    PagePrefetch prefetch;
    prefetch.prepareFirstPage(folder, sizing);
    waitUntilIdle(prefetch);
    const std::optional<PreparedPage> first = prefetch.take(path(1), 15.0);
    ASSERT_TRUE(first);
    ASSERT_FALSE(first->picture.isNull());
    const Picture plain = loadPicture(path(1), PictureFormats::Classic);
    EXPECT_EQ(first->picture.naturalSizeTwips(15.0), plain.naturalSizeTwips(15.0));
    EXPECT_EQ(first->picture.render(QSize(61, 80)), plain.render(QSize(61, 80)));
    EXPECT_EQ(first->image, plain.render(first->image.size()));
    // Its turn takes the picture; a turn back finds the pixels alone, as for pages read ahead.
    const std::optional<PreparedPage> back = prefetch.take(path(1), 15.0);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->picture.isNull());
    prefetch.prepareAround(folder, name(1), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    const std::optional<PreparedPage> ahead = prefetch.take(path(2), 15.0);
    ASSERT_TRUE(ahead);
    EXPECT_TRUE(ahead->picture.isNull());

    // Rewritten after it was read: nothing is handed out, and the turn reads the file itself.
    PagePrefetch again;
    again.prepareFirstPage(folder, sizing);
    waitUntilIdle(again);
    ASSERT_TRUE(writePage(1, 300, 300));
    EXPECT_FALSE(again.take(path(1), 15.0));
}

TEST_F(PagePrefetchTest, AnUnpackingFolderHasItsFirstPagePreparedOnceThatPageIsWritten)
{
    PagePrefetch prefetch;
    prefetch.prepareAround(folder, name(5), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    ASSERT_GT(heldBytes(prefetch), 0);

    const QString unpacked = home.filePath(QStringLiteral("tmp"));
    ASSERT_TRUE(QDir().mkpath(unpacked));
    const auto copyIn = [&](int page, const QString& as) {
        return QFile::copy(path(page), unpacked + QLatin1Char('/') + as);
    };
    // The listing's first picture: not hidden, not in a subfolder, in natural order.
    prefetch.expectUnpackedFolder(unpacked,
                                  {QStringLiteral("p10.jpg"), QStringLiteral("read me.txt"),
                                   QStringLiteral(".p0.jpg"), QStringLiteral("sub/p1.jpg"),
                                   QStringLiteral("p2.jpg")},
                                  sizing);
    // The last book's pages are let go at once: the unpacking needs the memory.
    EXPECT_EQ(heldBytes(prefetch), 0);
    // As the unpacking's threads tell it.
    const auto tellUnpacked = [&](const QString& file) {
        std::thread([&] { prefetch.fileUnpacked(file); }).join();
    };
    ASSERT_TRUE(copyIn(3, QStringLiteral("p10.jpg")));
    tellUnpacked(QStringLiteral("p10.jpg"));
    ASSERT_TRUE(copyIn(4, QStringLiteral(".p0.jpg")));
    tellUnpacked(QStringLiteral(".p0.jpg"));
    waitUntilIdle(prefetch);
    EXPECT_EQ(heldBytes(prefetch), 0);
    // Written but not yet said to be whole: not read, and the turn does not wait for it.
    ASSERT_TRUE(copyIn(6, QStringLiteral("p2.jpg")));
    EXPECT_FALSE(prefetch.take(unpacked + QStringLiteral("/p2.jpg"), 15.0));

    tellUnpacked(QStringLiteral("p2.jpg"));
    waitUntilIdle(prefetch);
    EXPECT_FALSE(prefetch.take(unpacked + QStringLiteral("/p10.jpg"), 15.0));
    const std::optional<PreparedPage> first =
        prefetch.take(unpacked + QStringLiteral("/p2.jpg"), 15.0);
    ASSERT_TRUE(first);
    // Pixels only: the turn reads the file itself.
    EXPECT_TRUE(first->picture.isNull());
    EXPECT_EQ(first->image,
              loadPicture(path(6), PictureFormats::Classic).render(first->image.size()));
}

TEST_F(PagePrefetchTest, AFileChangedAfterItWasPreparedOrAnotherScreenIsNotHandedOut)
{
    PagePrefetch prefetch;
    prefetch.prepareAround(folder, name(5), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    ASSERT_TRUE(writePage(6, 300, 300));
    EXPECT_FALSE(prefetch.take(path(6), 15.0));
    ASSERT_TRUE(QFile::remove(path(7)));
    EXPECT_FALSE(prefetch.take(path(7), 15.0));
    EXPECT_FALSE(prefetch.take(path(4), 10.0)); // the screen's resolution changed
}

TEST_F(PagePrefetchTest, BackwardTurnsPrepareBackwardAndMemoryStaysBounded)
{
    PagePrefetch prefetch;
    sizing.devicePixelRatio = 2.0;
    prefetch.prepareAround(folder, name(8), -1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    EXPECT_GT(heldBytes(prefetch), 0);
    EXPECT_LE(heldBytes(prefetch), PagePrefetch::kByteBudget);
    const std::optional<PreparedPage> ahead = prefetch.take(path(7), 15.0);
    ASSERT_TRUE(ahead);
    EXPECT_EQ(ahead->image.devicePixelRatio(), 2.0);
    EXPECT_TRUE(prefetch.take(path(9), 15.0));
    EXPECT_FALSE(prefetch.take(path(6), 15.0));

    // A page too large to hold is not prepared at all.
    prefetch.clear();
    sizing.viewWidth = 1'000'000;
    sizing.viewHeight = 1'000'000;
    prefetch.prepareAround(folder, name(8), -1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    EXPECT_EQ(heldBytes(prefetch), 0);
    EXPECT_FALSE(prefetch.take(path(7), 15.0));
}

// Reading ahead takes at most a page's budget at once. A GIF is decoded whole before it is
// scaled: a huge one waits for its turn, which shows it. A huge JPEG is decoded at the size
// the turn draws it, and is read ahead.
TEST_F(PagePrefetchTest, PagesDecodedWholeBeyondTheBudgetAreLeftToTheirTurn)
{
    ASSERT_TRUE(QFile::remove(path(6)));
    const QString gif = folder + QStringLiteral("/p06.gif");
    const auto write = [](const QString& file, const QByteArray& bytes) {
        QFile out(file);
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(gif, test::uniformGif(QSize(7000, 7000)))); // 196 MB decoded
    ASSERT_TRUE(write(path(4), test::uniformJpeg(QSize(20000, 20000))));

    const test::PeakMemory peak;
    PagePrefetch prefetch;
    prefetch.prepareAround(folder, name(5), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    EXPECT_FALSE(prefetch.take(gif, 15.0));
    const std::optional<PreparedPage> behind = prefetch.take(path(4), 15.0);
    ASSERT_TRUE(behind);
    EXPECT_EQ(behind->image,
              loadPicture(path(4), PictureFormats::Classic).render(behind->image.size()));
    if (peak.valid()) {
        EXPECT_LT(peak.grownBytes(), 128 * 1024 * 1024);
    }

    const QImage shown = loadPicture(gif, PictureFormats::Classic).render(QSize(599, 599));
    EXPECT_EQ(shown.pixelColor(300, 598), QColor(Qt::red));
}

TEST_F(PagePrefetchTest, TurnsTakenWhileTheWorkersRunGetWholePagesOrNone)
{
    // Flicking: every turn comes as soon as the last one is shown.
    PagePrefetch prefetch;
    int taken = 0;
    for (int round = 0; round < 3; ++round) {
        for (int i = 1; i < kPages; ++i) {
            prefetch.prepareAround(folder, name(i), 1, sizing, Pace::Flicking);
            // Now and then the reader stops to read.
            if (i % 3 == 0)
                waitUntilIdle(prefetch);
            if (const std::optional<PreparedPage> page = prefetch.take(path(i + 1), 15.0)) {
                ++taken;
                EXPECT_EQ(page->image.size().height(), 599);
            }
            if (i % 5 == 0)
                prefetch.clear();
        }
    }
    EXPECT_GT(taken, 0);
    waitUntilIdle(prefetch);
}

/// Holds the decode of one page back until it is let go, and notes each page decoded.
class DecodeGate {
public:
    explicit DecodeGate(QString held)
        : m_held(std::move(held))
    {
    }
    void beforeDecode(const QString& path)
    {
        std::unique_lock lock(m_mutex);
        m_decoded.append(path);
        m_changed.notify_all();
        if (path == m_held)
            m_changed.wait(lock, [&] { return m_released; });
    }
    bool waitForDecode(const QString& path)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_decoded.contains(path); });
    }
    qsizetype decodes(const QString& path)
    {
        const std::lock_guard lock(m_mutex);
        return m_decoded.count(path);
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    const QString m_held;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_decoded;
    bool m_released = false;
};

TEST_F(PagePrefetchTest, FlickingKeepsTwoDecodesRunningAndATurnTakesTheOneUnderWay)
{
    if (QThread::idealThreadCount() < 2)
        GTEST_SKIP() << "one core: one decode at a time";
    DecodeGate gate(path(3));
    PagePrefetch prefetch;
    setBeforeDecode(prefetch, [&](const QString& page) { gate.beforeDecode(page); });
    // Let go before the prefetcher waits for its workers at its end, also when a check fails.
    const std::unique_ptr<DecodeGate, void (*)(DecodeGate*)> letGo(
        &gate, [](DecodeGate* held) { held->release(); });

    // Page 3 takes long: the worker done with page 2 goes on with page 4 meanwhile.
    prefetch.prepareAround(folder, name(1), 1, sizing, Pace::Flicking);
    ASSERT_TRUE(gate.waitForDecode(path(4)));
    ASSERT_TRUE(prefetch.take(path(2), 15.0));
    ASSERT_TRUE(prefetch.take(path(4), 15.0)); // its worker has nothing left to do
    // The next flick comes while page 3 is still being decoded: the free core starts page 5.
    prefetch.prepareAround(folder, name(2), 1, sizing, Pace::Flicking);
    ASSERT_TRUE(gate.waitForDecode(path(5)));

    // The turn to page 3 waits for its decode and takes what it drew.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gate.release();
    });
    const std::optional<PreparedPage> third = prefetch.take(path(3), 15.0);
    later.join();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->image,
              loadPicture(path(3), PictureFormats::Classic).render(third->image.size()));
    EXPECT_EQ(gate.decodes(path(3)), 1);
}

TEST_F(PagePrefetchTest, FlickingHoldsOnePageMoreThanReading)
{
    for (int i = 1; i <= kPages; ++i)
        ASSERT_TRUE(writePage(i, 640, 800));
    const qint64 page = qint64{479} * 599 * 4;

    PagePrefetch prefetch;
    std::atomic<bool> done = false;
    qint64 most = 0;
    std::thread watch([&] {
        while (!done) {
            most = std::max(most, heldBytes(prefetch));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 1; i < 7; ++i) {
        prefetch.prepareAround(folder, name(i), 1, sizing, Pace::Flicking);
        prefetch.take(path(i + 1), 15.0);
    }
    prefetch.prepareAround(folder, name(7), 1, sizing, Pace::Flicking);
    waitUntilIdle(prefetch);
    EXPECT_EQ(heldBytes(prefetch), 3 * page); // pages 8, 9 and 10
    // The reader pauses: page 10, drawn already, stays beside the page ahead and the one
    // behind, until a turn leaves it out of reach.
    ASSERT_TRUE(prefetch.take(path(8), 15.0));
    prefetch.prepareAround(folder, name(8), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    EXPECT_EQ(heldBytes(prefetch), 3 * page);
    EXPECT_TRUE(prefetch.take(path(7), 15.0));
    EXPECT_TRUE(prefetch.take(path(10), 15.0));
    prefetch.prepareAround(folder, name(9), 1, sizing, Pace::Reading);
    waitUntilIdle(prefetch);
    EXPECT_EQ(heldBytes(prefetch), 2 * page); // pages 8 and 10
    // Flicking back and forth.
    for (int i = 9; i > 2; --i)
        prefetch.prepareAround(folder, name(i), -1, sizing, Pace::Flicking);
    for (int i = 3; i < kPages; ++i)
        prefetch.prepareAround(folder, name(i), 1, sizing, Pace::Flicking);
    waitUntilIdle(prefetch);
    done = true;
    watch.join();
    EXPECT_LE(most, 3 * page);
}

TEST_F(PagePrefetchTest, EndingWhileTheWorkersRunWaitsForThem)
{
    for (int i = 1; i < 6; ++i) {
        auto prefetch = std::make_unique<PagePrefetch>();
        prefetch->prepareAround(folder, name(i), 1, sizing, Pace::Flicking);
        prefetch.reset();
    }
}

} // namespace
} // namespace folivo
