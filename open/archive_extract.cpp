#include "open/archive_extract.h"

#include "platform/archiver.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString commandLine(QLatin1StringView options, const QString& archive, const QString& tmpFolder)
{
    return options + QLatin1Char('"') + archive + QLatin1String("\" \"") + tmpFolder +
           kPathSeparator + QLatin1String("\" *.*");
}

using VersionCall = int (*)();
using ExtractCall = int (*)(quintptr, const QString&, QString&, int);
using CommandLineBuilder = QString (*)(const QString&, const QString&);

std::int32_t extract(VersionCall version, ExtractCall run, CommandLineBuilder build, quintptr owner,
                     const QString& archive)
{
    if (version() == 0)
        return kArchiverMissing;
    const QString tmpFolder = tmpFolderPath();
    if (liesInside(archive, tmpFolder))
        return kArchiveInTmp;
    if (Tmp_Clear(tmpFolder, owner) != 0)
        return kTmpNotOurs;
    QString output;
    return run(owner, build(archive, tmpFolder), output, 0);
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

std::int32_t Zip_Extract(quintptr& owner, const QString& archive)
{
    return extract(Archiver::UnZipGetVersion, Archiver::UnZip, zipCommandLine, owner, archive);
}

std::int32_t Lzh_Extract(quintptr& owner, const QString& archive)
{
    return extract(Archiver::UnlhaGetVersion, Archiver::Unlha, lzhCommandLine, owner, archive);
}

std::int32_t Tmp_Clear(const QString& folder, quintptr owner)
{
    // There is no progress window to own here.
    Q_UNUSED(owner);
    try {
        fileAttributes(folder);
    } catch (const Error&) {
        // Made here, so that it carries the mark from the start.
        try {
            makeFolder(folder);
            mark(folder);
        } catch (const Error&) {
        }
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
            return 0;
        }
    }
    // removeTree unlinks links inside the folder without following them, so clearing never
    // reaches outside it.
    removeTree(folder);
    try {
        makeFolder(folder);
        mark(folder);
    } catch (const Error&) {
    }
    return 0;
}

} // namespace folivo::Mod_Varnox
