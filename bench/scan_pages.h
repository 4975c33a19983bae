#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRandomGenerator>

namespace folivo {

inline constexpr int kScanWidth = 2480;
inline constexpr int kScanHeight = 3508;

// An A4 scan at 300 DPI: text-like strokes over paper noise, so JPEG has real work to do.
inline QImage makeScan(int seed)
{
    QImage image(kScanWidth, kScanHeight, QImage::Format_RGB32);
    image.fill(QColor(245, 242, 235));
    // Paper grain: a real scan is never flat, and flat areas would make decoding look cheap.
    quint32 grain = static_cast<quint32>(seed) * 2654435761u + 1;
    for (int y = 0; y < kScanHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kScanWidth; ++x) {
            grain = grain * 1664525u + 1013904223u;
            const int shade = 235 + static_cast<int>(grain >> 28);
            line[x] = qRgb(shade + 5, shade + 3, shade - 2);
        }
    }
    QRandomGenerator random(static_cast<quint32>(seed));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(30, 30, 30), 3));
    for (int line = 0; line < 120; ++line) {
        const int y = 150 + line * 27;
        for (int x = 150; x < kScanWidth - 150; x += 10 + random.bounded(20))
            painter.drawLine(x, y, x + random.bounded(12), y + random.bounded(14));
    }
    return image;
}

} // namespace folivo
