#include "open/archive_extract.h"

#include "open/extraction_feedback.h"
#include "platform/archiver.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThreadPool>

#include <atomic>

namespace folivo::Mod_Varnox {
namespace {

const QLatin1StringView kZipOptions("-x -o -q ");
const QLatin1StringView kLzhOptions("x -d1 -y1 ");

// Written into the marker, for whoever finds the folder.
const QByteArray kMarkerText =
    "This folder is Folivo's temporary folder: everything in it is deleted when the next\n"
    "archive is opened.\n";

QString markerPath(const QString& folder)
{
    return joinPath(folder, kTmpMarkerName);
}

bool isMarked(const QString& folder)
{
    const QFileInfo marker(markerPath(folder));
    return marker.isFile() && !marker.isSymLink();
}

void mark(const QString& folder)
{
    QFile marker(markerPath(folder));
    if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        marker.write(kMarkerText);
}

// A folder that cannot be made shows up as the archiver's own failure to write into it.
void makeMarkedFolder(const QString& folder)
{
    try {
        makeFolder(folder);
        mark(folder);
    } catch (const Error&) {
    }
}

bool isEmptyFolder(const QString& folder)
{
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

// Whether emptying the folder would delete the archive's directory entry. Emptying only
// unlinks a folder that is a link, so nothing behind one is at risk; the archive's own name
// is not resolved, since a link to an archive elsewhere is deleted all the same.
bool liesInside(const QString& archive, const QString& folder)
{
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink() || !folderInfo.isDir())
        return false;
    const QString outer = folderInfo.canonicalFilePath();
    const QString inner = QFileInfo(QFileInfo(archive).absolutePath()).canonicalFilePath();
    return !inner.isEmpty() && (inner == outer || inner.startsWith(outer + kPathSeparator));
}

// Emptying a folder of 200 scans takes longer than the reader should wait before the next
// book: the old content is renamed aside, to a marked sibling, and deleted in the background.
const QLatin1StringView kAsideInfix(".old-");

QString asideName(const QString& folder, qint64 number)
{
    return folder + kAsideInfix + QString::number(QCoreApplication::applicationPid()) +
           QLatin1Char('-') + QString::number(number);
}

bool exists(const QFileInfo& info)
{
    return info.exists() || info.isSymLink();
}

// Renames a marked folder aside in one step; false when it stays where it is.
bool setAside(const QString& folder)
{
    static std::atomic<qint64> nextNumber{0};
    if (QFileInfo(folder).isSymLink() || !isMarked(folder))
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString aside = asideName(folder, nextNumber++);
        // A folder of that name, even an empty one, is not Folivo's to replace.
        if (exists(QFileInfo(aside)))
            continue;
        return QDir().rename(folder, aside);
    }
    return false;
}

// Deletes a folder set aside, if it still carries the mark. The mark goes last, so that a
// deletion cut short by the program's end is taken up again by the next sweep.
void removeSetAside(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir() || !isMarked(folder))
        return;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name != kTmpMarkerName)
            removeTree(dir.filePath(name));
    }
    QFile::remove(markerPath(folder));
    QDir().rmdir(folder);
}

// Deletes every marked folder set aside beside the temporary folder: the one just renamed,
// and any that an earlier run left when it ended before its deletion did.
void sweepSetAside(const QString& folder)
{
    const QFileInfo info(folder);
    const QDir parent = info.absoluteDir();
    const QRegularExpression asidePattern(
        QLatin1Char('^') + QRegularExpression::escape(info.fileName()) +
        QRegularExpression::escape(kAsideInfix) + QLatin1String("[0-9]+-[0-9]+$"));
    const QStringList names =
        parent.entryList({info.fileName() + kAsideInfix + QLatin1Char('*')},
                         QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (asidePattern.match(name).hasMatch())
            removeSetAside(parent.filePath(name));
    }
}

// One thread, so that two sweeps never delete the same folder at once. A program that
// returns from main waits here for the last deletion; one that ends at once leaves it to the
// next sweep.
QThreadPool& sweeper()
{
    static QThreadPool pool;
    static const bool oneThread = [] {
        pool.setMaxThreadCount(1);
        return true;
    }();
    Q_UNUSED(oneThread);
    return pool;
}

