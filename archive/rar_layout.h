#pragma once

#include <QSet>
#include <QString>

#include <optional>

class QFile;

namespace folivo::Archiver {

/// What a RAR archive's block headers tell before libarchive walks it, and libarchive does
/// not tell: whether its members are compressed as one stream, and which are encrypted (the
/// RAR 5 reader takes an encrypted member for plain data and fails in the middle of it).
/// Nothing in it is trusted beyond its bytes: the walk stops at the first header that is cut
/// short or does not add up.
struct RarLayout {
    /// Solid: each member's data depends on the members before it.
    bool solid = false;
    /// The headers themselves are encrypted: no member can be listed without the password.
    bool headersEncrypted = false;
    /// The file members whose data is encrypted, by their place among the file members
    /// (counted from 0, as libarchive hands them over). RAR 5 only: libarchive reports a
    /// RAR 4 member's encryption itself.
    QSet<int> encryptedMembers;

    /// The archive at path as RAR 4 or RAR 5; nullopt when it starts with neither signature.
    static std::optional<RarLayout> read(const QString& path);
    static std::optional<RarLayout> read(QFile& archive);
};

} // namespace folivo::Archiver
