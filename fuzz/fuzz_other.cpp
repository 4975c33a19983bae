// The bytes as a RAR, 7z or tar book handed to the archiver stand-in's third library, which
// tells the kind by the bytes, not the name.
#include "fuzz/fuzz_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    folivo::fuzz::extractArchive(folivo::fuzz::ArchiveKind::Other, data, size);
    return 0;
}
