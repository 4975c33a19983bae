#pragma once

#include "tools/gif_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

namespace folivo::test {

/// Writes a plain picture of w × h pixels; the format follows the name's extension.
inline bool writePicture(const QString& path, int w, int h, QColor color = Qt::darkCyan)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    const QString suffix = path.section(QLatin1Char('.'), -1).toLower();
    if (suffix == QLatin1String("gif")) {
        // Qt reads GIF but cannot write it.
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(gifFile(image)) > 0;
    }
    const char* format = suffix == QLatin1String("jpeg") ? "JPG" : nullptr;
    return image.save(path, format);
}

/// The bytes of a small JPEG picture, to put into archives.
inline QByteArray jpegBytes(int w = 120, int h = 160, QColor color = Qt::darkGreen)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

/// Creates a folder (and its parents) and returns its path.
inline QString makeFolder(const QString& path)
{
    QDir().mkpath(path);
    return path;
}

} // namespace folivo::test
