#pragma once
// A quick PNG writer for large bitmaps: rows without filtering, deflated at
// the fastest level, with the resolution in a pHYs chunk. A picture of at
// most 256 colours is written with a palette (8-bit indices, the colours in
// the order they first appear), any other as 8-bit RGB.
#include <QByteArray>
#include <QImage>

namespace kavum::exporting {

// The image (any format; converted to 32-bit RGB first if need be) as PNG
// file contents; dotsPerMeter 0 leaves the resolution out. The rows are
// packed inside the image's own memory, so that a large bitmap is not held
// twice: the image given is used up (pass it moved; a copy shared with the
// caller is copied first).
QByteArray FastPng(QImage image, int dotsPerMeter);

}  // namespace kavum::exporting
