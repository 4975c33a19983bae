#include "fuzz/fuzz_archive.h"

#include "archive/archiver.h"
#include "fuzz/fuzz_support.h"

#include <QDirIterator>
#include <QFileInfo>

namespace folivo::fuzz {
namespace {

// Whatever the archive holds, extraction may create nothing but regular files and folders,
// and only inside the destination: the scratch folder must hold the archive and the
// destination and nothing else.
void checkConfined(const QString& archiveName, const QString& destinationName)
{
    const QStringList top =
        QDir(scratchFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& name : top) {
        if (name != archiveName && name != destinationName)
            fail("extraction wrote outside its destination");
    }
    QDirIterator it(scratchPath(destinationName),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        if (entry.isSymLink() || (!entry.isFile() && !entry.isDir()))
            fail("extraction made a link or a special file");
    }
}

// The archive's name as the open procedure would judge it, and the library that unpacks it.
struct Library {
    QString archiveName;
    Archiver::Format format;
    int (*extract)(quintptr, const QString&, QString&, int, const Archiver::Hooks&);
};

Library libraryFor(ArchiveKind kind)
{
    switch (kind) {
    case ArchiveKind::Zip:
        return {QStringLiteral("in.zip"), Archiver::Format::Zip, Archiver::UnZip};
    case ArchiveKind::Lzh:
        return {QStringLiteral("in.lzh"), Archiver::Format::Lzh, Archiver::Unlha};
    case ArchiveKind::Other:
        break;
    }
    return {QStringLiteral("in.rar"), Archiver::Format::Other, Archiver::Unarchive};
}

} // namespace

void extractArchive(ArchiveKind kind, const std::uint8_t* data, std::size_t size)
{
    const Library library = libraryFor(kind);
    const QString& archiveName = library.archiveName;
    const QString destinationName = QStringLiteral("out");
    const QString archive = scratchPath(archiveName);
    const QString destination = scratchPath(destinationName);
    writeBytes(archive, data, size);
    QDir().mkpath(destination);

    const QString line = Archiver::commandLineOptions(library.format) +
                         QStringLiteral("\"%1\" \"%2/\" *.*").arg(archive, destination);
    QString output;
    const int result = library.extract(0, line, output, 0, Archiver::Hooks());
    if (result < Archiver::Result::Success || result > Archiver::Result::ArchiveDamaged)
        fail("the archiver returned a code outside its documented range");
    checkConfined(archiveName, destinationName);

    // Anything the archive managed to plant (a folder without write permission, say) must
    // not keep the next run from starting clean.
    QDirIterator it(destination, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(destination).removeRecursively();
    QFile::remove(archive);
}

} // namespace folivo::fuzz
