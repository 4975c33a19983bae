#include "platform/file_system.h"

#include "platform/error.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace folivo {

int fileAttributes(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw Error(ErrorNumber::FileNotFound);
    int attributes = S_ISDIR(st.st_mode) ? FileAttribute::Directory : FileAttribute::Normal;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (path.mid(slash + 1).startsWith(QLatin1Char('.')) &&
        path.mid(slash + 1) != QLatin1String(".") && path.mid(slash + 1) != QLatin1String(".."))
        attributes |= FileAttribute::Hidden;
    return attributes;
}

bool isFolder(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

void makeFolder(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return;
    if (errno == ENOENT)
        throw Error(ErrorNumber::PathNotFound);
    throw Error(ErrorNumber::PathFileAccess);
}

bool removeTree(const QString& path)
{
    // std::filesystem::remove_all removes links themselves and never descends through them.
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                error);
    return !error;
}

} // namespace folivo
