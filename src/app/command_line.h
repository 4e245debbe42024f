#pragma once

// The program's own options, --help, -h and --version, and the check for an X display. Every
// other argument belongs to GLUT: X options such as -display and -geometry, and whatever GLUT
// ignores.

#include <X11/Xlib.h>

enum class CommandLineRequest { kRun, kHelp, kVersion };

// The first of --help, -h or --version among the arguments, else kRun.
CommandLineRequest readCommandLine(int argc, char** argv);

// Prints the help or the version on stdout. Returns the exit status: 0, or 1 when the output
// could not be written.
int printHelp();
int printVersion();

// Opens the X display that GLUT will open: the last -display NAME, else $DISPLAY. The caller
// closes it once GLUT has its own connection, so that the server never sees its last client
// leave in between. Null, with a message on stderr that says how to run without a display,
// when it cannot be opened.
Display* openDisplayForGlut(int argc, char** argv);
