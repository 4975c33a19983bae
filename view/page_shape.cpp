#include "view/page_shape.h"

#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <limits>

namespace folivo {
namespace {

// Enough for every signature and metafile header looked at below.
constexpr qint64 kHeadBytes = 48;

template <typename T> T littleEndianAt(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

// The raster formats by the signature their readers look for: naming the reader spares
// loading every image plugin to ask each whether it knows the file.
QByteArray rasterFormat(const QByteArray& head)
{
    if (head.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (head.startsWith("GIF8"))
        return "gif";
    if (head.startsWith("BM"))
        return "bmp";
    if (head.startsWith("\x89PNG"))
        return "png";
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return "webp";
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)))
        return "tiff";
    return QByteArray();
}

std::optional<QSize> metafileSize(const QByteArray& head)
{
    // A placeable WMF's bounding box, left, top, right and bottom in 16 bits.
    if (head.size() >= 14 && littleEndianAt<quint32>(head, 0) == 0x9AC6CDD7u) {
        const int width = littleEndianAt<qint16>(head, 10) - littleEndianAt<qint16>(head, 6);
        const int height = littleEndianAt<qint16>(head, 12) - littleEndianAt<qint16>(head, 8);
        return QSize(width, height);
    }
    // An EMF's frame, left, top, right and bottom in 32 bits.
    if (head.size() >= 44 && littleEndianAt<quint32>(head, 0) == 1u && head.mid(40, 4) == " EMF") {
        const qint64 width =
            qint64{littleEndianAt<qint32>(head, 32)} - littleEndianAt<qint32>(head, 24);
        const qint64 height =
            qint64{littleEndianAt<qint32>(head, 36)} - littleEndianAt<qint32>(head, 28);
        if (width > 0 && height > 0 && width <= std::numeric_limits<int>::max() &&
            height <= std::numeric_limits<int>::max())
            return QSize(static_cast<int>(width), static_cast<int>(height));
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<PageShape> readPageShape(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.peek(kHeadBytes);
    if (const std::optional<QSize> size = metafileSize(head)) {
        if (size->isEmpty())
            return std::nullopt;
        return PageShape{*size, false};
    }
    const QByteArray format = rasterFormat(head);
    if (format.isEmpty())
        return std::nullopt;
    QImageReader reader(&file, format);
    const QSize size = reader.size();
    if (size.isEmpty())
        return std::nullopt;
    return PageShape{size, true};
}

} // namespace folivo
