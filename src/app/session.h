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
