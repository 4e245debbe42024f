#pragma once

// The character keys the program answers, as GLUT hands them to keyboard: the one table of their
// codes, for the commands, the camera, the scripted session and the tests. The special keys are
// GLUT's own GLUT_KEY_* codes, handed to specialKey.

// Editing commands (commands.cpp).
constexpr unsigned char kKeyEscape = 27;      // quits
constexpr unsigned char kKeyBackspace = 8;    // switches lighting
constexpr unsigned char kKeyDelete = 127;     // switches the selected ball on or off
constexpr unsigned char kKeyNoBall = '0';     // clears the selection
constexpr unsigned char kKeyFirstBall = '1';  // '1' .. '9' select ball 1 .. 9
constexpr unsigned char kKeyLastBall = '9';
constexpr unsigned char kKeyRaiseIsolevel = '+';
constexpr unsigned char kKeyLowerIsolevel = '-';
constexpr unsigned char kKeyFinerGrid = '/';    // halves the voxel size
constexpr unsigned char kKeyCoarserGrid = '*';  // doubles it

// Camera moves along its own axes (camera.cpp).
constexpr unsigned char kKeyForward = 'w';
constexpr unsigned char kKeyBack = 's';
constexpr unsigned char kKeyRight = 'd';
constexpr unsigned char kKeyLeft = 'a';
constexpr unsigned char kKeyUp = ' ';
constexpr unsigned char kKeyDown = 'c';
