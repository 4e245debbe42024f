#pragma once

// Pixels read back from the window, and pixel probes over them. Image coordinates: x to the
// right, y downwards, pixel (x, y) covers [x, x+1) x [y, y+1).

#include <cstdint>
#include <string>
#include <vector>

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // row-major, 3 bytes a pixel
};

struct Colour {
    float r, g, b;  // 0 .. 1
};

// Colour of a pixel; black outside the frame.
Colour pixelAt(const Frame& frame, int x, int y);

// An expected colour: each channel within [lo, hi].
struct ColourRange {
    const char* name;
    Colour lo;
    Colour hi;
};

bool colourIn(Colour c, const ColourRange& range);

// Collects the probes of one check: every failure is kept, so that one run reports all of them.
struct Report {
    int probes = 0;
    int failures = 0;
    std::string text;  // one line per failure (the first kMaxReportedLines of them)
};

constexpr int kMaxReportedLines = 60;

// Records a failure line that is not a single probe (counts, extents, ...).
void fail(Report& report, const std::string& line);

// Checks the pixel at (x, y) against the range; a failure line gives the position, the expected
// range and the observed colour.
bool probe(Report& report, const Frame& frame, int x, int y, const ColourRange& expected);

// Like probe, but passes when any pixel within `radius` (Chebyshev) of (x, y) is in the range;
// for one-pixel lines whose rasterised position may round either way.
bool probeNear(Report& report, const Frame& frame, int x, int y, int radius,
               const ColourRange& expected);

// Writes the frame as PNG (through ImageMagick's convert when present) or else as PPM next to
// the requested name. Returns the path written, "" on failure.
std::string saveFrame(const Frame& frame, const std::string& pngPath);

std::string describeColour(Colour c);
std::string describeRange(const ColourRange& range);
