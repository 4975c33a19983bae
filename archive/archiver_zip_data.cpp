#include "archive/archiver_zip_data.h"

#include <QFile>

#include <isa-l/crc.h>
#include <libdeflate.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace folivo::Archiver {
namespace {

constexpr quint16 kStored = 0;
constexpr quint16 kDeflated = 8;
// Bigger members are streamed by libarchive: a lying header must not make a worker hold
// gigabytes.
constexpr qint64 kMaxWholeMember = qint64(64) << 20;

bool readAll(int fd, char* into, qint64 size, qint64 offset)
{
    while (size > 0) {
        const ssize_t got = ::pread(fd, into, static_cast<size_t>(size), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        size -= got;
        offset += got;
    }
    return true;
}

// ISA-L folds the CRC with the processor's carry-less multiply, 64 bytes a step where it has
// AVX-512, well ahead of libdeflate's CRC: on a stored member the CRC is the only work
// besides writing it.
quint32 crc32(quint32 crc, const char* bytes, size_t size)
{
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(bytes), size);
}

} // namespace

ZipDataIndex ZipDataIndex::read(const QString& archivePath, const ZipDirectory& directory)
{
    ZipDataIndex index;
    QFile file(archivePath);
    if (directory.isEmpty() || !file.open(QIODevice::ReadOnly))
        return index;
    const qint64 fileSize = file.size();
    for (const ZipDirectoryEntry& entry : directory.entries()) {
        if (entry.isEncrypted() || entry.usesZip64() ||
            (entry.method != kStored && entry.method != kDeflated) ||
            (entry.method == kStored && entry.compressedSize != entry.size))
            continue;
        // A local header that does not agree with the central directory's method leaves the
        // member to libarchive.
        const std::optional<qint64> dataOffset = ZipDirectory::dataOffset(file, entry);
        if (!dataOffset || *dataOffset + entry.compressedSize > fileSize)
            continue;
        // Two members whose data starts at the same place are not told apart.
        const auto [it, inserted] =
            index.m_data.try_emplace(*dataOffset, ZipData{entry.compressedSize, entry.size,
                                                          entry.crc, entry.method == kDeflated});
        if (!inserted)
            it->second.reset();
    }
    return index;
}

const ZipData* ZipDataIndex::find(qint64 dataOffset) const
{
    const auto it = m_data.find(dataOffset);
    return it == m_data.end() || !it->second ? nullptr : &*it->second;
}

char* ZipDataReader::Buffer::reserve(size_t size)
{
    if (size <= m_memory.capacity() && !m_memory.isNull())
        return m_memory.data();
    // The slack spares a new buffer for each slightly larger member.
    m_memory = PrefaultedBuffer(); // the old one goes first: never two at once
    m_memory = PrefaultedBuffer(std::max<size_t>(size, 1) + size / 32);
    return m_memory.data();
}

ZipDataReader::ZipDataReader(const QString& archivePath)
    : m_fd(::open(QFile::encodeName(archivePath).constData(), O_RDONLY | O_CLOEXEC))
    , m_inflater(libdeflate_alloc_decompressor())
{
}

ZipDataReader::~ZipDataReader()
{
    if (m_inflater)
        libdeflate_free_decompressor(m_inflater);
    if (m_fd >= 0)
        ::close(m_fd);
}

ZipDataReader::Streamed ZipDataReader::stream(qint64 dataOffset, const ZipData& data,
                                              const Block& block)
{
    // Small enough to stay in the second-level cache while it is checked and written.
    constexpr qint64 kBlock = qint64{256} * 1024;
    char* buffer = m_block.reserve(static_cast<size_t>(kBlock));
    if (m_fd < 0 || !buffer || data.deflated || data.compressedSize != data.size)
        return Streamed::Unreadable;
    quint32 crc = 0;
    for (qint64 done = 0; done < data.size;) {
        const qint64 size = std::min(kBlock, data.size - done);
        if (!readAll(m_fd, buffer, size, dataOffset + done))
            return Streamed::Unreadable;
        crc = crc32(crc, buffer, static_cast<size_t>(size));
        if (!block(std::span<const char>(buffer, static_cast<size_t>(size)), done))
            return Streamed::Refused;
        done += size;
    }
    return crc == data.crc ? Streamed::Matched : Streamed::Mismatched;
}

std::optional<std::span<const char>> ZipDataReader::read(qint64 dataOffset, const ZipData& data)
{
    if (m_fd < 0 || !m_inflater || data.size > kMaxWholeMember ||
        data.compressedSize > kMaxWholeMember)
        return std::nullopt;
    const auto size = static_cast<size_t>(data.size);
    char* plain = m_plain.reserve(size);
    char* packed =
        data.deflated ? m_packed.reserve(static_cast<size_t>(data.compressedSize)) : plain;
    if (!plain || !packed || !readAll(m_fd, packed, data.compressedSize, dataOffset))
        return std::nullopt;
    // Without a place for the actual length, libdeflate fails a stream that comes out
    // shorter or longer than the declared size.
    if (data.deflated &&
        libdeflate_deflate_decompress(m_inflater, packed, static_cast<size_t>(data.compressedSize),
                                      plain, size, nullptr) != LIBDEFLATE_SUCCESS)
        return std::nullopt;
    if (crc32(0, plain, size) != data.crc)
        return std::nullopt;
    return std::span<const char>(plain, size);
}

} // namespace folivo::Archiver
