#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// Encodes an image as PNG with libpng, straight from its rows (no copy of the
// picture), the DPI in the pHYs chunk as whole pels per metre. Each kind of
// picture gets one fixed row filter instead of libpng's trial of every filter
// on every row: Up for 8- and 16-bit samples (scans and photographs change
// little from one row to the next), none for 1-bit and palette pictures.
// The PNG colour type and depth are those Qt's writer chooses for the same
// picture, so a reader sees the same pixels in the same format. Pictures with
// a colour space, text or a format not listed in the source are left to Qt's
// writer. Empty on failure. Any thread.
QByteArray encodePng(const QImage &image, float dpi);

} // namespace zembrix
