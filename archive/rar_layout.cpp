#include "archive/rar_layout.h"

#include <QFile>

#include <optional>

namespace folivo::Archiver {
namespace {

const QByteArray kRar4Signature("Rar!\x1A\x07\x00", 7);
const QByteArray kRar5Signature("Rar!\x1A\x07\x01\x00", 8);

constexpr quint8 kRar4MainHeader = 0x73;
constexpr quint16 kRar4Solid = 0x0008;
constexpr quint16 kRar4HeadersEncrypted = 0x0080;

enum Rar5HeaderType : quint64 { Main = 1, File = 2, Encryption = 4, End = 5 };
constexpr quint64 kRar5HasExtra = 0x0001;
constexpr quint64 kRar5HasData = 0x0002;
constexpr quint64 kRar5ArchiveSolid = 0x0004;
constexpr quint64 kRar5FileHasTime = 0x0002;
constexpr quint64 kRar5FileHasCrc = 0x0004;
constexpr quint64 kRar5MemberSolid = 0x0040;
constexpr quint64 kRar5EncryptionRecord = 0x01;
// RAR 5 writes no header larger than this; a larger size is damage, not a header to read.
constexpr quint64 kRar5MaxHeaderSize = 2 * 1024 * 1024;
constexpr int kMaxVintBytes = 10;

/// Reads the fields of one header in turn; any read past its end leaves it failed.
class Fields {
public:
    explicit Fields(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    /// RAR 5's variable-length integer: 7 bits a byte, low bits first, the high bit set on
    /// every byte but the last.
    quint64 vint()
    {
        quint64 value = 0;
        for (int shift = 0, n = 0; n < kMaxVintBytes; ++n, shift += 7) {
            if (m_pos >= m_bytes.size()) {
                m_failed = true;
                return 0;
            }
            const auto byte = static_cast<quint8>(m_bytes[m_pos++]);
            value |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        m_failed = true;
        return 0;
    }
    void skip(qsizetype count)
    {
        if (count > m_bytes.size() - m_pos)
            m_failed = true;
        else
            m_pos += count;
    }
    qsizetype position() const { return m_pos; }
    bool failed() const { return m_failed; }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

std::optional<RarLayout> readRar4(QFile& archive)
{
    RarLayout layout;
    // CRC (2), type (1), flags (2), size (2).
    const QByteArray main = archive.read(7);
    if (main.size() == 7 && static_cast<quint8>(main[2]) == kRar4MainHeader) {
        const auto flags = static_cast<quint16>(static_cast<quint8>(main[3]) |
                                                (static_cast<quint8>(main[4]) << 8));
        layout.solid = flags & kRar4Solid;
        layout.headersEncrypted = flags & kRar4HeadersEncrypted;
    }
    return layout;
}

/// Whether a file header's extra area holds an encryption record.
bool hasEncryptionRecord(QByteArrayView extra)
{
    Fields records(extra);
    while (records.position() < extra.size()) {
        const quint64 size = records.vint();
        const qsizetype start = records.position();
        const quint64 type = records.vint();
        if (records.failed() || size > quint64(extra.size()))
            return false;
        const qsizetype typeBytes = records.position() - start;
        if (quint64(typeBytes) > size)
            return false;
        if (type == kRar5EncryptionRecord)
            return true;
        records.skip(static_cast<qsizetype>(size) - typeBytes);
        if (records.failed())
            return false;
    }
    return false;
}

// Notes what a file header says; false when it does not add up.
bool readFileHeader(Fields& fields, QByteArrayView header, quint64 extraSize, int member,
                    RarLayout& layout)
{
    const quint64 fileFlags = fields.vint();
    fields.vint(); // unpacked size
    fields.vint(); // attributes
    if (fileFlags & kRar5FileHasTime)
        fields.skip(4);
    if (fileFlags & kRar5FileHasCrc)
        fields.skip(4);
    const quint64 compression = fields.vint();
    if (fields.failed() || extraSize > quint64(header.size() - fields.position()))
        return false;
    if (compression & kRar5MemberSolid)
        layout.solid = true;
    const auto extraStart = static_cast<qsizetype>(quint64(header.size()) - extraSize);
    if (hasEncryptionRecord(header.sliced(extraStart)))
        layout.encryptedMembers.insert(member);
    return true;
}

std::optional<RarLayout> readRar5(QFile& archive)
{
    RarLayout layout;
    const qint64 archiveSize = archive.size();
    qint64 position = archive.pos();
    int member = 0;
    while (position < archiveSize) {
        // CRC (4), then the header's size as a variable-length integer of at most 3 bytes.
        if (!archive.seek(position))
            break;
        const QByteArray start = archive.read(4 + 3);
        if (start.size() <= 4)
            break;
        Fields sizeField(QByteArrayView(start).sliced(4));
        const quint64 headerSize = sizeField.vint();
        if (sizeField.failed() || headerSize == 0 || headerSize > kRar5MaxHeaderSize)
            break;
        const qint64 headerStart = position + 4 + sizeField.position();
        if (!archive.seek(headerStart))
            break;
        const QByteArray header = archive.read(static_cast<qint64>(headerSize));
        if (header.size() != static_cast<qsizetype>(headerSize))
            break;
        Fields fields(header);
        const quint64 type = fields.vint();
        const quint64 flags = fields.vint();
        const quint64 extraSize = (flags & kRar5HasExtra) ? fields.vint() : 0;
        const quint64 dataSize = (flags & kRar5HasData) ? fields.vint() : 0;
        if (fields.failed() || dataSize > quint64(archiveSize))
            break;
        if (type == Encryption) {
            layout.headersEncrypted = true;
            break;
        }
        if (type == End)
            break;
        if (type == Main) {
            const quint64 archiveFlags = fields.vint();
            if (!fields.failed() && (archiveFlags & kRar5ArchiveSolid))
                layout.solid = true;
        } else if (type == File) {
            if (!readFileHeader(fields, header, extraSize, member, layout))
                break;
            ++member;
        }
        position = headerStart + static_cast<qint64>(headerSize) + static_cast<qint64>(dataSize);
    }
    return layout;
}

} // namespace

std::optional<RarLayout> RarLayout::read(const QString& path)
{
    QFile archive(path);
    if (!archive.open(QIODevice::ReadOnly))
        return std::nullopt;
    return read(archive);
}

std::optional<RarLayout> RarLayout::read(QFile& archive)
{
    if (!archive.seek(0))
        return std::nullopt;
    const QByteArray signature = archive.read(kRar5Signature.size());
    if (signature == kRar5Signature)
        return readRar5(archive);
    if (signature.startsWith(kRar4Signature)) {
        archive.seek(kRar4Signature.size());
        return readRar4(archive);
    }
    return std::nullopt;
}

} // namespace folivo::Archiver
