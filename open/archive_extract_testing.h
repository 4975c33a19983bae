#pragma once

#include "open/archive_extract.h"
#include "platform/file_lock.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

/// The steps of the unpacking that tests and benchmarks call on their own; the program
/// reaches them through Zip_Extract, Lzh_Extract and Archive_Extract.
namespace folivo::Mod_Varnox {

/// The archiver command lines: options, the quoted archive, the quoted temporary folder with
/// its trailing separator, and the pattern for all members.
QString zipCommandLine(const QString& archive, const QString& tmpFolder);
QString lzhCommandLine(const QString& archive, const QString& tmpFolder);
QString otherCommandLine(const QString& archive, const QString& tmpFolder);

/// Empties Folivo's temporary folder by renaming it aside and re-creating it, marked as
/// Folivo's; what was set aside (a sibling named "<folder>.old-<pid>-<n>", still marked) is
/// deleted on a background thread, together with any marked sibling of that form an earlier
/// run left. Only a folder that carries the mark is set aside or removed; a missing folder is
/// created and an empty unmarked one adopted. Returns 0 when the folder is ready for
/// extraction, -1 when it is not Folivo's and holds something, kTmpInUse when another Folivo
/// program holds it (it is then left untouched). Once it returns 0, this program holds the
/// folder alone. Failures to remove, create or mark are swallowed: the extraction that
/// follows tells.
std::int32_t Tmp_Clear(const QString& folder, quintptr owner);

/// The claim of this program on the temporary folder against the other Folivo programs that
/// share the install folder: a program reading a book from it holds it shared, one emptying
/// it holds it alone (a lock of the kernel on "<folder>.lock", dropped when the program
/// ends, however it ends).
FileLock& tmpFolderLock();

/// Bytes that emptying the temporary folder would free on its disk: its content and what
/// earlier emptyings set aside and have not deleted yet. 0 when it is not Folivo's.
qint64 tmpReclaimableBytes(const QString& folder);

/// Waits until the background deletions that Tmp_Clear started have ended.
void waitForBackgroundClearing();

} // namespace folivo::Mod_Varnox
