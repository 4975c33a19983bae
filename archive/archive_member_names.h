#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace folivo::Archiver {
class ZipDirectory;
} // namespace folivo::Archiver

namespace folivo {

/// How the names of an archive's members are stored, decided once per archive.
enum class NameEncoding { Utf8, Cp932 };

/// True when the bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isValidUtf8(const QByteArray& bytes);

/// Archives made on Japanese Windows store names in CP932; Info-ZIP on Linux stores UTF-8
/// without saying so. Only when every name reads as UTF-8 is the archive taken as UTF-8:
/// CP932 names are rarely valid UTF-8, the other way round is common.
NameEncoding chooseNameEncoding(const QList<QByteArray>& rawNames);

/// The member name as text, in Unicode NFC. CP932 rather than plain Shift_JIS, so that the
/// Windows additions (①, Ⅰ, ㈱) come out right.
QString decodeMemberName(const QByteArray& raw, NameEncoding encoding);

/// Splits a decoded member name into the folders and name to create below the destination.
/// Both "\" and "/" separate folders (the name is decoded first, so a CP932 trail byte equal
/// to "\" is not mistaken for one); empty and "." parts are dropped. Absolute names (a leading
/// separator or a drive letter) and names with a ".." part give nothing: they would leave the
/// destination.
std::optional<QStringList> memberPathParts(const QString& name);

/// The names of a ZIP archive's members that carry the UTF-8 flag (or an Info-ZIP Unicode
/// path field), in NFC.
QSet<QString> zipUtf8FlaggedNames(const Archiver::ZipDirectory& directory);

} // namespace folivo
