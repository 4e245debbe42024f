#pragma once

// The program's icon as the window offers it to window managers and docks (_NET_WM_ICON). The
// build makes the pixels from the same picture as the installed icons.

struct WindowIcon {
    int size;                  // pixels a side
    const unsigned char* rgb;  // size * size pixels row by row from the top, 3 bytes each
};

constexpr int kWindowIconCount = 2;
extern const WindowIcon kWindowIcons[kWindowIconCount];  // smallest first
