#pragma once

// ZIP members' data read straight from the file. A deflated member is read in one call and
// inflated in one go by libdeflate, and nothing of it is handed over before its CRC and size
// are checked. A stored member is handed over in blocks small enough to stay in the
// processor's cache while they are checked and written, and its CRC is judged at the end.
// libarchive still walks the headers and decides everything; this only replaces its reading
// of the data, the dearest part of big scanned pages. Whatever does not fit (ZIP64
// fields, other methods, encryption, a damaged or oddly laid out member) is left to
// libarchive, which then also says what is wrong with it.

#include "archive/zip_directory.h"
#include "platform/prefaulted_buffer.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
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
    /// The members of the archive's central directory whose local headers agree with it;
    /// empty when the directory is.
    static ZipDataIndex read(const QString& archivePath, const ZipDirectory& directory);

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

    enum class Streamed { Matched, Mismatched, Unreadable, Refused };
    /// Where a stored member's block goes: its bytes and where they lie in the member; false
    /// stops the reading.
    using Block = std::function<bool(std::span<const char> bytes, qint64 offset)>;
    /// Hands a stored member's bytes over in blocks, in order, each one while it is still in
    /// the processor's cache, and says once all are handed over whether they matched the CRC.
    /// Refused when `block` stopped it; Unreadable when a block could not be read, and what
    /// was handed over before then is to be thrown away.
    Streamed stream(qint64 dataOffset, const ZipData& data, const Block& block);

private:
    class Buffer {
    public:
        /// At least size bytes, or null when they cannot be had.
        char* reserve(size_t size);

    private:
        PrefaultedBuffer m_memory;
    };

    int m_fd = -1;
    libdeflate_decompressor* m_inflater = nullptr;
    Buffer m_block;
    Buffer m_packed;
    Buffer m_plain;
};

} // namespace folivo::Archiver
