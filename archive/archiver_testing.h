#pragma once

#include "archive/archiver.h"

#include <QString>

#include <functional>
#include <optional>

namespace folivo::Archiver {

/// Makes a library report version 0, as a missing DLL would.
void setLibraryUsable(Format library, bool usable);

} // namespace folivo::Archiver

/// Seams of the archiver for tests: how many workers unpack, and how much room the disk has.
namespace folivo::Archiver::testing {

/// Sets the number of workers; 0 (the default) means one per processor core.
void setWorkerCount(int count);

struct DiskSpace {
    qint64 size = 0;
    qint64 free = 0;
};
/// Replaces the file-system query for a folder's disk; an empty function restores it.
/// nullopt from the probe means "unknown": the archive is then not refused for its size.
using DiskSpaceProbe = std::function<std::optional<DiskSpace>(const QString& folder)>;
void setDiskSpaceProbe(DiskSpaceProbe probe);

} // namespace folivo::Archiver::testing
