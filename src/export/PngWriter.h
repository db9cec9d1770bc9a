#pragma once
// A quick PNG writer for large bitmaps: 8-bit RGB rows without filtering,
// deflated at the fastest level, with the resolution in a pHYs chunk.
#include <QByteArray>
#include <QImage>

namespace kavum::exporting {

// The image (any format; converted to 32-bit RGB first if need be) as PNG
// file contents; dotsPerMeter 0 leaves the resolution out.
QByteArray FastPng(const QImage& image, int dotsPerMeter);

}  // namespace kavum::exporting
