#pragma once

// The program's own options, --help, -h and --version. Every other argument belongs to GLUT:
// X options such as -display and -geometry, and whatever GLUT ignores.

enum class CommandLineRequest { kRun, kHelp, kVersion };

// The first of --help, -h or --version among the arguments, else kRun.
CommandLineRequest readCommandLine(int argc, char** argv);

// Prints the help or the version on stdout. Returns the exit status: 0, or 1 when the output
// could not be written.
int printHelp();
int printVersion();
