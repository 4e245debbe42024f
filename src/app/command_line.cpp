#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "output/file_platform.h"

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
    "The session ends with Escape (typed or listed) or when the window is closed\n"
    "or destroyed. Each file is written whole or not at all: to a temporary file\n"
    "beside it, renamed into place when complete. A file it replaces keeps its\n"
    "permission bits (and, where allowed, its owner); a symbolic link is written\n"
    "through, so the link stays and the file it leads to is replaced. A folder, a\n"
    "FIFO, a device or a socket of that name is refused, as is a file that cannot\n"
    "be replaced (its folder not writable, another user's in a sticky folder, an\n"
    "immutable file). Names, folders and keys are checked before the window\n"
    "opens. For example, with no person at the keyboard:\n"
    "xvfb-run scalar-field-viewer --keys \"2 + / Escape\" --export-surface a.stl\n"
    "\n"
    "On Linux, X options such as -display NAME go to GLUT; the window's place and\n"
    "size are fixed, so -geometry has no effect. On Windows X options are\n"
    "ignored. Other arguments are ignored; one that starts with -- is named on\n"
    "stderr as an unknown option.\n"
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
    "  1  when the X display cannot be opened or OpenGL cannot start on it, when\n"
    "     the display is lost during the session (the files are written all the\n"
    "     same), and when --help or --version cannot write their text\n"
    "  2  when an option is wrong (an unknown extension or key name, a folder that\n"
    "     takes no file, a target that cannot be replaced), before the window\n"
    "     opens; or when a file could not be written at the end, which leaves any\n"
    "     file of that name as it was\n";

// The options a mistyped one may have meant.
const char* const kOptionNames[] = {"--help", "--version", "--export-surface", "--screenshot",
                                    "--keys"};
constexpr std::size_t kCloseEdits = 2;    // letters added, dropped, changed or swapped
constexpr std::size_t kLongestName = 32;  // bytes of an option's name compared, at most

// The letters to add, drop, change or swap (next to each other) to make `a` of `b`.
std::size_t editDistance(const std::string& a, const std::string& b) {
    const std::size_t n = a.size(), m = b.size();
    std::size_t d[kLongestName + 1][kLongestName + 1];
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t change = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// Says on stderr that `argument` is none of the program's options, with the one it is nearest
// to when that is close: a few letters off, or the start of its name.
void warnUnknownOption(const char* argument) {
    const char* equals = std::strchr(argument, '=');
    const std::string name(argument, equals != nullptr ? equals - argument : std::strlen(argument));
    const char* nearest = nullptr;
    std::size_t best = kCloseEdits + 1;
    if (name.size() <= kLongestName) {
        for (const char* option : kOptionNames) {
            const std::size_t length = std::strlen(option);
            const bool start =
                name.size() >= 5 && std::strncmp(option, name.c_str(), name.size()) == 0;
            const std::size_t distance = start ? 1 : editDistance(name, option);
            if (length <= kLongestName && distance < best) {
                best = distance;
                nearest = option;
            }
        }
    }
    std::string line = "scalar-field-viewer: unknown option " + name + "; see --help";
    if (nearest != nullptr) line += std::string(" (did you mean ") + nearest + "?)";
    printError(line + "\n");
}

// The help or the version went to stdout: 0 once it is all written, else 1, with the reason.
int exitStatusAfterPrinting() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    printError(std::string("scalar-field-viewer: cannot write to the standard output: ") +
               std::strerror(errno) + "\n");
    return 1;
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
        const bool ours =
            std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "--version") == 0;
        // Left to GLUT as before, which ignores it, but said: the run goes on without it.
        if (std::strncmp(argument, "--", 2) == 0 && !ours) warnUnknownOption(argument);
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
