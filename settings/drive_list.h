#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

namespace folivo {

/// The drive list of the folder registration window: "/" and the mounted volumes the user
/// can read, each shown by its mount point. Linux has no drive letters; the "drive" of a
/// path is the innermost listed mount point it lies under.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    /// Replaces the listed mount points ("/" is always listed, first); keeps no selection
    /// signal. Used at construction with the mounted volumes, and by tests.
    void setDrives(const QStringList& mountPoints);
    QStringList drives() const;

    /// The selected mount point.
    QString drive() const;
    /// Selects the drive that holds path (which need not exist) and raises driveChanged
    /// when the selection moves. Never fails: every path lies on "/" at least.
    void setDrive(const QString& path);
    /// As setDrive, without raising driveChanged.
    void setDriveQuietly(const QString& path);

    /// The innermost of mountPoints that holds path ("/" when none does). A relative path
    /// is taken from the process's current folder.
    static QString driveOf(const QStringList& mountPoints, const QString& path);
    /// "/" and the mounted volumes whose root the user may list.
    static QStringList readableMountPoints();

signals:
    void driveChanged();
};

} // namespace folivo
