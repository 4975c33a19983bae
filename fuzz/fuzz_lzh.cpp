// The bytes as an LZH archive handed to the archiver stand-in.
#include "fuzz/fuzz_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    folivo::fuzz::extractArchive(folivo::fuzz::ArchiveKind::Lzh, data, size);
    return 0;
}
