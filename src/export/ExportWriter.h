#pragma once

#include "WriteResult.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace zembrix {

// One image of an export job, rendered and named, ready to be written.
struct ExportRequest {
    QString path;        // the target file, extension included; unique within its job
    int formatIndex = 0; // ExportFormat index of the file
    float dpi = 72.0f;   // resolution metadata (exportDpi() cleans it)
    QImage image;        // the rendered picture, encoded by the writer ...
    QByteArray encoded;  // ... unless the job already made the file's bytes (icon families)
    // Asked before encoding and while writing: once it answers true nothing
    // more is written for the request (no file, not even a partial one).
    std::function<bool()> cancelled;
};

// Encodes (unless `encoded` is set) and writes one request, replacing an
// existing file; nothing written once the request is cancelled. Any thread.
WriteResult saveImage(const ExportRequest &request);

// Where a job hands its images. The job thread calls write() once per image,
// in job order; the writer writes the file now or later, on a thread of its
// choice, and then calls `done` exactly once with the outcome. A writer may be
// shared by several jobs at once, so write() must be callable from several job
// threads.
class ExportWriter
{
public:
    using Done = std::function<void(const WriteResult &)>;

    ExportWriter() = default;
    ExportWriter(const ExportWriter &) = delete;
    ExportWriter &operator=(const ExportWriter &) = delete;
    virtual ~ExportWriter();

    virtual void write(ExportRequest request, Done done) = 0;
};

// Writes every file at once on the job thread. The headless modes use it.
class DirectExportWriter final : public ExportWriter
{
public:
    void write(ExportRequest request, Done done) override;
};

} // namespace zembrix
