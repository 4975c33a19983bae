#pragma once

#include <QString>
#include <QStringList>

namespace folivo {

/// Attribute masks of a listing: normal files only, or folders as well.
namespace ListAttributes {
constexpr int Normal = 0;
constexpr int Directory = 16;
} // namespace ListAttributes

/// How the last part of a path is read: as a pattern with "*" and "?", or as one name in
/// which they are characters like any other.
enum class NameMatch { Pattern, Literal };

/// Lists the entries that a path pattern names, as the Windows listing the program was
/// designed for does: "folder/*.jpg" or "folder/name", with "*" and "?" matched without
/// regard to letter case ("*.*" is every entry). Hidden entries (names starting with ".")
/// and entries that are neither regular files nor folders are never listed; folders only
/// when the mask holds Directory. Names come without their folder, in natural order without
/// regard to case (page2 before page10, a.jpg before B.jpg). A folder that cannot be read
/// lists nothing. With NameMatch::Literal the last part is one name, matched exactly or else
/// without regard to letter case; a path ending in the separator still lists the folder.
QStringList listDirectory(const QString& pattern, int attributes,
                          NameMatch match = NameMatch::Pattern);

/// One enumeration over listDirectory: the first name, then the next on each call, then "".
class DirListing {
public:
    DirListing(const QString& pattern, int attributes);

    /// The next name, or "" when the listing is exhausted.
    QString next();

private:
    QStringList m_names;
    qsizetype m_position = 0;
};

/// Natural order without regard to case; ties fall back to the exact bytes, so the order
/// is total and the same on every run.
bool naturalLess(const QString& a, const QString& b);

} // namespace folivo
