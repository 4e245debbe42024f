// The window's Windows side: GLUT's start, and the UTF-16 title on the window freeglut made. The
// icon needs no code: freeglut gives its windows the program's icon resource named GLUT_ICON.

#include <GL/glut.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "app/window_platform.h"

// A program started in a Windows session draws on that session's desktop, so there is nothing
// to check; the X options GLUT knows it reads and ignores.
bool initGlutOnDisplay(int* argc, char** argv) {
    glutInit(argc, argv);
    return true;
}

void completeWindow(const char* title) {
    HWND window = WindowFromDC(wglGetCurrentDC());
    if (window == nullptr) return;
    const int length = static_cast<int>(std::strlen(title)) + 1;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, title, length, nullptr, 0);
    if (units == 0) return;
    std::vector<wchar_t> wide(units);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, title, length, wide.data(), units);
    // freeglut's window is an ANSI window: SetWindowTextW on it converts the text through the
    // system's code page, and Cyrillic arrives as question marks wherever that page lacks it.
    // The default window procedure's UTF-16 entry stores the text as it is.
    DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.data()));
}

// Only the window's own thread can destroy it, and the desktop stays as long as the session.
void watchWindow(int (* /*ended*/)(bool displayLost)) {}
