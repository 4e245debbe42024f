#include "frame.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

Colour pixelAt(const Frame& frame, int x, int y) {
    if (x < 0 || y < 0 || x >= frame.width || y >= frame.height) return {0, 0, 0};
    const uint8_t* p = &frame.rgb[(static_cast<size_t>(y) * frame.width + x) * 3];
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
}

bool colourIn(Colour c, const ColourRange& range) {
    return c.r >= range.lo.r && c.r <= range.hi.r && c.g >= range.lo.g && c.g <= range.hi.g &&
           c.b >= range.lo.b && c.b <= range.hi.b;
}

std::string describeColour(Colour c) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f)", c.r, c.g, c.b);
    return text;
}

std::string describeRange(const ColourRange& range) {
    char text[160];
    std::snprintf(text, sizeof text, "%s [(%.2f, %.2f, %.2f) .. (%.2f, %.2f, %.2f)]", range.name,
                  range.lo.r, range.lo.g, range.lo.b, range.hi.r, range.hi.g, range.hi.b);
    return text;
}

void fail(Report& report, const std::string& line) {
    ++report.failures;
    if (report.failures <= kMaxReportedLines) {
        report.text += "  " + line + "\n";
    } else if (report.failures == kMaxReportedLines + 1) {
        report.text += "  (further failures counted, not listed)\n";
    }
}

bool probe(Report& report, const Frame& frame, int x, int y, const ColourRange& expected) {
    return probeNear(report, frame, x, y, 0, expected);
}

bool probeNear(Report& report, const Frame& frame, int x, int y, int radius,
               const ColourRange& expected) {
    ++report.probes;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            if (colourIn(pixelAt(frame, x + dx, y + dy), expected)) return true;
        }
    }
    char line[320];
    std::snprintf(line, sizeof line, "probe at (%d, %d)%s: expected %s, observed %s", x, y,
                  radius > 0 ? (" +-" + std::to_string(radius)).c_str() : "",
                  describeRange(expected).c_str(), describeColour(pixelAt(frame, x, y)).c_str());
    fail(report, line);
    return false;
}

namespace {

bool writePpm(const Frame& frame, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", frame.width, frame.height);
    const size_t written = std::fwrite(frame.rgb.data(), 1, frame.rgb.size(), file);
    return std::fclose(file) == 0 && written == frame.rgb.size();
}

}  // namespace

std::string saveFrame(const Frame& frame, const std::string& pngPath) {
    if (frame.width == 0) return "";
    const std::string ppmPath = pngPath + ".ppm";
    if (!writePpm(frame, ppmPath)) return "";
    const std::string command = "convert '" + ppmPath +
                                "' -strip -define png:exclude-chunks=date,time '" + pngPath +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
        unlink(ppmPath.c_str());
        return pngPath;
    }
    return ppmPath;
}
