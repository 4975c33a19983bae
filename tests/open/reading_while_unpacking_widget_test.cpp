// A book read from its first page on while the rest of it unpacks, on a real main window: turns
// that wait for pages still coming, the file box, 中止, a failure after the first page, and a
// drop that ends the unpacking before the next book opens.
#include "app/main_window.h"
#include "archive/archiver_testing.h"
#include "fakes/recording_ui.h"
#include "open/archive_extract.h"
#include "open/archive_extract_testing.h"
#include "open/extraction_feedback.h"
#include "open/extraction_feedback_testing.h"
#include "open/extraction_progress_strip.h"
#include "open/progress_window_feedback.h"
#include "support/file_tree.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "support/zip_writer.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

const QString kMarker = QStringLiteral(".folivo-tmp");

/// The program's feedback, with the unpacking held right after the first page is out (the
/// book is open by then) until the test lets it go; a stop asked for meanwhile lets it go too,
/// a moment later, as the unpacking would hear of it at its next step.
class HeldAfterFirstPage final : public ExtractionFeedback {
public:
    HeldAfterFirstPage()
        : m_feedback(std::chrono::milliseconds(0))
    {
        setExtractionFeedback(this);
    }
    ~HeldAfterFirstPage() override
    {
        release();
        if (m_releaser.joinable())
            m_releaser.join();
        setExtractionFeedback(nullptr);
    }
    HeldAfterFirstPage(const HeldAfterFirstPage&) = delete;
    HeldAfterFirstPage& operator=(const HeldAfterFirstPage&) = delete;

    int run(quintptr owner, const QString& archiveName, const ExtractionWork& work,
            std::chrono::steady_clock::time_point started,
            const std::function<void()>& openEarly) override
    {
        return m_feedback.run(
            owner, archiveName,
            [&](const Archiver::ProgressHook& hook, const FirstPageOut& firstPageOut) {
                return work(hook, [&, firstPageOut] {
                    firstPageOut();
                    if (!m_heldOnce.exchange(true)) {
                        m_held = true;
                        // Never hangs the run for good, should the test not let go.
                        m_release.tryAcquire(1, 20000);
                        m_held = false;
                    }
                });
            },
            started, openEarly);
    }

    void endEarlyReading() override
    {
        if (m_held)
            releaseSoon();
        m_feedback.endEarlyReading();
    }

    bool held() const { return m_held; }
    void release() { m_release.release(); }
    /// From another thread, once the user-interface thread may be waiting for the work.
    void releaseSoon()
    {
        if (m_releaser.joinable())
            m_releaser.join();
        m_releaser = std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            release();
        });
    }

private:
    ProgressWindowFeedback m_feedback;
    std::atomic<bool> m_heldOnce{false};
    std::atomic<bool> m_held{false};
    QSemaphore m_release;
    std::thread m_releaser;
};

class ReadingWhileUnpacking : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.show();
        // One worker: the members come one after the other, the first page first.
        Archiver::testing::setWorkerCount(1);
    }
    void TearDown() override
    {
        Archiver::testing::setWorkerCount(0);
        Mod_Varnox::waitForBackgroundClearing();
    }

    QString tmp() const { return home.filePath(QStringLiteral("tmp")); }
    QStringList fileItems() const
    {
        QStringList items;
        for (int k = 0; k < window.Combo_File->count(); ++k)
            items << window.Combo_File->itemText(k);
        return items;
    }
    /// A book of pages 01.jpg ... nn.jpg, each its own picture, stored.
    QString book(const QString& name, int pages)
    {
        test::ZipWriter zip;
        for (int k = 1; k <= pages; ++k) {
            zip.addFile(QStringLiteral("%1.jpg").arg(k, 2, 10, QLatin1Char('0')).toUtf8(),
                        test::jpegBytes(120 + k, 160));
        }
        const QString archive = home.filePath(name);
        EXPECT_TRUE(zip.write(archive));
        return archive;
    }
    /// Runs `step` from the event loop of the open procedure once the book is on screen and
    /// its unpacking held after the first page.
    void whenHeld(HeldAfterFirstPage& feedback, const std::function<void()>& step)
    {
        auto* poll = new QTimer(&window);
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [this, poll, &feedback, step] {
            if (!feedback.held() || window.Combo_File->currentText() != QStringLiteral("01.jpg"))
                return;
            poll->stop();
            poll->deleteLater();
            acted = true;
            step();
        });
        poll->start();
    }

    TempHome home;
    RecordingUi ui;
    MDIForm_Main window;
    bool acted = false;
};

// The next page is not out yet: the turn waits for it, says nothing about an end, and shows it
// once it is. Meanwhile the file box lists only what is out, and at the end every page.
TEST_F(ReadingWhileUnpacking, ATurnToAPageStillComingShowsItOnceItIsOut)
{
    const QString archive = book(QStringLiteral("book.zip"), 3);
    HeldAfterFirstPage feedback;
    QStringList itemsWhileHeld;
    whenHeld(feedback, [&] {
        itemsWhileHeld = fileItems();
        EXPECT_TRUE(test::fileTree(tmp()).contains(QStringLiteral("01.jpg")));
        EXPECT_FALSE(test::fileTree(tmp()).contains(QStringLiteral("02.jpg")));
        feedback.releaseSoon();
        window.Command_Preview_PostView_Click(1);
        EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("02.jpg"));
        EXPECT_TRUE(ui.messages.empty());
    });
    EXPECT_EQ(window.Open_Target(archive), 2);

    EXPECT_TRUE(acted);
    EXPECT_EQ(itemsWhileHeld, QStringList({"01.jpg"}));
    EXPECT_TRUE(ui.messages.empty());
    // The page turned to stays: the end of the unpacking does not open the book again.
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("02.jpg"));
    EXPECT_EQ(window.Combo_Path->currentText(), tmp());
    QTest::qWait(400);
    EXPECT_EQ(fileItems(), QStringList({"01.jpg", "02.jpg", "03.jpg"}));
    EXPECT_EQ(window.findChild<ExtractionProgressStrip*>(), nullptr);
}

