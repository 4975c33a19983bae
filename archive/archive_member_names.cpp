#include "archive/archive_member_names.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace folivo {
namespace {

constexpr quint16 kZipUtf8NameFlag = 0x0800;
constexpr quint16 kInfoZipUnicodePathField = 0x7075;
// A central directory larger than this is not a real one; the name check then falls back
// to reading every name as it comes.
constexpr qint64 kMaxCentralDirectorySize = 256 * 1024 * 1024;

quint16 le16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) |
                                (static_cast<quint8>(bytes[at + 1]) << 8));
}

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint32>(le16(bytes, at)) |
           (static_cast<quint32>(le16(bytes, at + 2)) << 16);
}

quint64 le64(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint64>(le32(bytes, at)) |
           (static_cast<quint64>(le32(bytes, at + 4)) << 32);
}

QString nfcFromUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).normalized(QString::NormalizationForm_C);
}

QByteArray readAt(QFile& file, qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || !file.seek(offset))
        return {};
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

struct CentralDirectory {
    qint64 offset = 0;
    qint64 size = 0;
};

// Finds the central directory through the end record (and its ZIP64 form when the plain
// record's fields are saturated).
std::optional<CentralDirectory> locateCentralDirectory(QFile& file)
{
    const qint64 fileSize = file.size();
    constexpr qint64 kEndRecordSize = 22;
    if (fileSize < kEndRecordSize)
        return std::nullopt;
    const qint64 tailSize = std::min(fileSize, kEndRecordSize + 0xFFFF);
    const QByteArray tail = readAt(file, fileSize - tailSize, tailSize);
    if (tail.isEmpty())
        return std::nullopt;
    qsizetype at = tail.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    while (at >= 0 && at + kEndRecordSize > tail.size())
        at = tail.lastIndexOf(QByteArrayLiteral("PK\x05\x06"), at - 1);
    if (at < 0)
        return std::nullopt;
    const qint64 endRecord = fileSize - tailSize + at;
    CentralDirectory directory{le32(tail, at + 16), le32(tail, at + 12)};
    if (le16(tail, at + 10) == 0xFFFF || directory.offset == 0xFFFFFFFF ||
        directory.size == 0xFFFFFFFF) {
        const QByteArray locator = readAt(file, endRecord - 20, 20);
        if (!locator.startsWith(QByteArrayLiteral("PK\x06\x07")))
            return std::nullopt;
        const QByteArray record = readAt(file, static_cast<qint64>(le64(locator, 8)), 56);
        if (!record.startsWith(QByteArrayLiteral("PK\x06\x06")))
            return std::nullopt;
        directory.size = static_cast<qint64>(le64(record, 40));
        directory.offset = static_cast<qint64>(le64(record, 48));
    }
    if (directory.size < 0 || directory.size > kMaxCentralDirectorySize ||
        directory.size > endRecord)
        return std::nullopt;
    // Self-extracting archives and archives with data in front record offsets relative to
    // the archive's own start: the directory then ends right before the end record.
    if (directory.offset + directory.size > endRecord ||
        readAt(file, directory.offset, 4) != QByteArrayLiteral("PK\x01\x02"))
        directory.offset = endRecord - directory.size;
    return directory;
}

} // namespace

bool isValidUtf8(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<quint8>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        quint32 value = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > size)
            return false;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<quint8>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
        if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

NameEncoding chooseNameEncoding(const QList<QByteArray>& rawNames)
{
    return std::all_of(rawNames.cbegin(), rawNames.cend(), isValidUtf8) ? NameEncoding::Utf8
                                                                        : NameEncoding::Cp932;
}

QString decodeMemberName(const QByteArray& raw, NameEncoding encoding)
{
    QString text;
    if (encoding == NameEncoding::Utf8) {
        text = QString::fromUtf8(raw);
    } else {
        QStringDecoder decoder("CP932");
        if (!decoder.isValid())
            decoder = QStringDecoder("windows-31j");
        text = decoder.isValid() ? decoder.decode(raw) : QString::fromLatin1(raw);
    }
    return text.normalized(QString::NormalizationForm_C);
}

std::optional<QStringList> memberPathParts(const QString& name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool driveLetter = path.size() >= 2 && path[1] == QLatin1Char(':') &&
                             path[0].unicode() < 0x80 && path[0].isLetter();
    if (path.startsWith(QLatin1Char('/')) || driveLetter)
        return std::nullopt;
    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return std::nullopt;
        if (part != QLatin1String("."))
            parts.append(part);
    }
    return parts;
}

QByteArray zipCentralDirectory(QFile& file)
{
    const std::optional<CentralDirectory> location = locateCentralDirectory(file);
    return location ? readAt(file, location->offset, location->size) : QByteArray();
}

QSet<QString> zipUtf8FlaggedNames(const QString& archivePath)
{
    QSet<QString> names;
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return names;
    const QByteArray directory = zipCentralDirectory(file);
    constexpr qsizetype kHeaderSize = 46;
    qsizetype at = 0;
    while (at + kHeaderSize <= directory.size() &&
           directory.mid(at, 4) == QByteArrayLiteral("PK\x01\x02")) {
        const quint16 flags = le16(directory, at + 8);
        const qsizetype nameSize = le16(directory, at + 28);
        const qsizetype extraSize = le16(directory, at + 30);
        const qsizetype commentSize = le16(directory, at + 32);
        const qsizetype nameAt = at + kHeaderSize;
        if (nameAt + nameSize + extraSize > directory.size())
            break;
        if (flags & kZipUtf8NameFlag)
            names.insert(nfcFromUtf8(directory.mid(nameAt, nameSize)));
        // The Info-ZIP Unicode path field: id, size, then version (1), CRC of the plain
        // name (4) and the UTF-8 name.
        const QByteArray extra = directory.mid(nameAt + nameSize, extraSize);
        for (qsizetype field = 0; field + 4 <= extra.size();) {
            const quint16 id = le16(extra, field);
            const qsizetype size = le16(extra, field + 2);
            if (field + 4 + size > extra.size())
                break;
            if (id == kInfoZipUnicodePathField && size > 5)
                names.insert(nfcFromUtf8(extra.mid(field + 9, size - 5)));
            field += 4 + size;
        }
        at = nameAt + nameSize + extraSize + commentSize;
    }
    return names;
}

} // namespace folivo
