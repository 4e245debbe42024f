#pragma once

// The program's own options, --help, -h and --version. Every other argument belongs to GLUT:
// X options such as -display and -geometry, and whatever GLUT ignores.

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
