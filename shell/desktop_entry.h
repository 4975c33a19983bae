#pragma once

#include <QByteArray>
#include <QString>

namespace folivo {

/// The freedesktop desktop entry that puts the start verb into file managers' "Open with"
/// menus for folders, ZIP and LZH archives, the counterpart of the shell verb in the class
/// root. Results are the key store's codes (KeyResult), so failures read the same.

/// $XDG_DATA_HOME/applications (~/.local/share/applications when unset or not absolute).
QString desktopEntryFolder();

/// <desktopEntryFolder()>/folivo-open.desktop
QString desktopEntryPath();

/// The entry's text: an application named verbName that starts programPath with the path.
QByteArray desktopEntryText(const QString& verbName, const QString& programPath);

/// Writes the entry (replacing an older one whole) and refreshes the folder's MIME cache.
int installDesktopEntry(const QString& verbName, const QString& programPath);

/// Removes the entry; an entry that is not there is no failure.
int removeDesktopEntry();

} // namespace folivo
