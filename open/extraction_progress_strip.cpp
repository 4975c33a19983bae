#include "open/extraction_progress_strip.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace folivo {
namespace {

const QString kUnpacking = QStringLiteral("解凍中 %1 / %2");
const QString kWaiting = QStringLiteral("このページを解凍中…");
const QString kStop = QStringLiteral("中止");

constexpr int kBarSteps = 1000;
constexpr int kBarWidth = 120;
constexpr int kMargin = 6;
constexpr int kWidestCount = 99999;

} // namespace

ExtractionProgressStrip::ExtractionProgressStrip(QWidget* owner)
    : QFrame(owner)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
    m_text = new QLabel(this);
    // Room for the widest text it will show, so that the strip keeps its size as counts grow.
    const QFontMetrics metrics = m_text->fontMetrics();
    m_text->setMinimumWidth(
        std::max(metrics.horizontalAdvance(kUnpacking.arg(kWidestCount).arg(kWidestCount)),
                 metrics.horizontalAdvance(kWaiting)));
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, kBarSteps);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(kBarWidth);
    m_stop = new QPushButton(kStop, this);
    // The space bar turns pages: it must never land on 中止.
    m_stop->setFocusPolicy(Qt::NoFocus);
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        m_stop->setEnabled(false);
        emit stopRequested();
    });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kMargin, 2, 2, 2);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_stop);
    setProgress(Archiver::Progress());
    owner->installEventFilter(this);
}

void ExtractionProgressStrip::setProgress(const Archiver::Progress& progress)
{
    m_progress = progress;
    m_text->setText(m_waiting ? kWaiting
                              : kUnpacking.arg(progress.membersDone).arg(progress.membersTotal));
    const double done =
        progress.bytesTotal > 0
            ? static_cast<double>(progress.bytesDone) / static_cast<double>(progress.bytesTotal)
        : progress.archiveSize > 0 ? static_cast<double>(progress.archiveBytesRead) /
                                         static_cast<double>(progress.archiveSize)
                                   : 0.0;
    m_bar->setValue(static_cast<int>(qBound(0.0, done, 1.0) * kBarSteps));
    place();
}

void ExtractionProgressStrip::setWaiting(bool waiting)
{
    m_waiting = waiting;
    setProgress(m_progress);
}

bool ExtractionProgressStrip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        place();
    return QFrame::eventFilter(watched, event);
}

void ExtractionProgressStrip::place()
{
    const auto* owner = parentWidget();
    if (!owner)
        return;
    resize(sizeHint());
    move(owner->width() - width() - kMargin, owner->height() - height() - kMargin);
    raise();
}

} // namespace folivo
