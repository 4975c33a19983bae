#include "open/extraction_progress_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace folivo {
namespace {

const QString kTitle = QStringLiteral("解凍中…");
const QString kStop = QStringLiteral("中止");
const QString kMembers = QStringLiteral("%1 / %2 ファイル");
const QString kBytes = QStringLiteral("%1 / %2 MB");

constexpr int kBarSteps = 1000;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

QString megabytes(qint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / kBytesPerMegabyte, 'f', 1);
}

} // namespace

ExtractionProgressWindow::ExtractionProgressWindow(const QString& archiveName, QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

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
    setMinimumWidth(360);

    setProgress(Archiver::Progress());
}

void ExtractionProgressWindow::setProgress(const Archiver::Progress& progress)
{
    m_members->setText(kMembers.arg(progress.membersDone).arg(progress.membersTotal));
    m_bytes->setText(kBytes.arg(megabytes(progress.bytesDone), megabytes(progress.bytesTotal)));
    const double done = progress.bytesTotal > 0 ? static_cast<double>(progress.bytesDone) /
                                                      static_cast<double>(progress.bytesTotal)
                                                : 0.0;
    m_bar->setValue(static_cast<int>(qBound(0.0, done, 1.0) * kBarSteps));
}

void ExtractionProgressWindow::reject()
{
    // The window closes when the extraction has stopped, which takes a moment.
    m_stop->setEnabled(false);
    emit stopRequested();
}

} // namespace folivo