void sweepInBackground(const QString& folder)
{
    sweeper().start([folder] { sweepSetAside(folder); });
}

QString commandLine(QLatin1StringView options, const QString& archive, const QString& tmpFolder)
{
    return options + QLatin1Char('"') + archive + QLatin1String("\" \"") + tmpFolder +
           kPathSeparator + QLatin1String("\" *.*");
}

using VersionCall = int (*)();
using ExtractCall = int (*)(quintptr, const QString&, QString&, int, const Archiver::ProgressHook&,
                            const Archiver::MemberWatch&);
using CommandLineBuilder = QString (*)(const QString&, const QString&);

std::int32_t extract(VersionCall version, ExtractCall run, CommandLineBuilder build, quintptr owner,
                     const QString& archive, const Archiver::MemberWatch& watch)
{
    if (version() == 0)
        return kArchiverMissing;
    const QString tmpFolder = tmpFolderPath();
    if (liesInside(archive, tmpFolder))
        return kArchiveInTmp;
    if (Tmp_Clear(tmpFolder, owner) != 0)
        return kTmpNotOurs;
    const QString line = build(archive, tmpFolder);
    // The owner window is where the archivers showed their progress; here it is where ours
    // shows, over the main window, while the event loop keeps it painting.
    return extractionFeedback().run(owner, QFileInfo(archive).fileName(),
                                    [&](const Archiver::ProgressHook& hook) {
                                        QString output;
                                        return run(owner, line, output, 0, hook, watch);
                                    });
}

} // namespace

std::int32_t Archive_Check(const QString& name)
{
    const QString tail = name.toLower().right(4);
    if (tail == QLatin1String(".zip"))
        return 1;
    if (tail == QLatin1String(".lzh"))
        return 2;
    return 0;
}

QString zipCommandLine(const QString& archive, const QString& tmpFolder)
{
    return commandLine(kZipOptions, archive, tmpFolder);
}

QString lzhCommandLine(const QString& archive, const QString& tmpFolder)
{
    return commandLine(kLzhOptions, archive, tmpFolder);
}

std::int32_t Zip_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch)
{
    return extract(Archiver::UnZipGetVersion, Archiver::UnZip, zipCommandLine, owner, archive,
                   watch);
}

std::int32_t Lzh_Extract(quintptr& owner, const QString& archive,
                         const Archiver::MemberWatch& watch)
{
    return extract(Archiver::UnlhaGetVersion, Archiver::Unlha, lzhCommandLine, owner, archive,
                   watch);
}

std::int32_t Tmp_Clear(const QString& folder, quintptr owner)
{
    // There is no progress window to own here.
    Q_UNUSED(owner);
    try {
        fileAttributes(folder);
    } catch (const Error&) {
        // Made here, so that it carries the mark from the start.
        makeMarkedFolder(folder);
        sweepInBackground(folder);
        return 0;
    }
    if (!isMarked(folder)) {
        // The install folder may be a home folder with a tmp of the user's own: what Folivo
        // did not put there is never deleted, and a link is not followed to mark a folder.
        if (QFileInfo(folder).isSymLink() || !isFolder(folder))
            return -1;
        // Versions before the mark left an unmarked tmp holding the last archive's pages in
        // Folivo's own data folder; refusing it would stop every archive from opening.
        const bool leftByEarlierVersion =
            installFolderIsFolivos() && QFileInfo(folder) == QFileInfo(tmpFolderPath());
        if (!leftByEarlierVersion) {
            if (!isEmptyFolder(folder))
                return -1;
            mark(folder);
            sweepInBackground(folder);
            return 0;
        }
        // Marked like every folder set aside, so that a sweep may finish deleting it.
        mark(folder);
    }
    // removeTree unlinks links inside the folder without following them, so clearing never
    // reaches outside it; a link given as the folder is only unlinked, never set aside.
    if (!setAside(folder))
        removeTree(folder);
    makeMarkedFolder(folder);
    sweepInBackground(folder);
    return 0;
}

void waitForBackgroundClearing()
{
    sweeper().waitForDone();
}

} // namespace folivo::Mod_Varnox
