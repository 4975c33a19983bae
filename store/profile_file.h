#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <utility>

namespace folivo {

/// Reader and writer of INI profile files with the behaviour of the Windows profile
/// functions that the settings rely on: keys and sections matched without regard to case,
/// an existing key rewritten in place, a new key appended at the end of its section (a new
/// section at the end of the file), a key with an empty value kept as "key=". Files are
/// UTF-8. A write replaces the file atomically (temporary file in the same folder, flushed,
/// renamed over the old one) and is serialised against other processes with a lock file.
namespace Profile {

/// Copies the value of section/key into a buffer of bufferSize characters, as
/// GetPrivateProfileString does: the default when the key or file is missing, at most
/// bufferSize - 1 characters. Returns the number of characters copied and sets text to them.
int getString(const QString& section, const QString& key, const QString& defaultText, QString& text,
              int bufferSize, const QString& file);

/// Writes section/key = value. Returns a value greater than 0 on success and 0 on failure
/// (folder missing, file or folder not writable, file replaced by a folder).
int writeString(const QString& section, const QString& key, const QString& value,
                const QString& file);

/// A section's keys and values, in the file's order.
using Entries = QList<std::pair<QString, QString>>;

/// The keys and values of section (the first section of that name, the first line of each
/// key, as getString reads them). Empty when the file or section is missing or unreadable.
Entries sectionEntries(const QString& section, const QString& file);

/// Replaces everything section holds with entries, in their order (a missing section is added
/// at the end of the file), atomically and under the same lock as writeString. Other sections
/// and lines stay as they are. Returns a value greater than 0 on success, 0 on failure or when
/// a name or value cannot be written.
int writeSection(const QString& section, const Entries& entries, const QString& file);

/// Removes the temporary files that writers of file killed half way left beside it. While
/// another writer is at work it leaves everything as it is: the next start sweeps.
void removeLeftovers(const QString& file);

/// Keeps every other writer of a file out while it lives, so that reading a file and then
/// writing it is one step for other threads and processes. Writes of the holding thread go
/// through meanwhile. Without a usable lock (a missing folder) it holds nothing, and the
/// writes fail as they would anyway.
class ExclusiveAccess {
public:
    explicit ExclusiveAccess(const QString& file);
    ~ExclusiveAccess();
    ExclusiveAccess(const ExclusiveAccess&) = delete;
    ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;

private:
    struct Lock;
    std::unique_ptr<Lock> m_lock;
};

} // namespace Profile
} // namespace folivo
