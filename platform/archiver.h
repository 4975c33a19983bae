#pragma once

#include <QString>

namespace folivo {

/// Stand-in for the archiver libraries UNZIP32.DLL and UNLHA32.DLL, over libarchive.
/// The extraction calls take the same command lines as those libraries:
///   UnZip:  -x -o -q "<archive>" "<destination>/" *.*
///   Unlha:  x -d1 -y1 "<archive>" "<destination>/" *.*
/// and unpack every member with its folder structure into the destination, never outside it.
/// They return 0 on success and a nonzero code otherwise (also when some members failed).
namespace Archiver {

/// Nonzero when the library can be used; 0 when it cannot.
int UnZipGetVersion();
int UnZip(quintptr owner, const QString& commandLine, QString& output, int outputSize);
int UnlhaGetVersion();
int Unlha(quintptr owner, const QString& commandLine, QString& output, int outputSize);

enum class Library { Zip, Lzh };
/// Makes a library report version 0, as a missing DLL would. For tests of that road only.
void setLibraryUsable(Library library, bool usable);

} // namespace Archiver
} // namespace folivo
