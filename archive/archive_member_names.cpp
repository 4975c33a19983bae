#include "archive/archive_member_names.h"

#include "archive/zip_directory.h"

#include <QStringDecoder>

#include <algorithm>

namespace folivo {
namespace {

QString nfcFromUtf8(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes).normalized(QString::NormalizationForm_C);
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

QSet<QString> zipUtf8FlaggedNames(const Archiver::ZipDirectory& directory)
{
    QSet<QString> names;
    for (const Archiver::ZipDirectoryEntry& entry : directory.entries()) {
        if (entry.nameIsUtf8())
            names.insert(nfcFromUtf8(entry.name));
        if (!entry.unicodePath.isEmpty())
            names.insert(nfcFromUtf8(entry.unicodePath));
    }
    return names;
}

} // namespace folivo
