#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace folivo::test {

/// A RAR test archive of libarchive's own test suite, kept uuencoded in tests/archive/data
/// (nothing on Debian writes RAR); empty when it cannot be read. `name` without ".uu". The
/// program that uses it defines FOLIVO_TEST_ARCHIVES as that folder.
QByteArray libarchiveSample(const char* name);

/// Writes libarchiveSample(name) to path; false when either fails.
bool writeLibarchiveSample(const char* name, const QString& path);

/// Runs an archiver (7z, bsdtar) in `folder` and waits for it; false when it is not
/// installed or fails.
bool runTool(const QString& program, const QStringList& arguments, const QString& folder);

} // namespace folivo::test
