#pragma once

#include <QList>

#include <memory>

namespace zembrix {

class PDFFileStruct;
class PDFImageStruct;

using FileRecordList = QList<std::shared_ptr<PDFFileStruct>>;
using ImageRecordList = QList<std::shared_ptr<PDFImageStruct>>;

// The thumbnail sequence: the images of the checked files, in list order and
// within a file in discovery order. Unchecked files contribute nothing.
namespace ThumbnailSequence {

// The number of images of the checked files.
qint64 count(const FileRecordList &files);
// The image at flat index k, or null at or beyond the end.
std::shared_ptr<PDFImageStruct> imageAt(const FileRecordList &files, quint64 k);
// The whole sequence at once.
ImageRecordList collect(const FileRecordList &files);

} // namespace ThumbnailSequence

} // namespace zembrix
