#pragma once

namespace folivo::Archiver {

enum class Library { Zip, Lzh };
/// Makes a library report version 0, as a missing DLL would.
void setLibraryUsable(Library library, bool usable);

} // namespace folivo::Archiver
