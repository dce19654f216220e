#pragma once

#include <QImage>

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
};
