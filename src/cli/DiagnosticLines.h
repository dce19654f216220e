#pragma once

#include <sys/types.h>

namespace zembrix {

// Standard error of the headless modes: every line carries the program's
// "zembrix: " prefix. Qt's message log (the image plugins' warnings, the
// export writers' messages) is written as prefixed lines by a message
// handler; what libraries write to standard error themselves (libpng's
// default error report, for one) is prefixed on its way out: standard error
// becomes a pipe read by a small child process, which prefixes each line that
// lacks the prefix and passes it on, unless standard error is a terminal
// (progress lines are rewritten in place there). The child outlives a crash of the
// program long enough to pass on its last lines.
//
// Made once, first thing in main(), before any thread starts; the destructor
// puts standard error back and waits until every line has gone out.
class DiagnosticLines
{
public:
    DiagnosticLines();
    ~DiagnosticLines();
    DiagnosticLines(const DiagnosticLines &) = delete;
    DiagnosticLines &operator=(const DiagnosticLines &) = delete;

private:
    int m_savedError = -1;
    pid_t m_prefixer = -1;
};

} // namespace zembrix
