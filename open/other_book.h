#pragma once

#include <QString>

namespace folivo {

/// The book beside the one whose pages are in `folder`: the next (direction > 0) or previous
/// one in the natural order of its parent folder's listing, skipping what is not a book. A
/// book is a folder with pictures or subfolders, or an archive Folivo opens. The pages of an
/// unpacked archive belong to that archive, beside which the search goes. "" when there is
/// none, or when the book on screen is not known.
QString Other_Book(const QString& folder, int direction);

} // namespace folivo
