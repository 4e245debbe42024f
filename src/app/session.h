#pragma once

#include "app/window.h"

// What the command line asks of a session beyond the window: keys to act on as if they had been
// typed, and files to write when the session ends (Escape, typed or listed, or the window
// closed). A plan with none of them leaves the program exactly as it is without one.

struct SessionPlan {
    const char* meshPath = nullptr;        // --export-surface: .ply, .obj or .stl
    const char* screenshotPath = nullptr;  // --screenshot: .png
    const char* keys = nullptr;            // --keys: the names not acted on yet, space-separated
    bool keyDue = false;                   // the next key waits for a timer event
    bool ending = false;                   // the files are being written; the process ends next
    int framesDrawn = 0;                   // frames of the session so far
    bool windowHidden = false;         // unmapped or wholly covered: no frame comes until it shows
    const char* windowLost = nullptr;  // why the window cannot be read: destroyed, display gone
};

// The plan of this process's session, as main reads it from the command line; the session's
// callbacks find it here, since GLUT's carry no context.
extern SessionPlan sessionPlan;

// Whether the plan asks for anything.
bool sessionPlanned(const SessionPlan& plan);

// Checks the plan before the window opens: known extensions, folders that take a new file,
// known key names. False, with each mistake said on stderr, when the session cannot go ahead.
bool checkSessionPlan(const SessionPlan& plan);

// The callbacks sessionPlan puts in place of the plain ones, for registerCallbacks: none for a
// plan that asks for nothing.
SessionCallbacks sessionCallbacks();

// Ends the session when the window went away without a close: destroyed by another program
// (`displayLost` false) or its display's connection lost. No call to OpenGL or GLUT is made; the
// mesh is written, the screenshot reported as lost. Returns the exit status: 0, or 2 when a file
// could not be written, or at least 1 when the display was lost.
int endWithoutWindow(bool displayLost);
