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
    "      --export-surface FILE\n"
    "                 when the session ends, write the surface of the last frame\n"
    "                 to FILE, in world units, as the extension says: .ply (binary\n"
    "                 little-endian), .obj or .stl (binary); vertices are shared\n"
    "                 and carry normals (not in STL)\n"
    "      --screenshot FILE\n"
    "                 when the session ends, write the last frame, the whole\n"
    "                 window with its labels, to FILE as PNG (.png)\n"
    "      --keys LIST\n"
    "                 after the first frame, act on the keys of LIST one after\n"
    "                 another as if typed, a frame after each, then go on\n"
    "                 interactively; names are separated by spaces: single\n"
    "                 characters as typed, and Escape, BackSpace, Delete, space,\n"
    "                 Left, Right, Up, Down, Page_Up, Page_Down, Home, End\n"
    "The session ends with Escape (typed or listed) or when the window is closed.\n"
    "Each file is written whole or not at all: to a temporary file beside it,\n"
    "renamed into place when complete. Names, folders and keys are checked before\n"
    "the window opens. For example, with no person at the keyboard:\n"
    "xvfb-run scalar-field-viewer --keys \"2 + / Escape\" --export-surface a.stl\n"
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
    "  1  when the X display cannot be opened or OpenGL cannot start on it\n"
    "  2  when an option is wrong (an unknown extension or key name, a folder that\n"
    "     takes no file), before the window opens; or when a file could not be\n"
    "     written at the end, which leaves any file of that name as it was\n";

int exitStatusAfterPrinting() {
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

CommandLineRequest readCommandLine(int& argc, char** argv, SessionPlan& plan) {
    struct ValueOption {
        const char* name;
        const char** value;
    };
    const ValueOption options[] = {{"--export-surface", &plan.meshPath},
                                   {"--screenshot", &plan.screenshotPath},
                                   {"--keys", &plan.keys}};
    CommandLineRequest request = CommandLineRequest::kRun;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const ValueOption* taken = nullptr;
        for (const ValueOption& option : options) {
            const std::size_t length = std::strlen(option.name);
            if (std::strncmp(argument, option.name, length) != 0) continue;
            if (argument[length] == '=') {
                *option.value = argument + length + 1;
                taken = &option;
            } else if (argument[length] == '\0') {
                taken = &option;
                if (i + 1 < argc) {
                    *option.value = argv[++i];
                } else if (request == CommandLineRequest::kRun) {
                    std::fprintf(stderr, "scalar-field-viewer: %s needs a value\n", option.name);
                    request = CommandLineRequest::kMistake;
                }
            }
        }
        if (taken != nullptr) continue;
        argv[kept++] = argv[i];
        if (request == CommandLineRequest::kHelp || request == CommandLineRequest::kVersion) {
            continue;
        }
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            request = CommandLineRequest::kHelp;
        } else if (std::strcmp(argument, "--version") == 0) {
            request = CommandLineRequest::kVersion;
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return request;
}

int printHelp() {
    std::fputs(kHelp, stdout);
    return exitStatusAfterPrinting();
}

int printVersion() {
    std::fputs("scalar-field-viewer " VIEWER_VERSION "\n", stdout);
    return exitStatusAfterPrinting();
}
