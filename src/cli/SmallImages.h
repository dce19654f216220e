#pragma once

#include "ThumbnailSequence.h"

#include <QSize>
#include <QString>

#include <optional>

namespace zembrix {

class PDFImageStruct;

// Slivers and one-pixel images, hidden on request from the browser and from
// Export All (View > Hide Small Images) and from --list and --extract
// (--min-size). An image is small when its width or its height, as its
// dictionary gives them, is below the minimum.
namespace SmallImages {

// "WxH" (also "W x H" or "WXH") with whole numbers from 1 to 100000; none otherwise.
std::optional<QSize> parseSize(const QString &text);
QString sizeText(QSize size); // "32x32"

bool isSmall(const PDFImageStruct &image, QSize minimum);
// The images that are not small, in order; all of them for an empty minimum.
ImageRecordList withoutSmall(const ImageRecordList &images, QSize minimum);

// "3 images smaller than 32x32" ("1 image ..."), for the headless summaries.
QString hiddenImagesText(int count, QSize minimum);

} // namespace SmallImages

} // namespace zembrix
