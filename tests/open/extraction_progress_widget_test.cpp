// A long extraction on a real main window: the progress window, its 中止, and the input that
// must not start another command meanwhile.
#include "app/main_window.h"
#include "archive/archiver_testing.h"
#include "fakes/recording_ui.h"
#include "open/archive_extract.h"
#include "open/archive_extract_testing.h"
#include "open/extraction_feedback.h"
#include "open/extraction_feedback_testing.h"
#include "open/extraction_progress_window.h"
#include "open/extraction_progress_window_testing.h"
#include "open/progress_window_feedback.h"
#include "support/file_tree.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "support/zip_writer.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

const QString kMarker = QStringLiteral(".folivo-tmp");

/// The program's feedback, with the extraction held in its thread at the first progress
/// report that the test picks, until the test lets it go. Reports before it are slowed, so
/// that the next one comes at the archiver's next step rather than 50 ms later.
class HeldExtraction final : public ExtractionFeedback {
public:
    using Point = std::function<bool(const Archiver::Progress&)>;

    explicit HeldExtraction(Point holdAt,
                            std::chrono::milliseconds delay = ProgressWindowFeedback::kDefaultDelay)
        : m_feedback(delay)
        , m_holdAt(std::move(holdAt))
    {
        setExtractionFeedback(this);
    }
    ~HeldExtraction() override
    {
        release();
        setExtractionFeedback(nullptr);
    }
    HeldExtraction(const HeldExtraction&) = delete;
    HeldExtraction& operator=(const HeldExtraction&) = delete;

    int run(quintptr owner, const QString& archiveName, const ExtractionWork& work,
            std::chrono::steady_clock::time_point started,
            const std::function<void()>& openEarly) override
    {
        return m_feedback.run(
            owner, archiveName,
            [&](const Archiver::ProgressHook& hook, const FirstPageOut& firstPageOut) {
                return work(
                    [&](const Archiver::Progress& progress) {
                        if (!m_held && m_holdAt(progress)) {
                            m_held = true;
                            // Never hangs the run for good, should the test not let go.
                            m_release.tryAcquire(1, 20000);
                        } else if (!m_held) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(60));
                        }
                        return hook(progress);
                    },
                    firstPageOut);
            },
            started, openEarly);
    }

    void endEarlyReading() override { m_feedback.endEarlyReading(); }

    bool held() const { return m_held; }
    void release() { m_release.release(); }

private:
    ProgressWindowFeedback m_feedback;
    Point m_holdAt;
    std::atomic<bool> m_held{false};
    QSemaphore m_release;
};

/// Counts the progress windows that were ever shown.
class ShownWindows final : public QObject {
public:
    ShownWindows() { qApp->installEventFilter(this); }
    ~ShownWindows() override { qApp->removeEventFilter(this); }
    ShownWindows(const ShownWindows&) = delete;
    ShownWindows& operator=(const ShownWindows&) = delete;
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<ExtractionProgressWindow*>(watched))
            ++count;
        return false;
    }
};

class ExtractionProgress : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }
    void TearDown() override
    {
        Archiver::testing::setWorkerCount(0);
        Mod_Varnox::waitForBackgroundClearing();
    }

    QString book(const QString& name, const QStringList& pages)
    {
        const QString folder = test::makeFolder(home.filePath(name));
        for (const QString& page : pages)
            test::writePicture(folder + QLatin1Char('/') + page, 200, 300);
        return folder;
    }
    QString tmp() const { return home.filePath(QStringLiteral("tmp")); }
    ExtractionProgressWindow* progressWindow() const
    {
        return window.findChild<ExtractionProgressWindow*>();
    }
    QStringList labels(const QWidget* parent) const
    {
        QStringList texts;
        for (const QLabel* label : parent->findChildren<QLabel*>())
            texts << label->text();
        return texts;
    }

    TempHome home;
    RecordingUi ui;
    MDIForm_Main window;
};

