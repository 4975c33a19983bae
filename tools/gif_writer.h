#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace folivo {

// An uncompressed GIF: every pixel is sent as a literal code, with a clear code before the
// decoder's table would grow past nine-bit codes. Bigger than real LZW, but short to write and
// read by every decoder.
inline QByteArray gifFile(const QImage& rgb)
{
    QList<QRgb> palette;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette << qRgb(r * 51, g * 51, b * 51);
    for (int i = 0; palette.size() < 256; ++i)
        palette << qRgb(8 + i * 6, 8 + i * 6, 8 + i * 6);
    const QImage indexed = rgb.convertToFormat(QImage::Format_Indexed8, palette,
                                               Qt::ThresholdDither | Qt::AvoidDither);
    QByteArray out("GIF89a");
    auto put16 = [&out](quint16 v) {
        out.append(char(v & 0xff));
        out.append(char(v >> 8));
    };
    put16(quint16(indexed.width()));
    put16(quint16(indexed.height()));
    out.append(char(0xF7)); // global table of 256 entries, 8 bits per primary
    out.append('\0');
    out.append('\0');
    for (QRgb c : palette) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append(char(0x2C));
    put16(0);
    put16(0);
    put16(quint16(indexed.width()));
    put16(quint16(indexed.height()));
    out.append('\0');
    constexpr int MinCodeSize = 8;
    constexpr quint32 Clear = 1u << MinCodeSize;
    constexpr quint32 End = Clear + 1;
    constexpr int LiteralsPerClear = (1 << MinCodeSize) - 2;
    out.append(char(MinCodeSize));
    QByteArray stream;
    quint32 bits = 0;
    int bitCount = 0;
    auto putCode = [&](quint32 code) {
        bits |= code << bitCount;
        bitCount += MinCodeSize + 1;
        while (bitCount >= 8) {
            stream.append(char(bits & 0xff));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    int sinceClear = LiteralsPerClear;
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x) {
            if (sinceClear == LiteralsPerClear) {
                putCode(Clear);
                sinceClear = 0;
            }
            putCode(line[x]);
            ++sinceClear;
        }
    }
    putCode(End);
    if (bitCount > 0)
        stream.append(char(bits & 0xff));
    for (qsizetype at = 0; at < stream.size(); at += 255) {
        const QByteArray block = stream.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(char(0x3B));
    return out;
}

} // namespace folivo
