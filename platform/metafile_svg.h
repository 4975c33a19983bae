#pragma once

#include <QByteArray>
#include <QSize>

namespace folivo {

/// A Windows metafile turned into SVG for QSvgRenderer, with the page size its header gives.
struct MetafileSvg {
    QByteArray svg;
    QSize naturalSizeTwips;
};

/// True for a placeable WMF (the only WMF that says how large its page is).
bool isPlaceableWmf(const QByteArray& file);
/// True for an enhanced metafile (EMF).
bool isEmf(const QByteArray& file);

/// Converts a placeable WMF. The page is the header's bounding box; text in the Japanese
/// Windows code page comes out as UTF-8. Throws Error (Invalid picture).
MetafileSvg wmfToSvg(const QByteArray& file);

/// Converts an EMF; the page is the header's frame. Throws Error (Invalid picture).
MetafileSvg emfToSvg(const QByteArray& file);

} // namespace folivo
