#include "open/extraction_progress_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace folivo {
namespace {

const QString kTitle = QStringLiteral("解凍中…");
const QString kStop = QStringLiteral("中止");
const QString kMembers = QStringLiteral("%1 / %2 ファイル");
const QString kBytes = QStringLiteral("%1 / %2 MB");
// While the members are being counted, or when their sizes are not known before they are
// read, how much of the archive file has been read is all there is to show.
const QString kCounting = QStringLiteral("ファイルを数えています");
const QString kArchiveBytes = QStringLiteral("書庫 %1 / %2 MB 読み込み");

constexpr int kBarSteps = 1000;
constexpr int kMinimumWidth = 360;
constexpr qint64 kWidestCount = 99999;
constexpr qint64 kWidestBytes = qint64(99999) * 1024 * 1024;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

QString megabytes(qint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / kBytesPerMegabyte, 'f', 1);
}

double fraction(qint64 done, qint64 total)
{
    return total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
}

} // namespace

ExtractionProgressWindow::ExtractionProgressWindow(const QString& archiveName, QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    // A dialog's frame: a title and the close button, which asks for the stop as 中止 does;
    // no minimise or maximise buttons, which leave a main window that takes no input.
    // Window managers that go by the window's type rather than these hints offer to
    // maximise only a window that can be resized: it has one size (below).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* name = new QLabel(this);
    // Names may look like markup; they are shown as they are.
    name->setTextFormat(Qt::PlainText);
    name->setText(archiveName);
    m_members = new QLabel(this);
    m_bytes = new QLabel(this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, kBarSteps);
    m_bar->setTextVisible(false);
    m_stop = new QPushButton(kStop, this);
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, &ExtractionProgressWindow::reject);

    auto* counts = new QHBoxLayout;
    counts->addWidget(m_members);
    counts->addStretch();
    counts->addWidget(m_bytes);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addLayout(counts);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);

    // Room for the widest figures the counts will show, so that the size holds.
    const QFontMetrics metrics = m_members->fontMetrics();
    const QString manyMembers = kMembers.arg(kWidestCount).arg(kWidestCount);
    m_members->setMinimumWidth(
        std::max(metrics.horizontalAdvance(manyMembers), metrics.horizontalAdvance(kCounting)));
    const QString widestMegabytes = megabytes(kWidestBytes);
    m_bytes->setMinimumWidth(
        std::max(metrics.horizontalAdvance(kBytes.arg(widestMegabytes, widestMegabytes)),
                 metrics.horizontalAdvance(kArchiveBytes.arg(widestMegabytes, widestMegabytes))));
    setProgress(Archiver::Progress());
    ensurePolished();
    setFixedSize(sizeHint().expandedTo(QSize(kMinimumWidth, 0)));
}

void ExtractionProgressWindow::setProgress(const Archiver::Progress& progress)
{
    const bool sizesKnown = progress.bytesTotal > 0 || progress.archiveSize <= 0;
    m_members->setText(progress.membersTotal > 0 || sizesKnown
                           ? kMembers.arg(progress.membersDone).arg(progress.membersTotal)
                           : kCounting);
    double done = 0.0;
    if (sizesKnown) {
        m_bytes->setText(kBytes.arg(megabytes(progress.bytesDone), megabytes(progress.bytesTotal)));
        done = fraction(progress.bytesDone, progress.bytesTotal);
    } else {
        m_bytes->setText(kArchiveBytes.arg(megabytes(progress.archiveBytesRead),
                                           megabytes(progress.archiveSize)));
        done = fraction(progress.archiveBytesRead, progress.archiveSize);
    }
    m_bar->setValue(static_cast<int>(qBound(0.0, done, 1.0) * kBarSteps));
}

void ExtractionProgressWindow::reject()
{
    // The window closes when the extraction has stopped, which takes a moment.
    m_stop->setEnabled(false);
    emit stopRequested();
}

} // namespace folivo
