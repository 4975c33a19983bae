#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace folivo {

/// A file-backed stand-in for the registry's class root (HKEY_CLASSES_ROOT), kept in
/// <install folder>/classes.reg. It follows the registry's rules: key paths have backslashes
/// between levels ("Folder\shell\open\command"), key and value names are compared without
/// regard to case, every key may hold a default value (empty name) and named string values,
/// creating a key creates every missing key above it, and only a key without subkeys can be
/// deleted. Calls answer with the registry's result codes (KeyResult).
///
/// The file is UTF-8 text:
///
///     Folivo key store 1
///     [Folder]
///     [Folder\shell]
///     [Folder\shell\open]
///     [Folder\shell\open\command]
///     @="\"/usr/bin/folivo\" \"%1\""
///     "Name"="value"
///
/// The first line names the format. Each key has a line with its full path in brackets,
/// parents before children; the value lines below it hold the key's values, "@" for the
/// default value. In quoted names and values a backslash escapes '"' and '\', and bytes below
/// 0x20 or 0x7F are written as \xHH. Blank lines and lines starting with ';' are ignored.
/// The file is rewritten whole through a temporary file in the same folder that is flushed to
/// disk and renamed over it, so a crash leaves either the old or the new store.
///
/// A store that is not writable (the file or its folder without write permission, as a
/// read-only file blocks even administrators on Windows) refuses every change with
/// AccessDenied; a file that cannot be understood refuses reads and changes with BadDatabase
/// rather than being overwritten.

/// The predefined handle of the class root, the only root the store holds.
inline constexpr quint32 kClassesRoot = 0x80000000u;

/// The registry's result codes that the store answers with.
namespace KeyResult {
constexpr int Success = 0;
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int AccessDenied = 5;
constexpr int InvalidHandle = 6;
constexpr int WriteFault = 29;
constexpr int DiskFull = 112;
/// A key that still has subkeys cannot be deleted.
constexpr int DirectoryNotEmpty = 145;
constexpr int BadPathname = 161;
constexpr int MoreData = 234;
constexpr int BadDatabase = 1009;
constexpr int KeyDeleted = 1018;
} // namespace KeyResult

/// An open key. A default-constructed handle is the zero handle: every call on it fails with
/// InvalidHandle.
struct KeyHandle {
    QStringList path;
    bool open = false;
};

/// <install folder>/classes.reg
QString keyStorePath();

/// Opens an existing key for reading (RegOpenKeyEx). An empty path opens the root itself.
/// On failure the handle is the zero handle.
int keyOpen(quint32 root, const QString& keyPath, KeyHandle& handle);

/// Reads a string value (RegQueryValueEx) into buffer as UTF-8 with a terminating NUL. size
/// holds the buffer's size in bytes and receives the bytes used, NUL included; text of up to
/// size - 1 bytes fits, longer text fails with MoreData and size receives the size needed.
/// A missing value fails with FileNotFound.
int keyQueryValue(const KeyHandle& handle, const QString& valueName, char* buffer, quint32& size);

/// Opens a key for writing, creating it and every missing key above it (RegCreateKeyEx).
/// The store must be writable even when every key is already there.
int keyCreate(quint32 root, const QString& keyPath, KeyHandle& handle);

/// Writes a string value (RegSetValueEx with REG_SZ); text is UTF-8 without its NUL.
int keySetValue(const KeyHandle& handle, const QString& valueName, const QByteArray& text);

/// Closes a handle (RegCloseKey); the zero handle answers InvalidHandle.
int keyClose(KeyHandle& handle);

/// Deletes a key without subkeys (RegDeleteKey). A missing key answers FileNotFound, a key
/// with subkeys DirectoryNotEmpty.
int keyDelete(quint32 root, const QString& keyPath);

/// Puts the system's text for a result code into buffer as UTF-8 with a terminating NUL
/// (FormatMessage from the system table). Returns the length without the NUL, or 0 when the
/// text does not fit (the buffer is then left as it was).
quint32 keyFormatMessage(int code, char* buffer, quint32 size);

/// The system's text for a result code ("Access is denied.").
QString keyResultText(int code);

} // namespace folivo
