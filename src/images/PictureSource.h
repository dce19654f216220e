#pragma once

#include "EmbeddedPicture.h"

#include <QImage>

#include <optional>

namespace zembrix {

// What an image record keeps instead of its full-size picture: the recipe
// that builds the picture again (for an image of a PDF, its document and
// object with the decoding parameters the walk found). build() gives the
// unedited full-size picture, or a null image when it can no longer be built
// (the file changed or went away). Any thread; one source may be built on
// several threads at once.
class PictureSource
{
public:
    virtual ~PictureSource() = default;
    virtual QImage build() const = 0;
    // The picture reduced to fit `edge` on its long side, decoded at that
    // size where the coded data allows (a JPEG at a reduced scale); null
    // when the source has no cheaper way than build().
    virtual QImage buildReduced(int /*edge*/) const { return {}; }
    // The picture's coded data as stored, when it has any (a JPEG, JPEG 2000
    // or CCITT fax stream); none for samples, for a source that keeps no
    // coded data, or when the file can no longer be read.
    virtual std::optional<EmbeddedPicture> embeddedPicture() const { return std::nullopt; }
};

} // namespace zembrix
