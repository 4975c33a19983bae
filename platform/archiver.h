#pragma once

#include <QString>

namespace folivo {

/// Stand-in for the archiver libraries UNZIP32.DLL and UNLHA32.DLL, over libarchive.
/// The extraction calls take the same command lines as those libraries:
///   UnZip:  -x -o -q "<archive>" "<destination>/" *.*
///   Unlha:  x -d1 -y1 "<archive>" "<destination>/" *.*
/// and unpack every member with its folder structure into the destination, never outside it.
/// A missing destination folder is created (its parent must exist). Names are decoded per
/// archive: UTF-8 when flagged so or when every name is valid UTF-8, CP932 otherwise.
/// The __MACOSX folder of archives made on macOS is not extracted.
/// They return 0 on success and a nonzero code otherwise (also when some members failed):
///   1  the command line is not of the form above
///   2  the archive cannot be opened or is not an archive of that kind
///   3  the destination folder is missing and cannot be created
///   4  some members were left out: a name leading outside the destination (absolute or
///      with ".."), a link or another special file, or an encrypted member
///   5  some members could not be written (disk full, name too long, ...)
///   6  the archive is damaged: reading stopped early or a member's data is wrong
/// When several apply, the highest is returned. Everything that could be extracted is.
namespace Archiver {

namespace Result {
constexpr int Success = 0;
constexpr int BadCommandLine = 1;
constexpr int CannotOpenArchive = 2;
constexpr int NoDestination = 3;
constexpr int MembersLeftOut = 4;
constexpr int WriteFailed = 5;
constexpr int ArchiveDamaged = 6;
} // namespace Result

/// Nonzero when the library can be used; 0 when it cannot.
int UnZipGetVersion();
int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize);
int UnlhaGetVersion();
int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize);

} // namespace Archiver
} // namespace folivo
