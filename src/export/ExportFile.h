#pragma once

#include "WriteResult.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace zembrix {

// Writes the finished bytes of an export file to `path`, replacing an existing
// file. The bytes go to a new temporary file beside the target (created
// exclusively, never through a link) that is renamed over it when complete. So two writers of the same
// path (HEIC files are written concurrently) never interleave: the one that
// finishes last wins. A symbolic link at `path` is replaced, not followed. A
// failed write leaves no partial file. The folder is not created:
// a missing folder is a failure with the "imageDestinationNil" domain, code -2.
// When `cancelled` answers true once the bytes are out, the temporary file is
// removed and nothing is written. Any thread.
WriteResult writeExportFile(const QString &path, const QByteArray &bytes,
                            const std::function<bool()> &cancelled = nullptr);

} // namespace zembrix
