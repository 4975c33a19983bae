#include "open/progress_window_feedback.h"

#include "open/extraction_progress_window.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>

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
/// not deferred: a click on "次=>" meanwhile must not turn a page of the next book. Closing
/// the owner window is refused too, as a modal window refuses it: the program would end
/// while the extraction still writes into the temporary folder.
class InputBlock final : public QObject {
public:
    explicit InputBlock(QWidget* ownerWindow)
        : m_ownerWindow(ownerWindow)
    {
        qApp->installEventFilter(this);
    }
    ~InputBlock() override { qApp->removeEventFilter(this); }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool blocked = event->type() == QEvent::Close
                                 ? watched == m_ownerWindow
                                 : isUserInput(event->type()) && watched->isWidgetType() &&
                                       !qobject_cast<const ExtractionProgressWindow*>(
                                           static_cast<QWidget*>(watched)->window());
        if (!blocked)
            return false;
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> m_ownerWindow;
};

} // namespace

ProgressWindowFeedback::ProgressWindowFeedback(std::chrono::milliseconds delay)
    : m_delay(delay)
{
}

int ProgressWindowFeedback::run(quintptr owner, const QString& archiveName,
                                const ExtractionWork& work)
{
    QWidget* ownerWidget = owner != 0 ? QWidget::find(static_cast<WId>(owner)) : nullptr;
    if (!ownerWidget || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        return work(Archiver::ProgressHook());
    }
    const QPointer<QWidget> ownerWindow = ownerWidget->window();

    const InputBlock block(ownerWindow);
    Archiver::Progress latest;
    // A child of the owner window, which deletes it should it go first.
    QPointer<ExtractionProgressWindow> window;
    // Receives the worker's reports on this thread; what is still queued for it when it
    // goes is dropped with it, before what the reports touch.
    QObject context;
    std::atomic<bool> stopRequested{false};

    const Archiver::ProgressHook hook = [&](const Archiver::Progress& progress) {
        QMetaObject::invokeMethod(
            &context,
            [&, progress] {
                latest = progress;
                if (window)
                    window->setProgress(progress);
            },
            Qt::QueuedConnection);
        return stopRequested.load() ? Archiver::Reply::Stop : Archiver::Reply::Continue;
    };

    int result = 0;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = work(hook); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(m_delay, &context, [&] {
        window = new ExtractionProgressWindow(archiveName, ownerWindow.data());
        QObject::connect(window, &ExtractionProgressWindow::stopRequested, &context,
                         [&] { stopRequested = true; });
        window->setProgress(latest);
        window->show();
    });
    worker->start();
    loop.exec();
    worker->wait();
    delete window.data();

    // A stop asked for just as the last member was done still counts as a stop: the user
    // was told the extraction would end as a failed one.
    return stopRequested ? Archiver::Result::Stopped : result;
}

} // namespace folivo
