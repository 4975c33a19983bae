#pragma once

#include <QImage>
#include <QSize>

namespace folivo {

/// What a loaded picture holds behind Picture: its natural size and a way to draw it.
class PictureData {
public:
    virtual ~PictureData() = default;

    /// Raster pictures convert their pixels at the given twips per pixel; metafiles carry
    /// their size in their header.
    virtual QSize naturalSizeTwips(double twipsPerPixel) const = 0;
    /// The most memory render() takes at once for this many pixels: what it decodes to, what it
    /// draws, and the decoder's own buffers.
    virtual qint64 renderBytes(const QSize& pixels) const = 0;
    /// The picture at exactly this many pixels; throws Error when it cannot be produced.
    virtual QImage render(const QSize& pixels) const = 0;
};

} // namespace folivo
