#include "platform/file_stamp.h"

#include <QFile>

#include <sys/stat.h>

namespace folivo {

std::optional<FileStamp> fileStamp(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    constexpr qint64 kNsPerSecond = 1'000'000'000;
    return FileStamp{qint64{info.st_size},
                     qint64{info.st_mtim.tv_sec} * kNsPerSecond + info.st_mtim.tv_nsec,
                     qint64{info.st_ctim.tv_sec} * kNsPerSecond + info.st_ctim.tv_nsec,
                     quint64{info.st_dev}, quint64{info.st_ino}};
}

} // namespace folivo
