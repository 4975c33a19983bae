#pragma once

#include "archive/archiver.h"

#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;

namespace folivo {

/// The quiet progress indication of an extraction whose book is already being read: a strip
/// at the owner window's lower right corner with the members done of the total, a bar and
/// 中止. It takes no focus and holds nothing up; it follows the window's size.
class ExtractionProgressStrip : public QFrame {
    Q_OBJECT
public:
    explicit ExtractionProgressStrip(QWidget* owner);

    void setProgress(const Archiver::Progress& progress);
    /// Whether a turn is waiting for a page that is still being unpacked: said in the strip.
    void setWaiting(bool waiting);

signals:
    void stopRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QLabel* m_text = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_stop = nullptr;
    Archiver::Progress m_progress;
    bool m_waiting = false;
};

} // namespace folivo
