#pragma once

#include "WriteResult.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace zembrix {

class PDFFileStruct;
class PDFImageStruct;

// What became of one image of an export job.
struct ExportedImage {
    int position = 0; // place in the job, from 0
    std::shared_ptr<PDFImageStruct> record;
    std::shared_ptr<PDFFileStruct> file; // the all-images job: the file the record belongs to
    bool finished = false;               // the outcome below is final
    QString path;                        // the file chosen for the image; empty when none was
    // Written; nothing written (no picture, an unusable format, no icon
    // family, no export folder); or failed (rendering or writing).
    WriteResult result = WriteResult::nothingWritten(QString());
    qint64 bytes = 0; // size of the written file
    // What the user should know about a file that was written, such as an
    // Original export written as PNG and why; empty when nothing.
    QString note;
    QString plannedPath; // the name the job planned for it (a stem in Original)
    // With skipDuplicates: the SHA-256 of its picture, and whether it was not
    // written for being equal to an earlier one: the image at position
    // duplicateOf, or with duplicateOf -1 one an earlier run wrote.
    QByteArray pixelDigest;
    bool duplicate = false;
    int duplicateOf = -1;
};

// The sums of a job, and every image in job order.
struct ExportJobResult {
    int total = 0;    // images the job set out to export
    int finished = 0; // images finished so far
    int filesWritten = 0;
    qint64 bytesWritten = 0;
    int failures = 0;           // renderings and writes that failed
    int duplicates = 0;         // images not written for being equal to an earlier one
    int skipped = 0;            // images not written because a file was there (ExistingFiles::Skip)
    bool folderMissing = false; // the export folder could not be made; nothing was written
    bool cancelled = false;     // cancel() came before the job finished
    std::vector<ExportedImage> images;
};

} // namespace zembrix
