#pragma once

#include <QImage>
#include <QSharedPointer>
#include <QSize>
#include <QString>

namespace folivo {

class PictureData;

/// A page picture read from disk (JPEG, GIF, BMP, WMF, EMF; with more formats also PNG, WebP,
/// TIFF, AVIF and JPEG XL). Loading reads what the natural size needs; the pixels are produced
/// by render() at the size the page is shown at.
class Picture {
public:
    Picture() = default;

    bool isNull() const { return !m_data; }
    /// Natural size in twips: pixels times twips per pixel for raster pictures, the header's
    /// page size for WMF and EMF.
    QSize naturalSizeTwips() const;
    /// The same at a given screen resolution, for threads that must not ask the screen.
    QSize naturalSizeTwips(double twipsPerPixel) const;
    /// The most memory render() takes at once for this many pixels (0 for a null picture).
    qint64 renderBytes(const QSize& pixels) const;
    /// The picture smoothly scaled to exactly this many pixels. Throws Error (Invalid
    /// picture; Out of memory, before allocating, when renderBytes() exceeds
    /// pictureMemoryLimit()) when it cannot be produced.
    QImage render(const QSize& pixels) const;

    explicit Picture(QSharedPointer<const PictureData> data)
        : m_data(std::move(data))
    {
    }

private:
    QSharedPointer<const PictureData> m_data;
};

/// The most memory one page may take while it is drawn: a quarter of the machine's memory,
/// at most 1 GiB. A JPEG is decoded at the scale it is shown at and fits far beyond its
/// natural size; a GIF or BMP is decoded whole first.
qint64 pictureMemoryLimit();

/// Which pictures a loader reads, judged from the content. Classic: JPEG, GIF, BMP, WMF and
/// EMF, and nothing else. More: also PNG, WebP, TIFF, AVIF and JPEG XL, drawn in sRGB on
/// white paper where they are transparent, the first frame or page of those that hold more.
enum class PictureFormats { Classic, More };

/// Loads a picture. Throws Error: File not found (53), Invalid picture (481) for a file that
/// is not a picture it can read (described as missing fonts for a WMF that fails because
/// the system lacks libwmf's fonts, and as a missing library for an AVIF or JPEG XL picture
/// when libavif or libjxl is not installed), Out of memory (7) for one that no page drawn
/// from it would fit pictureMemoryLimit().
Picture loadPicture(const QString& path, PictureFormats formats);

/// Loads a raster picture, as loadPicture does, and may run on any thread. A metafile (WMF,
/// EMF) gives a null Picture: its libraries are only used from the user-interface thread.
Picture loadRasterPicture(const QString& path, PictureFormats formats);

} // namespace folivo
