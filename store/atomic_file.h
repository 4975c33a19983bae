#pragma once

#include <QByteArray>

namespace folivo {

/// Replaces the file at path (a local, encoded file name) with content so that whoever reads
/// it, and whatever happens to the machine meanwhile, sees either the whole old content or
/// the whole new: the content goes to a temporary file beside path, which is flushed to disk
/// and renamed over path. The old file's permission bits are kept; a new file gets those of
/// any new file (0666 less the umask). Returns 0, or the errno of the step that failed, in
/// which case path is as it was and the temporary file is gone.
int replaceFileAtomically(const QByteArray& path, const QByteArray& content);

/// Removes the temporary files that replaceFileAtomically leaves beside path when it is killed
/// before its rename: regular files named path + "." + six letters or digits, nothing else.
/// The caller makes sure that no writer of path is at work meanwhile.
void removeLeftoverTemporaries(const QByteArray& path);

} // namespace folivo
