#pragma once

// The program's own options, --help, -h and --version, and the check for an X display. Every
// other argument belongs to GLUT: X options such as -display and -geometry, and whatever GLUT
// ignores.

#include <X11/Xlib.h>

#include "app/session.h"

enum class CommandLineRequest { kRun, kHelp, kVersion, kMistake };

// The first of --help, -h or --version among the arguments, else kRun. The options of a session,
// --export-surface FILE, --screenshot FILE and --keys LIST (or --option=VALUE), go to `plan` and
// are taken out of argv, so that GLUT never sees them; one without its value is a mistake, said
// on stderr.
CommandLineRequest readCommandLine(int& argc, char** argv, SessionPlan& plan);

// Prints the help or the version on stdout. Returns the exit status: 0, or 1 when the output
// could not be written.
int printHelp();
int printVersion();

// Opens the X display that GLUT will open: the last -display NAME, else $DISPLAY. The caller
// closes it once GLUT has its own connection, so that the server never sees its last client
// leave in between. Null, with a message on stderr that says how to run without a display,
// when it cannot be opened.
Display* openDisplayForGlut(int argc, char** argv);
