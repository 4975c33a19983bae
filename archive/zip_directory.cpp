#include "archive/zip_directory.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace folivo::Archiver {
namespace {

constexpr qsizetype kCentralHeaderSize = 46;
constexpr qint64 kLocalHeaderSize = 30;
constexpr qint64 kEndRecordSize = 22;
constexpr qint64 kZip64LocatorSize = 20;
constexpr qint64 kZip64EndRecordSize = 56;
constexpr quint16 kUtf8NameFlag = 0x0800;
constexpr quint16 kEncryptedFlags = 0x0001 | 0x0040;
constexpr quint16 kInfoZipUnicodePathField = 0x7075;
constexpr quint32 kZip64Marker = 0xFFFFFFFF;
// A central directory larger than this is not a real one; the archive is then read by
// libarchive alone, its names as they come.
constexpr qint64 kMaxDirectorySize = 256 * 1024 * 1024;

const QByteArrayView kCentralHeaderSignature("PK\x01\x02");
const QByteArrayView kLocalHeaderSignature("PK\x03\x04");
const QByteArrayView kEndRecordSignature("PK\x05\x06");
const QByteArrayView kZip64EndRecordSignature("PK\x06\x06");
const QByteArrayView kZip64LocatorSignature("PK\x06\x07");

// Every caller has made sure the bytes lie inside what it read.
quint16 le16(const char* at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 le32(const char* at)
{
    return qFromLittleEndian<quint32>(at);
}

quint64 le64(const char* at)
{
    return qFromLittleEndian<quint64>(at);
}

QByteArray readAt(QFile& file, qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || !file.seek(offset))
        return {};
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

struct Location {
    qint64 offset = 0;
    qint64 size = 0;
};

// Finds the central directory through the end record, and through its ZIP64 form when the
// plain record's fields are saturated.
std::optional<Location> locate(QFile& file)
{
    const qint64 fileSize = file.size();
    if (fileSize < kEndRecordSize)
        return std::nullopt;
    // The end record is followed by a comment of at most 64 KiB.
    const qint64 tailSize = std::min(fileSize, kEndRecordSize + 0xFFFF);
    const QByteArray tail = readAt(file, fileSize - tailSize, tailSize);
    if (tail.isEmpty())
        return std::nullopt;
    qsizetype at = tail.lastIndexOf(kEndRecordSignature);
    while (at >= 0 && at + kEndRecordSize > tail.size())
        at = tail.lastIndexOf(kEndRecordSignature, at - 1);
    if (at < 0)
        return std::nullopt;
    const char* const record = tail.constData() + at;
    const qint64 endRecord = fileSize - tailSize + at;
    Location directory{le32(record + 16), le32(record + 12)};
    if (le16(record + 10) == 0xFFFF || directory.offset == kZip64Marker ||
        directory.size == kZip64Marker) {
        const QByteArray locator = readAt(file, endRecord - kZip64LocatorSize, kZip64LocatorSize);
        if (!locator.startsWith(kZip64LocatorSignature))
            return std::nullopt;
        const QByteArray zip64 =
            readAt(file, static_cast<qint64>(le64(locator.constData() + 8)), kZip64EndRecordSize);
        if (!zip64.startsWith(kZip64EndRecordSignature))
            return std::nullopt;
        directory.size = static_cast<qint64>(le64(zip64.constData() + 40));
        directory.offset = static_cast<qint64>(le64(zip64.constData() + 48));
    }
    if (directory.size < 0 || directory.size > kMaxDirectorySize || directory.size > endRecord)
        return std::nullopt;
    // Self-extracting archives and archives with data in front record offsets relative to
    // the archive's own start: the directory then ends right before the end record.
    if (directory.offset < 0 || directory.offset > endRecord - directory.size ||
        readAt(file, directory.offset, 4) != kCentralHeaderSignature)
        directory.offset = endRecord - directory.size;
    return directory;
}

// The Info-ZIP Unicode path field: id, size, then version (1), CRC of the plain name (4) and
// the UTF-8 name.
QByteArrayView unicodePath(QByteArrayView extra)
{
    for (qsizetype field = 0; field + 4 <= extra.size();) {
        const quint16 id = le16(extra.data() + field);
        const qsizetype size = le16(extra.data() + field + 2);
        if (field + 4 + size > extra.size())
            break;
        if (id == kInfoZipUnicodePathField && size > 5)
            return extra.sliced(field + 9, size - 5);
        field += 4 + size;
    }
    return {};
}

} // namespace

bool ZipDirectoryEntry::nameIsUtf8() const
{
    return (flags & kUtf8NameFlag) != 0;
}

bool ZipDirectoryEntry::isEncrypted() const
{
    return (flags & kEncryptedFlags) != 0;
}

bool ZipDirectoryEntry::usesZip64() const
{
    return compressedSize == kZip64Marker || size == kZip64Marker ||
           localHeaderOffset == kZip64Marker;
}

ZipDirectory ZipDirectory::read(const QString& archivePath)
{
    QFile archive(archivePath);
    if (!archive.open(QIODevice::ReadOnly))
        return {};
    return read(archive);
}

ZipDirectory ZipDirectory::read(QFile& archive)
{
    const std::optional<Location> location = locate(archive);
    if (!location)
        return {};
    return ZipDirectory(readAt(archive, location->offset, location->size));
}

ZipDirectory::ZipDirectory(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    const char* const begin = m_bytes.constData();
    const qsizetype total = m_bytes.size();
    for (qsizetype at = 0; at + kCentralHeaderSize <= total;) {
        const char* const header = begin + at;
        if (QByteArrayView(header, 4) != kCentralHeaderSignature)
            break;
        const qsizetype nameAt = at + kCentralHeaderSize;
        const qsizetype nameSize = le16(header + 28);
        const qsizetype extraSize = le16(header + 30);
        const qsizetype commentSize = le16(header + 32);
        if (nameAt + nameSize + extraSize > total)
            break;
        ZipDirectoryEntry entry;
        entry.name = QByteArrayView(begin + nameAt, nameSize);
        entry.unicodePath = unicodePath(QByteArrayView(begin + nameAt + nameSize, extraSize));
        entry.flags = le16(header + 8);
        entry.method = le16(header + 10);
        entry.crc = le32(header + 16);
        entry.compressedSize = le32(header + 20);
        entry.size = le32(header + 24);
        entry.localHeaderOffset = le32(header + 42);
        m_entries.push_back(entry);
        at = nameAt + nameSize + extraSize + commentSize;
    }
}

std::optional<qint64> ZipDirectory::dataOffset(QFile& archive, const ZipDirectoryEntry& entry)
{
    const QByteArray local = readAt(archive, entry.localHeaderOffset, kLocalHeaderSize);
    if (!local.startsWith(kLocalHeaderSignature) || le16(local.constData() + 8) != entry.method)
        return std::nullopt;
    return qint64(entry.localHeaderOffset) + kLocalHeaderSize + le16(local.constData() + 26) +
           le16(local.constData() + 28);
}

} // namespace folivo::Archiver
