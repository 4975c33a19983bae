#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace folivo {

/// A file as it is on disk now: another size, time or identity means another file. Safe on
/// any thread (it reads no time zone and no shared state).
struct FileStamp {
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0; ///< a rename over it, a copy in place or new permissions
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileStamp&) const = default;
};

/// The stamp of a regular file; nothing when the path does not name one.
std::optional<FileStamp> fileStamp(const QString& path);

} // namespace folivo
