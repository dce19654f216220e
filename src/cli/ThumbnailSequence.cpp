#include "ThumbnailSequence.h"

#include "pdf/PDFFileStruct.h"

namespace zembrix {

namespace ThumbnailSequence {

qint64 count(const FileRecordList &files)
{
    qint64 total = 0;
    for (const auto &file : files)
        if (file && file->IsSelected())
            total += file->imageCount();
    return total;
}

std::shared_ptr<PDFImageStruct> imageAt(const FileRecordList &files, quint64 k)
{
    quint64 base = 0;
    for (const auto &file : files) {
        if (!file || !file->IsSelected())
            continue;
        // One copy of the list per file, so its count and its element agree
        // while a parse appends.
        const ImageRecordList images = file->images();
        const quint64 c = quint64(images.size());
        if (base + c > k)
            return images[qsizetype(k - base)];
        base += c;
    }
    return nullptr;
}

ImageRecordList collect(const FileRecordList &files)
{
    ImageRecordList all;
    for (const auto &file : files)
        if (file && file->IsSelected())
            all += file->images();
    return all;
}

} // namespace ThumbnailSequence

} // namespace zembrix
