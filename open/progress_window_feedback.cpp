#include "open/progress_window_feedback.h"

#include "open/extraction_progress_strip.h"
#include "open/extraction_progress_window.h"
#include "platform/work_pool.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <utility>

namespace folivo {
namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

/// While it lives, the user's input reaches no widget but the progress window's. Unlike a
/// modal window alone, it holds from the first moment of the extraction, before the
/// progress window shows, and also for input sent straight to a widget. Input is dropped,
/// not deferred: a click on "次=>" meanwhile must not turn a page of the next book. Once the
/// book is being read (letThrough()), input goes where it is sent. Closing the owner window
/// is held back and handed to `closed` all along: the program must not end while the
/// extraction still writes into the temporary folder, but it ends once it has stopped.
class InputBlock final : public QObject {
public:
    InputBlock(QWidget* ownerWindow, std::function<void()> closed)
        : m_ownerWindow(ownerWindow)
        , m_closed(std::move(closed))
    {
        qApp->installEventFilter(this);
    }
    ~InputBlock() override { qApp->removeEventFilter(this); }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

    void letThrough() { m_letThrough = true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched == m_ownerWindow) {
            event->ignore();
            m_closed();
            return true;
        }
        if (m_letThrough || !isUserInput(event->type()) || !watched->isWidgetType() ||
            qobject_cast<const ExtractionProgressWindow*>(static_cast<QWidget*>(watched)->window()))
            return false;
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> m_ownerWindow;
    std::function<void()> m_closed;
    bool m_letThrough = false;
};

/// The extraction whose book is being read while it unpacks, for endEarlyReading(). On the
/// user-interface thread only; a run inside another's event loop stacks on it.
struct ReadingRun {
    std::atomic<bool>* stopRequested = nullptr;
    std::future<int>* ended = nullptr;
    std::function<void()> dropIndication;
    bool reading = false;
    ReadingRun* below = nullptr;
};

ReadingRun* g_readingRun = nullptr;

} // namespace

ProgressWindowFeedback::ProgressWindowFeedback(std::chrono::milliseconds delay)
    : m_delay(delay)
{
}

int ProgressWindowFeedback::run(quintptr owner, const QString& archiveName,
                                const ExtractionWork& work,
                                std::chrono::steady_clock::time_point started,
                                const std::function<void()>& openEarly)
{
    QWidget* ownerWidget = owner != 0 ? QWidget::find(static_cast<WId>(owner)) : nullptr;
    if (!ownerWidget || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return work(Archiver::ProgressHook(), FirstPageOut());
    }
    const QPointer<QWidget> ownerWindow = ownerWidget->window();

    std::atomic<bool> stopRequested{false};
    bool closeRequested = false;
    int result = 0;
    {
        Archiver::Progress latest;
        // Children of the owner window, which deletes them should it go first.
        QPointer<ExtractionProgressWindow> window;
        QPointer<ExtractionProgressStrip> strip;
        InputBlock block(ownerWindow, [&] {
            closeRequested = true;
            if (window)
                window->reject();
            else
                stopRequested = true;
        });
        // Receives the worker's reports on this thread; what is still queued for it when it
        // goes is dropped with it, before what the reports touch.
        QObject context;

        const Archiver::ProgressHook hook = [&](const Archiver::Progress& progress) {
            QMetaObject::invokeMethod(
                &context,
                [&, progress] {
                    latest = progress;
                    if (window)
                        window->setProgress(progress);
                    if (strip)
                        strip->setProgress(progress);
                },
                Qt::QueuedConnection);
            return stopRequested.load() ? Archiver::Reply::Stop : Archiver::Reply::Continue;
        };

        ReadingRun running;
        running.stopRequested = &stopRequested;
        running.dropIndication = [&] {
            delete strip.data();
            delete window.data();
        };
        const auto showStrip = [&] {
            strip = new ExtractionProgressStrip(ownerWindow.data());
            QObject::connect(strip, &ExtractionProgressStrip::stopRequested, &context,
                             [&] { stopRequested = true; });
            strip->setProgress(latest);
            strip->show();
        };
        // The book's first page is out: the reader reads it while the rest unpacks, and the
        // progress window gives way to the strip.
        const auto startReading = [&] {
            if (running.reading || stopRequested || closeRequested || !openEarly)
                return;
            running.reading = true;
            block.letThrough();
            if (window) {
                delete window.data();
                showStrip();
            }
            openEarly();
        };
        const FirstPageOut firstPageOut = [&] {
            QMetaObject::invokeMethod(&context, startReading, Qt::QueuedConnection);
        };

        // After what the work refers to, so that it goes first: it waits for its thread.
        WorkPool worker(1, WorkPool::Priority::Normal);
        QEventLoop loop;
        // An extraction started ahead, while the window was being built, has waited for
        // part of the delay already.
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        QTimer::singleShot(std::max(m_delay - waited, std::chrono::milliseconds(0)), &context, [&] {
            // A close asked for before the window stops the work all the
            // same; the window would only flash up.
            if (closeRequested || stopRequested)
                return;
            if (running.reading) {
                showStrip();
                return;
            }
            window = new ExtractionProgressWindow(archiveName, ownerWindow.data());
            QObject::connect(window, &ExtractionProgressWindow::stopRequested, &context,
                             [&] { stopRequested = true; });
            window->setProgress(latest);
            window->show();
        });
        std::future<int> ended = worker.run([&] {
            // However the work ends, the loop hears of it.
            const auto quit = qScopeGuard(
                [&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
            return work(hook, firstPageOut);
        });
        running.ended = &ended;
        running.below = std::exchange(g_readingRun, &running);
        const auto unstack = qScopeGuard([&] { g_readingRun = running.below; });
        loop.exec();
        // The worker lets go of the work's shared state before get() here drops the last
        // reference to it: dropped on the worker after get(), the state would be destroyed
        // there with no hand-over that ThreadSanitizer sees.
        worker.waitForDone();
        result = ended.get();
        delete window.data();
        delete strip.data();
    }

    // Once the work has stopped, nothing half-written is left: the close goes through, and
    // the main window's ends the program without a word about the stopped extraction.
    if (closeRequested && ownerWindow)
        ownerWindow->close();
    // A stop asked for just as the last member was done still counts as a stop: the user
    // was told the extraction would end as a failed one.
    return stopRequested ? Archiver::Result::Stopped : result;
}

void ProgressWindowFeedback::endEarlyReading()
{
    // Only the innermost run can be reading: an open inside a reading run ended it first.
    ReadingRun* running = g_readingRun;
    if (!running || !running->reading)
        return;
    *running->stopRequested = true;
    running->ended->wait();
    running->dropIndication();
}

} // namespace folivo
