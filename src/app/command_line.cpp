#include "app/command_line.h"

#include <cstdio>
#include <cstring>

namespace {

// What the program is, its options, keys and mouse; the manual page is made from this text, so
// its sections follow the layout help2man reads.
const char kHelp[] =
    "Usage: scalar-field-viewer [OPTION]... [X OPTION]...\n"
    "Show the isosurface of a 3-D scalar field in an interactive window: the sum\n"
    "of up to nine soft objects (\"balls\") is sampled on a grid that fills a cube\n"
    "64 units on a side, and the surface where it equals a threshold is extracted\n"
    "with marching cubes and drawn with OpenGL, lit and filled or as an unlit\n"
    "wireframe. It starts with balls 2 and 3 on, none selected, threshold 0.40\n"
    "and cell size 2.\n"
    "\n"
    "On Linux the program needs an X display. Where there is none (a text\n"
    "console, ssh without X forwarding, CI), run it under a virtual one:\n"
    "xvfb-run scalar-field-viewer\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "On Linux, X options such as -display NAME go to GLUT; the window's place and\n"
    "size are fixed, so -geometry has no effect. On Windows X options are\n"
    "ignored. Other arguments are ignored.\n"
    "\n"
    "Keys and mouse:\n"
    "  w / s                move the eye one unit forward / back along the view\n"
    "  d / a                move one unit right / left\n"
    "  space / c            move one unit up / down (the camera's own up)\n"
    "  right button drag    turn the camera, 0.01 radian per pixel dragged\n"
    "  0                    clear the selection\n"
    "  1 ... 9              select ball 1 ... 9\n"
    "  Delete               switch the selected ball on or off\n"
    "  Backspace            switch between the lit surface and the unlit wireframe\n"
    "  + / -                raise / lower the threshold by 0.02\n"
    "  / / *                halve / double the cell size (0.5 to 16)\n"
    "  arrows               move the selected ball along world x and y\n"
    "  Page Up / Page Down  move the selected ball along world z\n"
    "  Home / End           grow / shrink the selected ball's radius by 1\n"
    "  Escape               quit\n"
    "Keys are case-sensitive. The arrows, Page Up, Page Down, Home and End act\n"
    "only while a ball is selected. Closing the window also quits.\n"
    "\n"
    "Exit status:\n"
    "  0  after Escape, when the window is closed, and after --help or --version\n"
    "  1  when the X display cannot be opened or OpenGL cannot start on it\n";

int finishOutput() {
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

CommandLineRequest readCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return CommandLineRequest::kHelp;
        }
        if (std::strcmp(argv[i], "--version") == 0) return CommandLineRequest::kVersion;
    }
    return CommandLineRequest::kRun;
}

int printHelp() {
    std::fputs(kHelp, stdout);
    return finishOutput();
}

int printVersion() {
    std::fputs("scalar-field-viewer " VIEWER_VERSION "\n", stdout);
    return finishOutput();
}