TEST_F(ExtractionProgress, StopEndsALongExtractionKeepingWhatIsWholeAndNothingElseRunsMeanwhile)
{
    const QString other = book(QStringLiteral("other"), {QStringLiteral("o.jpg")});
    const QString reading =
        book(QStringLiteral("reading"), {QStringLiteral("p1.jpg"), QStringLiteral("p2.jpg")});
    ASSERT_EQ(window.Open_Target(reading), 4);
    ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("p1.jpg"));

    // The first page is large: the reader waits for it with nothing on screen of the book.
    const QByteArray first(4 * 1024 * 1024, 'x');
    test::ZipWriter zip;
    zip.addFile("01.jpg", first);
    zip.addFile("02.jpg", test::jpegBytes());
    const QString archive = home.filePath(QStringLiteral("big.zip"));
    ASSERT_TRUE(zip.write(archive));
    // One worker, held while the first page is half written.
    Archiver::testing::setWorkerCount(1);
    HeldExtraction feedback([&](const Archiver::Progress& progress) {
        return progress.membersTotal == 2 && progress.bytesDone > first.size() / 2;
    });

    bool acted = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ExtractionProgressWindow* progress = progressWindow();
        if (acted || !feedback.held() || !progress || !progress->isVisible())
            return;
        acted = true;
        EXPECT_LT(QFileInfo(tmp() + QStringLiteral("/01.jpg")).size(), first.size());
        EXPECT_EQ(progress->windowTitle(), QStringLiteral("解凍中…"));
        EXPECT_TRUE(labels(progress).contains(QStringLiteral("big.zip")));
        EXPECT_TRUE(labels(progress).contains(QStringLiteral("0 / 2 ファイル")));
        EXPECT_EQ(stopButton(*progress)->text(), QStringLiteral("中止"));

        // A click, the space key and a drop: none of them may act.
        QTest::mouseClick(window.Command_Preview_PostView[1], Qt::LeftButton);
        QTest::keyClick(window.Command_Preview_PostView[1], Qt::Key_Space);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(other)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.mdiArea()->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.mdiArea()->viewport(), &drop);
        EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("p1.jpg"));
        EXPECT_EQ(window.Combo_Path->currentText(), reading);
        EXPECT_TRUE(ui.messages.empty());

        QTest::mouseClick(stopButton(*progress), Qt::LeftButton);
        feedback.release();
    });
    poll.start();
    const std::int32_t kind = window.Open_Target(archive);
    poll.stop();

    EXPECT_TRUE(acted);
    EXPECT_EQ(progressWindow(), nullptr);
    // Said as the reader's stop, not as damage; nothing of the book was whole, so the book
    // read before stays on screen.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt,
              QStringLiteral("ファイル名　[big.zip]\r\r解凍を中止しました。"));
    EXPECT_EQ(ui.messages[0].style, MessageStyle::Information);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(test::fileTree(tmp()), QStringList({kMarker}));
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("p1.jpg"));
    EXPECT_TRUE(window.isVisible());
}

// Closing the main window while an archive unpacks ends the program, but only once the
// extraction has stopped and removed the member it was writing: the next start finds no
// broken page. The close comes before the progress window shows, or while it shows, from
// the window system as a click on the title bar's button does.
class ClosingWhileUnpacking : public ExtractionProgress,
                              public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingWhileUnpacking, StopsTheExtractionAndEndsTheProgramWithoutAWord)
{
    const bool progressShown = GetParam();
    const QByteArray first(4 * 1024 * 1024, 'x');
    test::ZipWriter zip;
    zip.addFile("01.jpg", first);
    zip.addFile("02.jpg", test::jpegBytes());
    const QString archive = home.filePath(QStringLiteral("big.zip"));
    ASSERT_TRUE(zip.write(archive));
    Archiver::testing::setWorkerCount(1);
    HeldExtraction feedback(
        [&](const Archiver::Progress& progress) {
            return progress.membersTotal == 2 && progress.membersDone == 0 &&
                   progress.bytesDone > 0;
        },
        progressShown ? ProgressWindowFeedback::kDefaultDelay : std::chrono::hours(1));

    bool closed = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ExtractionProgressWindow* progress = progressWindow();
        if (closed || !feedback.held() || (progressShown && !(progress && progress->isVisible())))
            return;
        closed = true;
        if (progressShown) {
            EXPECT_FALSE(progress->windowFlags() &
                         (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            EXPECT_TRUE(progress->windowFlags() & Qt::WindowCloseButtonHint);
        } else {
            EXPECT_EQ(progress, nullptr);
        }
        try {
            window.windowHandle()->close();
        } catch (const test::ProgramEnded&) {
            ADD_FAILURE() << "the program ended while the extraction was still writing";
        }
        EXPECT_TRUE(window.isVisible());
        EXPECT_LT(QFileInfo(tmp() + QStringLiteral("/01.jpg")).size(), first.size());
        feedback.release();
    });
    poll.start();
    std::optional<int> status;
    try {
        window.Open_Target(archive);
    } catch (const test::ProgramEnded& ended) {
        status = ended.status;
    }
    poll.stop();

    EXPECT_TRUE(closed);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(test::fileTree(tmp()), QStringList({kMarker}));
}

