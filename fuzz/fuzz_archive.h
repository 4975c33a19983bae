#pragma once

#include <cstddef>
#include <cstdint>

namespace folivo::fuzz {

enum class ArchiveKind { Zip, Lzh, Other };

/// One run of an archive target: the bytes are written as an archive file and unpacked
/// through the archiver stand-in into a fresh destination, as the open procedure does.
void extractArchive(ArchiveKind kind, const std::uint8_t* data, std::size_t size);

} // namespace folivo::fuzz
