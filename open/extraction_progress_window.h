#pragma once

#include "archive/archiver.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace folivo {

/// The small window shown over the main window while a long extraction runs: the archive's
/// name, members and bytes done of the total, and a button that stops the extraction. It
/// stays until the extraction has ended; closing it asks for the stop as the button does.
class ExtractionProgressWindow : public QDialog {
    Q_OBJECT
public:
    ExtractionProgressWindow(const QString& archiveName, QWidget* owner);

    void setProgress(const Archiver::Progress& progress);

signals:
    void stopRequested();

public slots:
    void reject() override;

private:
    QLabel* m_members = nullptr;
    QLabel* m_bytes = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_stop = nullptr;
};

} // namespace folivo
