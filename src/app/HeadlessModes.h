#pragma once

#include "CommandLine.h"

#include <QTextStream>

// The modes that run without a window. Each returns the process exit
// status: 0 all good, 1 some input could not be read or some output not
// written (each said on standard error).
int runInfo(const CommandLine &cl, QTextStream &out, QTextStream &err);
