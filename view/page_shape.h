#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace folivo {

/// A page's natural size as its file's header gives it, without reading the picture.
struct PageShape {
    QSize size;         ///< pixels for a raster picture; the header's units for a metafile
    bool raster = true; ///< a metafile's size is its shape only, not pixels

    /// Wider than it is tall: such a page stands alone in a spread.
    bool wide() const { return size.width() > size.height(); }
};

/// Reads the header of the picture at `path` (JPEG, GIF, BMP, PNG, WebP, TIFF, placeable WMF,
/// EMF), by the reader its signature names. None for a file that cannot be read or whose
/// format has no header read here. Safe on any thread.
std::optional<PageShape> readPageShape(const QString& path);

} // namespace folivo
