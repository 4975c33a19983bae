#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace folivo {
class ComboBox;
}

// Which files of a folder are pages, in which order, and how to step between them. Every
// call reads the folder's listing afresh: the file combo box's items are for the user to
// pick from, never used for stepping, so pages added meanwhile are reached in their place.
namespace folivo::Mod_Varnox {

/// True when the name (or a whole path) ends in a picture extension: .jpg, .jpeg, .gif,
/// .bmp, .wmf or .emf, in any letter case; with the reading option MoreFormats on, also .png,
/// .webp, .tif, .tiff, .avif and .jxl.
bool Picture_Check(const QString& name);

/// Among paths relative to a folder ("/"-separated, as an archive's members are named), the
/// index of the picture the folder's listing shows first: one right in the folder, not
/// hidden, first in the listing's order; -1 when none is.
qsizetype firstPictureAmong(const QStringList& paths);

/// The pictures of the folder named by the box's text, in the listing's order, names whole.
QStringList folderPictures(const ComboBox& path);

/// Refills the file box's items with the pictures of the folder named by the folder box.
void File_List_Load(const ComboBox& path, ComboBox& file);

/// The picture after the file box's text in the folder, or "" when that is the last one or
/// the text is not one of the folder's pictures.
QString File_Next(const ComboBox& path, const ComboBox& file);

/// The picture before the given name in the folder, or "" when the name is the first one
/// or not one of the folder's pictures.
QString File_Previous(const ComboBox& path, const QString& name);

/// The name a step reaches from the file box's text: with an empty text the folder's first
/// picture; +1 the next and -1 the previous picture (other steps by their sign); 0 the text
/// itself. At either end it shows a message box saying so and returns the text unchanged.
QString File_Step(const ComboBox& path, const ComboBox& file, std::int32_t step);

} // namespace folivo::Mod_Varnox
