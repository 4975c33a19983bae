#include "open/archive_extract.h"

#include "platform/archiver.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"

namespace folivo::Mod_Varnox {
namespace {

const QLatin1StringView kZipOptions("-x -o -q ");
const QLatin1StringView kLzhOptions("x -d1 -y1 ");

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
    Tmp_Clear(tmpFolder, owner);
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

void Tmp_Clear(const QString& folder, quintptr owner)
{
    // There is no progress window to own here.
    Q_UNUSED(owner);
    try {
        fileAttributes(folder);
    } catch (const Error&) {
        return;
    }
    // removeTree unlinks links inside the folder without following them, so clearing never
    // reaches outside it.
    removeTree(folder);
    try {
        makeFolder(folder);
    } catch (const Error&) {
    }
}

} // namespace folivo::Mod_Varnox
