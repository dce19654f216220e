#pragma once

#include "InlineImageOrigin.h"
#include "PdfObject.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace zembrix {

// Where an image is first drawn: its resolution on the page, in pixels per
// inch along its own width and height, taken from the transformation matrix
// in force where the content stream paints it.
struct ImagePlacement {
    double xPpi = 0;
    double yPpi = 0;
    int page = 0; // 1-based
};

// One inline image of a content stream, and where it is drawn (page 0 when
// its size or matrix gives no resolution).
struct ScannedInlineImage {
    InlineImageSpan span;
    ImagePlacement placement;
};

// What one reading of a document's content streams learned.
struct ContentScan {
    // The first placement of each image XObject drawn by the pages' contents
    // (and the forms they draw), keyed by their objects.
    QHash<ObjectKey, ImagePlacement> placements;
    // With all images: the same, annotation appearances and soft-mask groups
    // counted too, in page order.
    QHash<ObjectKey, ImagePlacement> allPlacements;
    // With all images: the inline images of each content read, by the
    // page or form object that holds the content, in order.
    QHash<ObjectKey, QList<ScannedInlineImage>> inlineImages;
    QSet<ObjectKey> contentsRead;
    // What may still be decoded of the contents the scan did not read (forms
    // no page draws), and inflated of their inline images to find their ends.
    qint64 unreadContentBudget = 512LL << 20;
    qint64 unreadInflateBudget = 64LL << 20;
};

// Reads the content streams of every page (and of the forms they draw) and
// gives, for each image XObject drawn, its first placement in page order. A
// content stream that fails to parse ends that stream's reading only. The
// work is bounded per document: at most kMaxObjects operators and operands,
// kMaxContentBytes of decoded content (kMaxStreamBytes of one page or form;
// a larger one is skipped), kMaxInlineImages inline images, and each form
// read once (once more when an annotation drew it first); kMaxSaveDepth
// nested q and kMaxFormDepth nested forms count. With `allImages`, the
// normal appearances of the first kMaxAnnotations annotations of each page
// are read too, after the page's own content, the groups of soft masks where
// they are set, and the inline images are noted.
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
    static constexpr qsizetype kMaxInlineImages = 250000;

    static ContentScan scan(const PdfObject &catalog, const std::function<bool()> &mayContinue = {},
                            bool allImages = false);

    // The decoded content of a page (its /Contents, parts joined by a line
    // break) or of a form, as the scan reads it; `budget` is what may still
    // be read and is charged. None when there is no content.
    static std::optional<QByteArray> contentOf(const PdfObject &owner, qint64 *budget);
};

} // namespace zembrix