// 中止 in the strip ends the unpacking as it did in the progress window: the pages out stay
// readable and whole, the one being written goes, and the stop is said as such.
TEST_F(ReadingWhileUnpacking, StopInTheStripKeepsThePagesOutAndNoPartOfAnother)
{
    test::ZipWriter zip;
    zip.addFile("01.jpg", test::jpegBytes());
    zip.addFile("02.jpg", QByteArray(8 * 1024 * 1024, 'x'));
    const QString archive = home.filePath(QStringLiteral("book.zip"));
    ASSERT_TRUE(zip.write(archive));
    HeldAfterFirstPage feedback;
    whenHeld(feedback, [&] {
        QTest::qWait(50);
        auto* strip = window.findChild<ExtractionProgressStrip*>();
        ASSERT_NE(strip, nullptr);
        EXPECT_TRUE(strip->isVisible());
        auto* stop = strip->findChild<QPushButton*>();
        ASSERT_NE(stop, nullptr);
        EXPECT_EQ(stop->text(), QStringLiteral("中止"));
        QTest::mouseClick(stop, Qt::LeftButton);
        feedback.release();
    });
    EXPECT_EQ(window.Open_Target(archive), 2);

    EXPECT_TRUE(acted);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt,
              QStringLiteral("ファイル名　[book.zip]\r\r解凍を中止しました。"));
    EXPECT_EQ(test::fileTree(tmp()), QStringList({kMarker, "01.jpg"}));
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("01.jpg"));
}

// A member that turns out damaged after the first page is on screen: the failure is said when
// the unpacking ends, and the book stays open at the page being read.
TEST_F(ReadingWhileUnpacking, AFailureAfterTheFirstPageIsSaidAndThePagesOutStayReadable)
{
    test::ZipWriter zip;
    const QByteArray second = test::jpegBytes(130, 170, Qt::red);
    zip.addFile("01.jpg", test::jpegBytes());
    zip.addFile("02.jpg", second);
    zip.addFile("03.jpg", test::jpegBytes(140, 180, Qt::blue));
    QByteArray bytes = zip.bytes();
    const qsizetype at = bytes.indexOf(second);
    ASSERT_GT(at, 0);
    bytes[at + second.size() / 2] = static_cast<char>(bytes[at + second.size() / 2] ^ 0x55);
    const QString archive = home.filePath(QStringLiteral("damaged.zip"));
    ASSERT_TRUE(test::writeFile(archive, bytes));
    HeldAfterFirstPage feedback;
    whenHeld(feedback, [&] {
        EXPECT_TRUE(ui.messages.empty());
        feedback.release();
    });
    EXPECT_EQ(window.Open_Target(archive), 2);

    EXPECT_TRUE(acted);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt,
              QStringLiteral("ファイル名　[damaged.zip]\r\r解凍に失敗しました。\r\r\r"
                             "ファイルが破損している可能性があります。"));
    EXPECT_EQ(window.Combo_Path->currentText(), tmp());
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("01.jpg"));
    window.Command_Preview_PostView_Click(1);
    window.Command_Preview_PostView_Click(1);
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("03.jpg"));
}

// A drop while the book unpacks: the unpacking ends first, so no page of it comes into the
// temporary folder after the next book's, and the dropped book opens without a word about the
// one before.
TEST_F(ReadingWhileUnpacking, ADropEndsTheUnpackingFirstAndOpensTheDroppedBook)
{
    test::ZipWriter zip;
    zip.addFile("01.jpg", test::jpegBytes());
    zip.addFile("02.jpg", QByteArray(8 * 1024 * 1024, 'x'));
    const QString first = home.filePath(QStringLiteral("first.zip"));
    ASSERT_TRUE(zip.write(first));
    test::ZipWriter nextZip;
    nextZip.addFile("n1.jpg", test::jpegBytes(150, 150));
    const QString next = home.filePath(QStringLiteral("next.zip"));
    ASSERT_TRUE(nextZip.write(next));

    HeldAfterFirstPage feedback;
    whenHeld(feedback, [&] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(next)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.mdiArea()->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.mdiArea()->viewport(), &drop);
        EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("n1.jpg"));
    });
    EXPECT_EQ(window.Open_Target(first), 2);

    EXPECT_TRUE(acted);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(window.Combo_Path->currentText(), tmp());
    EXPECT_EQ(window.Combo_File->currentText(), QStringLiteral("n1.jpg"));
    EXPECT_EQ(test::fileTree(tmp()), QStringList({kMarker, "n1.jpg"}));
    EXPECT_EQ(window.findChild<ExtractionProgressStrip*>(), nullptr);
}

} // namespace
} // namespace folivo