INSTANTIATE_TEST_SUITE_P(BeforeAndWithTheProgressWindow, ClosingWhileUnpacking, ::testing::Bool());

// At start-up the archive starts unpacking before the window is built: by the time the
// open procedure takes it over, the wait for the progress window may be long over.
TEST_F(ExtractionProgress, TheWindowShowsAtOnceWhenTheUnpackingBeganLongEnoughAgo)
{
    const std::chrono::seconds delay(10);
    ProgressWindowFeedback feedback(delay);
    std::atomic<bool> shown{false};
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (progressWindow() && progressWindow()->isVisible())
            shown = true;
    });
    poll.start();
    const auto began = std::chrono::steady_clock::now() - delay;
    const int result =
        feedback.run(window.hWnd(), QStringLiteral("early.zip"),
                     [&](const Archiver::ProgressHook&, const FirstPageOut&) {
                         for (int wait = 0; wait < 300 && !shown; ++wait)
                             std::this_thread::sleep_for(std::chrono::milliseconds(10));
                         return 0;
                     },
                     began, {});
    poll.stop();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(shown);
}

// A ZIP that declares no sizes before its data: how much of the file has been read stands
// where the megabytes of the members would, and fills the bar.
TEST_F(ExtractionProgress, WithoutDeclaredSizesTheWindowShowsHowMuchOfTheArchiveIsRead)
{
    ExtractionProgressWindow progress(QStringLiteral("stream.zip"), &window);
    const QProgressBar* bar = progress.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    constexpr qint64 kMegabyte = 1024 * 1024;
    Archiver::Progress counting;
    counting.archiveBytesRead = 123 * kMegabyte / 10;
    counting.archiveSize = 4567 * kMegabyte / 10;
    progress.setProgress(counting);
    EXPECT_TRUE(labels(&progress).contains(QStringLiteral("ファイルを数えています")));
    EXPECT_TRUE(labels(&progress).contains(QStringLiteral("書庫 12.3 / 456.7 MB 読み込み")));
    EXPECT_EQ(bar->value(), 26);

    Archiver::Progress unpacking = counting;
    unpacking.membersDone = 3;
    unpacking.membersTotal = 12;
    unpacking.bytesDone = 40 * kMegabyte;
    unpacking.archiveBytesRead = 100 * kMegabyte;
    progress.setProgress(unpacking);
    EXPECT_TRUE(labels(&progress).contains(QStringLiteral("3 / 12 ファイル")));
    EXPECT_TRUE(labels(&progress).contains(QStringLiteral("書庫 100.0 / 456.7 MB 読み込み")));
    EXPECT_EQ(bar->value(), 218);

    // Declared sizes are shown as they are.
    Archiver::Progress declared = unpacking;
    declared.bytesTotal = 80 * kMegabyte;
    progress.setProgress(declared);
    EXPECT_TRUE(labels(&progress).contains(QStringLiteral("40.0 / 80.0 MB")));
    EXPECT_EQ(bar->value(), 500);
}

TEST_F(ExtractionProgress, AShortExtractionShowsNoWindow)
{
#ifdef FOLIVO_TSAN
    // ThreadSanitizer slows the unpacking several times over, past the window's delay: what
    // this would measure is the sanitizer. The other builds run it.
    GTEST_SKIP() << "the unpacking is too slow under ThreadSanitizer to be short";
#endif
    test::ZipWriter zip;
    zip.addFile("01.jpg", test::jpegBytes());
    zip.addFile("02.jpg", test::jpegBytes());
    const QString archive = home.filePath(QStringLiteral("short.zip"));
    ASSERT_TRUE(zip.write(archive));
    const ShownWindows shown;

    EXPECT_EQ(window.Open_Target(archive), 2);
    EXPECT_EQ(shown.count, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("01.jpg"));
}

} // namespace
} // namespace folivo
