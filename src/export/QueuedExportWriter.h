#pragma once

#include "ExportWriter.h"

#include <functional>

namespace zembrix {

// The window's writer: files are encoded on the job's worker threads and
// written one after another in hand-over order on the thread that `post` runs
// its closures on (the main thread, through a queued call), except HEIC files,
// which are encoded and written through `heicPost`, several at once: a pool of
// their own, never Qt's global one, whose threads Qt's image scaling and
// conversion wait for on the calling thread (the main thread included). Two
// HEIC writes of one path cannot interleave (the file is renamed into place);
// the later one wins.
class QueuedExportWriter final : public ExportWriter
{
public:
    // Runs a closure later on the writing thread, in call order.
    using Post = std::function<void(std::function<void()>)>;

    // With an empty `post`, non-HEIC files are written at once on the job
    // thread; with an empty `heicPost`, HEIC files too.
    explicit QueuedExportWriter(Post post, Post heicPost = nullptr);

    void write(ExportRequest request, Done done) override;

private:
    Post m_post;
    Post m_heicPost;
};

} // namespace zembrix
