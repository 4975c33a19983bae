#pragma once

class QString;

namespace folivo {

namespace FileAttribute {
constexpr int Normal = 0;
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int Directory = 16;
} // namespace FileAttribute

/// The attributes of a path (Directory for a folder, a link counting as what it leads to).
/// Throws Error (File not found) when the path names nothing.
int fileAttributes(const QString& path);

/// True when the path names a folder (following links); never throws.
bool isFolder(const QString& path);

/// Creates one folder; its parent must exist. Throws Error when it cannot be made.
void makeFolder(const QString& path);

/// Removes a folder and everything in it. Links inside are removed as links: nothing they
/// lead to is touched, so nothing outside the folder is ever removed. A link given as the
/// folder itself is only unlinked. Returns false when something could not be removed.
bool removeTree(const QString& path);

} // namespace folivo
