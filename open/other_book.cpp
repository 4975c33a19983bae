#include "open/other_book.h"

#include "open/archive_extract.h"
#include "open/folder_check.h"
#include "platform/dir_listing.h"
#include "platform/install_folder.h"
#include "platform/path_separator.h"
#include "settings/resume.h"

#include <QFileInfo>
#include <QStringList>

namespace folivo {
namespace {

// A name in a folder, also in the root ("/name", not "//name").
QString childPath(const QString& parent, const QString& name)
{
    return parent.endsWith(kPathSeparator) ? parent + name : joinPath(parent, name);
}

bool isBook(const QString& parent, const QString& name)
{
    const QString path = childPath(parent, name);
    // Folivo's own temporary folder holds a copy of a book, not one of the reader's.
    if (path == tmpFolderPath())
        return false;
    const QFileInfo info(path);
    if (info.isDir())
        return Mod_Varnox::Folder_Check(path) != -1;
    return info.isFile() && Mod_Varnox::Archive_Check(name) != 0;
}

} // namespace

QString Other_Book(const QString& folder, int direction)
{
    if (folder.isEmpty() || direction == 0)
        return QString();
    const QString tmp = tmpFolderPath();
    QString book = folder;
    if (folder == tmp || folder.startsWith(tmp + kPathSeparator)) {
        book = Resume::unpackedArchive();
        if (book.isEmpty())
            return QString();
    }
    const QFileInfo info(book);
    const QString parent = info.absolutePath();
    const QString name = info.fileName();
    if (name.isEmpty() || parent == book)
        return QString(); // the root has no parent to look in

    QStringList names;
    DirListing listing(childPath(parent, QStringLiteral("*.*")), ListAttributes::Directory);
    for (QString next = listing.next(); !next.isEmpty(); next = listing.next()) {
        if (next != QLatin1String(".") && next != QLatin1String(".."))
            names.append(next);
    }
    qsizetype position = names.indexOf(name);
    if (position < 0)
        return QString();
    for (position += direction > 0 ? 1 : -1;
         position >= 0 && position<names.size(); position += direction> 0 ? 1 : -1) {
        if (isBook(parent, names.at(position)))
            return childPath(parent, names.at(position));
    }
    return QString();
}

} // namespace folivo
