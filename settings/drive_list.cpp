#include "settings/drive_list.h"

#include "platform/dir_listing.h"
#include "platform/path_separator.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>

namespace folivo {
namespace {

const QString kRoot = QString(kPathSeparator);

bool liesUnder(const QString& path, const QString& mountPoint)
{
    if (mountPoint == kRoot)
        return path.startsWith(kPathSeparator);
    return path == mountPoint || path.startsWith(mountPoint + kPathSeparator);
}

} // namespace

DriveList::DriveList(QWidget* parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::driveChanged);
    setDrives(readableMountPoints());
}

void DriveList::setDrives(const QStringList& mountPoints)
{
    QStringList sorted;
    for (const QString& mountPoint : mountPoints) {
        const QString clean = QDir::cleanPath(mountPoint);
        if (clean != kRoot && clean.startsWith(kPathSeparator) && !sorted.contains(clean))
            sorted.append(clean);
    }
    std::sort(sorted.begin(), sorted.end(), naturalLess);
    sorted.prepend(kRoot);

    const QSignalBlocker blocker(this);
    const QString keep = count() > 0 ? drive() : kRoot;
    clear();
    addItems(sorted);
    setCurrentIndex(static_cast<int>(sorted.indexOf(driveOf(sorted, keep))));
}

QStringList DriveList::drives() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i)
        result.append(itemText(i));
    return result;
}

QString DriveList::drive() const
{
    return currentText();
}

void DriveList::setDrive(const QString& path)
{
    setCurrentIndex(findText(driveOf(drives(), path), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void DriveList::setDriveQuietly(const QString& path)
{
    const QSignalBlocker blocker(this);
    setDrive(path);
}

QString DriveList::driveOf(const QStringList& mountPoints, const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString best = kRoot;
    for (const QString& mountPoint : mountPoints) {
        if (mountPoint.size() > best.size() && liesUnder(absolute, mountPoint))
            best = mountPoint;
    }
    return best;
}

QStringList DriveList::readableMountPoints()
{
    QStringList result{kRoot};
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& volume : volumes) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QFileInfo root(volume.rootPath());
        // A volume we may not enter would only fail when picked.
        if (root.isDir() && root.isReadable() && root.isExecutable())
            result.append(volume.rootPath());
    }
    return result;
}

} // namespace folivo
