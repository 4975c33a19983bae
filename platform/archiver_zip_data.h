#pragma once

// ZIP members read whole, straight from the file: the bytes are read in one call and inflated
// in one go by libdeflate, and nothing is handed over before their CRC and size are checked.
// libarchive still walks the headers and decides everything; this only replaces its reading
// of the data, which costs twice as much on big scanned pages. Whatever does not fit (ZIP64
// fields, other methods, encryption, a damaged or oddly laid out member) is left to
// libarchive, which then also says what is wrong with it.

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <optional>
#include <span>
#include <unordered_map>

struct libdeflate_decompressor;

namespace folivo::Archiver {

/// What the central directory says of one member's data.
struct ZipData {
    qint64 compressedSize = 0;
    qint64 size = 0;
    quint32 crc = 0;
    bool deflated = false;
};

/// The members whose data can be read directly, by the offset where their data starts: the
/// offset after their local header, which is where libarchive stands once it has read it.
class ZipDataIndex {
public:
    /// Empty when the archive has no central directory that can be read.
    static ZipDataIndex read(const QString& archivePath);

    /// The member whose data starts at offset, or null when none or more than one does.
    const ZipData* find(qint64 dataOffset) const;
    bool isEmpty() const { return m_data.empty(); }

private:
    std::unordered_map<qint64, std::optional<ZipData>> m_data;
};

/// Reads members whole into buffers that are kept for the next member (fresh pages are dear).
class ZipDataReader {
public:
    explicit ZipDataReader(const QString& archivePath);
    ~ZipDataReader();
    ZipDataReader(const ZipDataReader&) = delete;
    ZipDataReader& operator=(const ZipDataReader&) = delete;

    /// The member's bytes, whole and matching their CRC and size; nullopt when they cannot be
    /// had so. The bytes stay valid until the next call.
    std::optional<std::span<const char>> read(qint64 dataOffset, const ZipData& data);

private:
    class Buffer {
    public:
        Buffer() = default;
        ~Buffer();
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;
        /// At least size bytes, or null when they cannot be had.
        char* reserve(size_t size);

    private:
        char* m_data = nullptr;
        size_t m_capacity = 0;
    };

    int m_fd = -1;
    libdeflate_decompressor* m_inflater = nullptr;
    Buffer m_packed;
    Buffer m_plain;
};

} // namespace folivo::Archiver
