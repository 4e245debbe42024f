// Entry point of the scalar-field viewer: answers --help and --version, makes sure there is a
// display, opens the window, builds the scene and hands the thread to GLUT's event loop.

#include <GL/glut.h>

#include "app/command_line.h"
#include "app/heap.h"
#include "app/scene.h"
#include "app/session.h"
#include "app/window.h"
#include "app/window_platform.h"
#include "output/file_platform.h"

namespace {

constexpr int kWindowLeft = 50;  // pixels
constexpr int kWindowTop = 50;
constexpr int kStatusBadOption = 2;  // an option's value is wrong; no window was opened

}  // namespace

int main(int argc, char** argv) {
    configureHeap();
    protectOutputFiles();
    useUtf8Arguments(argc, argv);
    switch (readCommandLine(argc, argv, sessionPlan)) {
        case CommandLineRequest::kHelp:
            return printHelp();
        case CommandLineRequest::kVersion:
            return printVersion();
        case CommandLineRequest::kMistake:
            return kStatusBadOption;
        case CommandLineRequest::kRun:
            break;
    }
    if (!checkSessionPlan(sessionPlan)) return kStatusBadOption;
    if (!initGlutOnDisplay(&argc, argv)) return 1;
    glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE | GLUT_DEPTH);
    glutInitWindowPosition(kWindowLeft, kWindowTop);
    glutInitWindowSize(scene.windowWidth, scene.windowHeight);
    glutCreateWindow(kWindowTitle);
    completeWindow(kWindowTitle);
    initScene();
    registerCallbacks(sessionCallbacks());
    watchWindow(endWithoutWindow);
    glutMainLoop();
    return 0;
}
