#pragma once

#include <QString>

#include <cstdint>

namespace folivo::Mod_Varnox {

/// What a folder holds at its top level: 0 pictures only, 1 pictures and subfolders,
/// 2 subfolders only, -1 neither. Hidden entries are not seen.
std::int32_t Folder_Check(const QString& folder);

} // namespace folivo::Mod_Varnox
