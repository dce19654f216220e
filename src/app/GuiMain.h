#pragma once

#include "CommandLine.h"

namespace zembrix {

// The window mode: builds the application, the controller and the window,
// restores the preferences, adds the files named on the command line and
// runs until the window closes. Returns the exit status.
int runWindow(int argc, char *argv[], const CommandLine &commandLine);

} // namespace zembrix
