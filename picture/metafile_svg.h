#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

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

/// The folder of the fonts that WMF text is drawn with (the 35 PostScript fonts of the
/// fonts-urw-base35 package, where Debian's libwmf looks for them).
QString wmfFontFolder();

/// Converts a placeable WMF, with the standard fonts read from fontFolder only. The page is
/// the header's bounding box; text in the Japanese Windows code page comes out as UTF-8.
/// Throws Error: Invalid picture (481), described as missing fonts when libwmf fails and
/// fontFolder lacks any of them.
MetafileSvg wmfToSvg(const QByteArray& file, const QString& fontFolder = wmfFontFolder());

/// Converts an EMF; the page is the header's frame. Throws Error (Invalid picture).
MetafileSvg emfToSvg(const QByteArray& file);

} // namespace folivo
