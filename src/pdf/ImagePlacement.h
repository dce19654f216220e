#pragma once

#include "PdfObject.h"

#include <QHash>
#include <QString>

#include <functional>

// Where an image is first drawn: its resolution on the page, in pixels per
// inch along its own width and height, taken from the transformation matrix
// in force where the content stream paints it.
struct ImagePlacement {
    double xPpi = 0;
    double yPpi = 0;
    int page = 0; // 1-based
};

// Reads the content streams of every page (and of the forms they draw) and
// gives, for each image XObject drawn, its first placement in page order,
// keyed by identity key ("12 0"). A content stream that fails to parse ends
// that stream's reading only. The work is bounded per document: at most
// kMaxObjects operators and operands, kMaxContentBytes of decoded content
// (kMaxStreamBytes of one page or form; a larger one is skipped), and each
// form read once; kMaxSaveDepth nested q and kMaxFormDepth nested forms count.
// With `annotations`, the normal appearances of the first kMaxAnnotations
// annotations of each page are read too, after the page's own content.
class ImagePlacementScan
{
public:
    static constexpr qint64 kMaxObjects = 20000000;
    static constexpr qint64 kMaxContentBytes = 512LL << 20;
    static constexpr qint64 kMaxStreamBytes = 64LL << 20;
    static constexpr int kMaxSaveDepth = 256;
    static constexpr int kMaxFormDepth = 32;
    static constexpr int kMaxPages = 1000000;
    static constexpr int kMaxAnnotations = 10000;

    static QHash<QString, ImagePlacement> scan(const PdfObject &catalog,
                                               const std::function<bool()> &mayContinue = {},
                                               bool annotations = false);
};
