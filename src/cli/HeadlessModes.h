#pragma once

#include "CommandLine.h"

#include <QTextStream>

#include <memory>

namespace zembrix {

class CoreContext;
class PDFFileStruct;

// The modes that run without a window. Each returns the process exit
// status: 0 all good, 1 some input could not be read or some output not
// written (each said on standard error). The files are read and written in
// `context` (HeadlessEvents.h).
int runInfo(const CommandLine &cl, QTextStream &out, QTextStream &err);
int runList(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out, QTextStream &err);
// Writes every image of the files into the --out folder with the all-images
// export job, one progress line per file and a summary on out. Status 2 for
// an unknown format name.
int runExtract(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out, QTextStream &err);

// Parses the command line's file `index` on the calling thread with the
// given name pattern; none (after a line on err) when it cannot be read as a
// PDF.
std::shared_ptr<PDFFileStruct> parseFileHeadless(qsizetype index, const CommandLine &cl,
                                                 const std::shared_ptr<CoreContext> &context, QTextStream &err);

} // namespace zembrix
