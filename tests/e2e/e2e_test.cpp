// End-to-end tests: the built viewer runs in its own Xvfb, gets real X input through XTest, and
// its window's pixels are probed where the camera, the projection and the field say the scene
// must appear. Every check polls the window until its probes pass or a deadline expires; a
// failure lists every failing probe and saves the screenshot.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "../surface_reference.h"
#include "frame.h"
#include "view_geometry.h"
#include "x_session.h"

namespace {

const std::string kTitle = u8"Программа визуализации скалярных полей";

constexpr double kWindowTimeout = 30.0;      // seconds until the window must be up
constexpr double kFrameTimeout = 20.0;       // seconds until a frame must show what is expected
constexpr double kSlowFrameTimeout = 120.0;  // frames of the finest grid, also under sanitizers
constexpr double kExitTimeout = 10.0;
constexpr double kPollInterval = 0.05;

// Everything from this row down belongs to the row of labels.
constexpr int kLabelRowTop = 586;
constexpr double kLabelDepth = 5.01;  // eye-space distance of the labels (near plane + 0.01)
constexpr double kLabelDrop = 5.0;    // eye-space distance of the row below the view's centre
constexpr double kLegendStep = 0.2;   // eye-space spacing of the legend entries
constexpr double kFirstLegendOffset = 5.0;

// Expected colours. Lighting shades the lit surface between its ambient and its highlight, and
// the cube's outline a little with the current normal; unlit colours are exact.
const ColourRange kBlack{"black", {0, 0, 0}, {0.03f, 0.03f, 0.03f}};
const ColourRange kLitBlue{"lit blue surface", {0, 0, 0.15f}, {0.03f, 0.03f, 1}};
const ColourRange kAnyBlue{"blue of the surface", {0, 0, 0.1f}, {0.03f, 0.03f, 1}};
const ColourRange kPureBlue{"unlit blue (0, 0, 1)", {0, 0, 0.97f}, {0.03f, 0.03f, 1}};
const ColourRange kOutline{"dark cyan outline", {0, 0.07f, 0.07f}, {0.03f, 0.25f, 0.25f}};
const ColourRange kFullGreen{"full green", {0, 0.9f, 0}, {0.03f, 1, 0.03f}};
const ColourRange kFullRed{"full red", {0.9f, 0, 0}, {1, 0.03f, 0.03f}};
const ColourRange kHalfGreen{"half green", {0, 0.4f, 0}, {0.03f, 0.7f, 0.03f}};
const ColourRange kHalfRed{"half red", {0.4f, 0, 0}, {0.7f, 0.03f, 0.03f}};
const ColourRange kSomeRed{"any red", {0.1f, 0, 0}, {1, 0.03f, 0.03f}};
const ColourRange kSomeGreen{"any green", {0, 0.1f, 0}, {0.03f, 1, 0.03f}};
const ColourRange kCyanLabel{"cyan label", {0, 0.25f, 0.25f}, {0.03f, 1, 1}};
const ColourRange kOliveLabel{"olive label", {0.25f, 0.25f, 0}, {1, 1, 0.05f}};
const ColourRange kPurpleLabel{"purple label", {0.25f, 0, 0.25f}, {1, 0.05f, 1}};

// ----- running the program -----

// The viewer under test, or the one given, run by its launcher (Wine for a Windows build), with
// `arguments` as its own options.
bool launch(XSession& session, std::string& error, const std::vector<std::string>& environment = {},
            const std::vector<std::string>& arguments = {},
            const std::string& binary = viewerBinary(),
            const std::string& launcher = viewerLauncher()) {
    session.launcher = launcher;
    if (!startServer(session, error)) return false;
    if (!startViewer(session, binary, error, environment, arguments)) return false;
    if (!findWindowByTitle(session, kTitle, kWindowTimeout)) {
        error = "no window titled \"" + kTitle + "\" appeared; the viewer " +
                (viewerRunning(session) ? "still runs" : describeStatus(session.viewerStatus)) +
                "; its output:\n" + viewerLog(session);
        return false;
    }
    focusWindow(session);
    return true;
}

std::string currentTestName() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

using Check = std::function<void(const Frame&, Report&)>;

// Polls the window until `check` passes on a frame or the deadline expires; on failure reports
// every failing probe of the last frame and saves it. Returns the last frame read.
Frame expectFrame(XSession& session, const std::string& what, const Check& check,
                  double timeout = kFrameTimeout) {
    const double deadline = nowSeconds() + timeout;
    Frame frame;
    Report report;
    for (;;) {
        frame = grabWindow(session);
        report = Report{};
        if (frame.width == 0) {
            fail(report, "the window could not be read");
        } else {
            check(frame, report);
        }
        if (report.failures == 0 || nowSeconds() > deadline) break;
        sleepSeconds(kPollInterval);
    }
    if (report.failures == 0) {
        std::printf("%s: %d probes passed\n", what.c_str(), report.probes);
    } else {
        const std::string shot = saveFrame(
            frame, std::string(E2E_ARTIFACT_DIR) + "/" + currentTestName() + "-" + what + ".png");
        ADD_FAILURE() << what << ": " << report.failures << " of " << report.probes
                      << " probes failed after " << timeout << " s\n"
                      << report.text << "screenshot: " << (shot.empty() ? "not saved" : shot)
                      << "\nviewer " << (viewerRunning(session) ? "running" : "ended") << "\n"
                      << viewerLog(session);
    }
    return frame;
}

// The README's picture is the first frame as these tests saw it, when asked for.
void saveRequestedScreenshot(const Frame& frame) {
    const char* path = std::getenv("E2E_SAVE_FRAME");
    if (path != nullptr && *path != '\0' && !testing::Test::HasFailure()) saveFrame(frame, path);
}

// ----- expected pictures -----

struct ProbeSpec {
    int x, y;
    int radius;  // 0: that pixel; else any pixel within this distance
    ColourRange colour;
    bool absent;                          // true: the pixel must NOT be of this colour
    const ColourRange* orElse = nullptr;  // a second colour that also passes
};

void runProbes(const Frame& frame, Report& report, const std::vector<ProbeSpec>& probes) {
    for (const ProbeSpec& wanted : probes) {
        if (!wanted.absent) {
            if (wanted.orElse != nullptr &&
                colourIn(pixelAt(frame, wanted.x, wanted.y), *wanted.orElse)) {
                ++report.probes;
                continue;
            }
            probeNear(report, frame, wanted.x, wanted.y, wanted.radius, wanted.colour);
            continue;
        }
        ++report.probes;
        const Colour observed = pixelAt(frame, wanted.x, wanted.y);
        if (colourIn(observed, wanted.colour)) {
            fail(report, "probe at (" + std::to_string(wanted.x) + ", " + std::to_string(wanted.y) +
                             "): expected no " + wanted.colour.name + ", observed " +
                             describeColour(observed));
        }
    }
}

// Probes on a grid of pixels: where the ray meets the surface it must show `surface`; where it
// meets nothing it must show `background` (or, with `absent`, anything but that colour).
// Pixels on the cube's outline and in the label row are left to their own checks.
std::vector<ProbeSpec> surfaceProbes(const View& view, const Ball* balls, double isolevel, int step,
                                     const ColourRange& surface, const ColourRange& background,
                                     bool backgroundAbsent) {
    std::vector<ProbeSpec> probes;
    for (int y = step / 2; y < kLabelRowTop; y += step) {
        for (int x = step / 2; x < view.width; x += step) {
            const ImagePoint centre{x + 0.5, y + 0.5};
            if (nearCubeOutline(view, centre, 3.0)) continue;
            switch (traceSurface(view, balls, isolevel, centre, 1e9)) {
                case RayHit::Surface:
                    probes.push_back({x, y, 0, surface, false});
                    break;
                case RayHit::Nothing:
                    probes.push_back({x, y, 0, background, backgroundAbsent});
                    break;
                case RayHit::Unsure:
                    break;
            }
        }
    }
    return probes;
}

// Points along the cube's twelve edges that no part of the surface hides.
std::vector<ProbeSpec> outlineProbes(const View& view, const Ball* balls, double isolevel) {
    std::vector<ProbeSpec> probes;
    Edge edges[kCubeEdges];
    cubeEdges(edges);
    for (const Edge& edge : edges) {
        for (double f = 0.05; f < 1; f += 0.1) {
            const Point3 p{edge.a.x + f * (edge.b.x - edge.a.x),
                           edge.a.y + f * (edge.b.y - edge.a.y),
                           edge.a.z + f * (edge.b.z - edge.a.z)};
            ImagePoint image;
            if (!project(view, p, image) || image.y >= kLabelRowTop) continue;
            const double reach = distance(view.eye, p) - 0.5;
            if (traceSurface(view, balls, isolevel, image, reach) != RayHit::Nothing) continue;
            probes.push_back(
                {static_cast<int>(image.x), static_cast<int>(image.y), 1, kOutline, false});
        }
    }
    return probes;
}

// Image x of the left end of a label whose anchor lies `offset` left of the view's centre.
double labelX(const View& view, double offset) {
    return projectEye(view, {-offset, -kLabelDrop, -kLabelDepth}).x;
}

// Each legend entry " |k|" in its colour, and no pixel of another colour in its slot.
void checkLegend(const Frame& frame, Report& report, const View& view,
                 const ColourRange expected[kBallCount]) {
    for (int k = 1; k <= kBallCount; ++k) {
        const double left = labelX(view, kFirstLegendOffset - kLegendStep * (k - 1));
        const double slot = labelX(view, kFirstLegendOffset - kLegendStep * k) - left;
        const int x0 = static_cast<int>(left) + 1;
        const int x1 = static_cast<int>(left + slot) - 1;
        int matching = 0, other = 0;
        std::string firstOther;
        for (int y = kLabelRowTop; y < frame.height; ++y) {
            for (int x = x0; x < x1; ++x) {
                const Colour c = pixelAt(frame, x, y);
                if (colourIn(c, expected[k - 1])) {
                    ++matching;
                } else if (c.r > 0.05f || c.g > 0.05f || c.b > 0.05f) {
                    if (other++ == 0) {
                        firstOther = "(" + std::to_string(x) + ", " + std::to_string(y) + ") " +
                                     describeColour(c);
                    }
                }
            }
        }
        ++report.probes;
        if (matching < 4 || other > 0) {
            fail(report, "legend entry " + std::to_string(k) + " in x " + std::to_string(x0) +
                             ".." + std::to_string(x1) + ", y " + std::to_string(kLabelRowTop) +
                             "..: expected " + describeRange(expected[k - 1]) + ", found " +
                             std::to_string(matching) + " such pixels and " +
                             std::to_string(other) + " of other colours" +
                             (other > 0 ? ", first at " + firstOther : ""));
        }
    }
}

// Pixels of a colour within an x range of the label row.
int countInLabelRow(const Frame& frame, int x0, int x1, const ColourRange& colour) {
    int count = 0;
    for (int y = kLabelRowTop; y < frame.height; ++y) {
        for (int x = x0; x < x1; ++x)
            count += colourIn(pixelAt(frame, x, y), colour) ? 1 : 0;
    }
    return count;
}

void expectLabelColour(const Frame& frame, Report& report, const char* label, int x0, int x1,
                       const ColourRange& colour) {
    ++report.probes;
    if (countInLabelRow(frame, x0, x1, colour) < 4) {
        fail(report, std::string(label) + " label: expected " + describeRange(colour) +
                         " pixels in x " + std::to_string(x0) + ".." + std::to_string(x1) + ", y " +
                         std::to_string(kLabelRowTop) + "..");
    }
}

// The wire sphere of a ball: pixels of `colour` all around its projected centre, none beyond its
// projected silhouette, reaching out close to it; and none of `wrong` anywhere above the labels.
void checkMarker(const Frame& frame, Report& report, const View& view, const Ball& ball,
                 const ColourRange& colour, const ColourRange& wrong) {
    const Point3 centre{ball.x, ball.y, ball.z};
    ImagePoint c;
    project(view, centre, c);
    double silhouette = 0;
    for (int i = 0; i <= 180; ++i) {
        for (int j = 0; j < 360; ++j) {
            const double theta = i * M_PI / 180, phi = j * M_PI / 180;
            const Point3 p{centre.x + ball.radius * std::sin(theta) * std::cos(phi),
                           centre.y + ball.radius * std::sin(theta) * std::sin(phi),
                           centre.z + ball.radius * std::cos(theta)};
            ImagePoint image;
            if (project(view, p, image)) {
                silhouette = std::max(silhouette, std::hypot(image.x - c.x, image.y - c.y));
            }
        }
    }
    int quadrants[4] = {0, 0, 0, 0}, beyond = 0, wrongCount = 0;
    double farthest = 0;
    std::string firstBeyond, firstWrong;
    for (int y = 0; y < kLabelRowTop; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const Colour pixel = pixelAt(frame, x, y);
            if (colourIn(pixel, wrong) && wrongCount++ == 0) {
                firstWrong = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
            if (!colourIn(pixel, colour)) continue;
            const double dx = x + 0.5 - c.x, dy = y + 0.5 - c.y;
            const double d = std::hypot(dx, dy);
            farthest = std::max(farthest, d);
            ++quadrants[(dx < 0 ? 1 : 0) + (dy < 0 ? 2 : 0)];
            if (d > silhouette + 2 && beyond++ == 0) {
                firstBeyond = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    }
    char where[160];
    std::snprintf(where, sizeof where, "sphere around (%.1f, %.1f), projected radius %.1f", c.x,
                  c.y, silhouette);
    report.probes += 3;
    for (int q = 0; q < 4; ++q) {
        if (quadrants[q] < 5) {
            fail(report, std::string(where) + ": expected " + describeRange(colour) +
                             " in every quadrant, quadrant " + std::to_string(q) + " has " +
                             std::to_string(quadrants[q]) + " pixels");
        }
    }
    if (farthest < 0.85 * silhouette) {
        fail(report, std::string(where) + ": " + colour.name + " reaches only " +
                         std::to_string(farthest) + " pixels from the centre");
    }
    if (beyond > 0) {
        fail(report, std::string(where) + ": " + std::to_string(beyond) + " " + colour.name +
                         " pixels beyond the silhouette, first at " + firstBeyond);
    }
    if (wrongCount > 0) {
        fail(report, std::string(where) + ": " + std::to_string(wrongCount) + " " + wrong.name +
                         " pixels in the picture, first at " + firstWrong);
    }
}

// Bounding box and count of the surface's blue pixels above the labels.
struct Extent {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int pixels = 0;
};

Extent blueExtent(const Frame& frame) {
    Extent e;
    for (int y = 0; y < kLabelRowTop; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            if (!colourIn(pixelAt(frame, x, y), kAnyBlue)) continue;
            e.left = std::min(e.left, x);
            e.right = std::max(e.right, x);
            e.top = std::min(e.top, y);
            e.bottom = std::max(e.bottom, y);
            ++e.pixels;
        }
    }
    return e;
}

std::string describeExtent(const Extent& e) {
    return "x " + std::to_string(e.left) + ".." + std::to_string(e.right) + ", y " +
           std::to_string(e.top) + ".." + std::to_string(e.bottom) + ", " +
           std::to_string(e.pixels) + " pixels";
}

void expectExtentNear(Report& report, const Extent& observed, const Extent& reference,
                      int tolerance) {
    ++report.probes;
    const bool near =
        observed.pixels > 0 && std::abs(observed.left - reference.left) <= tolerance &&
        std::abs(observed.right - reference.right) <= tolerance &&
        std::abs(observed.top - reference.top) <= tolerance &&
        std::abs(observed.bottom - reference.bottom) <= tolerance &&
        observed.pixels * 2 >= reference.pixels && observed.pixels <= reference.pixels * 2;
    if (!near) {
        fail(report, "surface extent " + describeExtent(observed) + ", expected within " +
                         std::to_string(tolerance) + " pixels of " + describeExtent(reference) +
                         " and between half and twice its pixels");
    }
}

// Pixels of the voxel-size label, which names the voxel size the last frame was drawn with.
std::vector<bool> voxelLabelMask(const Frame& frame, const View& view) {
    const int x0 = static_cast<int>(labelX(view, -0.5)) - 1;
    const int x1 = static_cast<int>(labelX(view, -1.8)) - 1;
    std::vector<bool> mask;
    for (int y = kLabelRowTop; y < frame.height; ++y) {
        for (int x = x0; x < x1; ++x)
            mask.push_back(colourIn(pixelAt(frame, x, y), kOliveLabel));
    }
    return mask;
}

// Rightmost column of the voxel-size label, -1 without one.
int voxelLabelRight(const Frame& frame, const View& view) {
    const int x0 = static_cast<int>(labelX(view, -0.5)) - 1;
    const int x1 = static_cast<int>(labelX(view, -1.8)) - 1;
    int right = -1;
    for (int y = kLabelRowTop; y < frame.height; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (colourIn(pixelAt(frame, x, y), kOliveLabel)) right = std::max(right, x);
        }
    }
    return right;
}

void initialLegend(ColourRange legend[kBallCount]) {
    for (int k = 0; k < kBallCount; ++k)
        legend[k] = kHalfRed;
    legend[1] = kHalfGreen;
    legend[2] = kHalfGreen;
}

// The first frame's surface, checked coarsely: enough to know that the program draws.
void awaitInitialSurface(XSession& session, const View& view, const Ball* balls) {
    const std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 24, kLitBlue, kBlack, false);
    expectFrame(session, "initial-surface",
                [&](const Frame& f, Report& r) { runProbes(f, r, probes); });
}

// ----- the cases -----

// Every case below runs against a freshly started viewer, seen from its initial camera with
// the initial balls.
class RunningViewer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(launch(session, error)) << error;
        initialBalls(balls);
    }

    XSession session;
    View view;
    Ball balls[kBallCount];
};

using Window = RunningViewer;
using Keys = RunningViewer;
using FirstFrame = RunningViewer;
using Selection = RunningViewer;
using Lighting = RunningViewer;
using VoxelSize = RunningViewer;
using Navigation = RunningViewer;

// ----- the window -----

// Title, place and size, and what a dock needs to tie the window to the desktop entry: the
// class the entry's StartupWMClass names, the process and an icon.
TEST_F(Window, TitleGeometryClassAndIcon) {
    EXPECT_EQ(windowNetWmName(session), kTitle) << "_NET_WM_NAME of the window";
    const WindowGeometry g = windowGeometry(session);
    EXPECT_TRUE(g.mapped);
    // The Windows build under Wine: GLUT places the window's frame at (50, 50), and the drawing
    // area lies within it, below the caption. Wine names the window's class after the program.
    const bool windows = !session.launcher.empty();
    if (windows) {
        const int border = g.x - 50, caption = g.y - 50 - border;
        EXPECT_TRUE(border > 0 && border <= 16) << "frame's border " << border;
        EXPECT_TRUE(caption > 0 && caption <= 48) << "caption's height " << caption;
    } else {
        EXPECT_EQ(g.x, 50) << "left edge on the screen";
        EXPECT_EQ(g.y, 50) << "top edge on the screen";
    }
    EXPECT_EQ(g.width, 600);
    EXPECT_EQ(g.height, 600);

    EXPECT_EQ(windowClass(session), windows
                                        ? "\"scalar-field-viewer.exe\", \"scalar-field-viewer.exe\""
                                        : "\"scalar-field-viewer\", \"Scalar-field-viewer\"");
    EXPECT_EQ(windowCardinals(session, "_NET_WM_PID"),
              std::vector<unsigned long>{static_cast<unsigned long>(session.viewerPid)});

    // _NET_WM_ICON: width, height and ARGB pixels, for each size. The picture is the lit blue
    // surface on black: opaque, never red, blue in at least a fifth of it.
    const std::vector<unsigned long> icon = windowCardinals(session, "_NET_WM_ICON");
    std::vector<unsigned long> sizes;
    for (std::size_t at = 0; at + 2 <= icon.size();) {
        const unsigned long width = icon[at], height = icon[at + 1];
        sizes.push_back(width);
        ASSERT_EQ(width, height) << "icon at item " << at;
        ASSERT_LE(at + 2 + width * height, icon.size()) << "icon at item " << at;
        unsigned long blue = 0, bad = 0;
        for (unsigned long i = 0; i < width * height; ++i) {
            const unsigned long argb = icon[at + 2 + i];
            const int a = argb >> 24 & 0xff, r = argb >> 16 & 0xff, b = argb & 0xff;
            bad += a != 0xff || r > 8 ? 1 : 0;
            blue += b > 64 ? 1 : 0;
        }
        EXPECT_EQ(bad, 0u) << width << "x" << height << " icon: transparent or red pixels";
        EXPECT_GE(blue * 5, width * height) << width << "x" << height << " icon: too little blue";
        at += 2 + width * height;
    }
    // Wine hands over the large and the small icon that Windows takes from the program's .ico.
    const std::vector<unsigned long> expectedSizes =
        windows ? std::vector<unsigned long>{32, 16} : std::vector<unsigned long>{48, 128};
    EXPECT_EQ(sizes, expectedSizes) << "sizes of _NET_WM_ICON";
}

// freeglut ends the process itself when the window manager asks the window to close.
TEST_F(Window, CloseRequestEndsProcess) {
    sendDeleteWindow(session);
    ASSERT_TRUE(waitViewerExit(session, kExitTimeout))
        << "the viewer still runs " << kExitTimeout << " s after WM_DELETE_WINDOW";
    EXPECT_TRUE(WIFEXITED(session.viewerStatus)) << describeStatus(session.viewerStatus);
    EXPECT_EQ(WEXITSTATUS(session.viewerStatus), 0) << describeStatus(session.viewerStatus);
}

TEST_F(Keys, EscapeExitsWithStatusZero) {
    ASSERT_TRUE(pressKey(session, XK_Escape));
    ASSERT_TRUE(waitViewerExit(session, kExitTimeout))
        << "the viewer still runs " << kExitTimeout << " s after Escape";
    EXPECT_TRUE(WIFEXITED(session.viewerStatus)) << describeStatus(session.viewerStatus);
    EXPECT_EQ(WEXITSTATUS(session.viewerStatus), 0) << describeStatus(session.viewerStatus);
}

// ----- the first frame -----

// The root under the window is magenta, so black shows that the program drew. (Mesa's
// front buffer starts out black, so a missing clear shows only in later frames: the cases
// that change the picture check that nothing of the old one is left.)
TEST_F(FirstFrame, BlackBackground) {
    // Only the pixels whose ray meets neither the surface nor the outline.
    std::vector<ProbeSpec> probes;
    for (const ProbeSpec& p :
         surfaceProbes(view, balls, kInitialIsolevel, 10, kLitBlue, kBlack, false)) {
        if (std::string(p.colour.name) == kBlack.name) probes.push_back(p);
    }
    ASSERT_GT(probes.size(), 2000u);
    const Frame frame = expectFrame(session, "background",
                                    [&](const Frame& f, Report& r) { runProbes(f, r, probes); });
    saveRequestedScreenshot(frame);
}

TEST_F(FirstFrame, CubeOutline) {
    const std::vector<ProbeSpec> probes = outlineProbes(view, balls, kInitialIsolevel);
    ASSERT_GT(probes.size(), 80u);
    const Frame frame = expectFrame(session, "outline",
                                    [&](const Frame& f, Report& r) { runProbes(f, r, probes); });
    saveRequestedScreenshot(frame);
}

TEST_F(FirstFrame, BlueSurfaceWithoutRedOrGreen) {
    const std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 6, kLitBlue, kBlack, false);
    const Frame frame = expectFrame(session, "surface", [&](const Frame& f, Report& r) {
        runProbes(f, r, probes);
        // Above the labels nothing may be red, nor greener than the outline's cyan.
        for (int y = 0; y < kLabelRowTop; ++y) {
            for (int x = 0; x < f.width; ++x) {
                const Colour c = pixelAt(f, x, y);
                if (c.r > 0.03f || c.g > c.b + 0.03f) {
                    fail(r, "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                                describeColour(c) + ": red or green in the scene");
                }
            }
        }
    });
    saveRequestedScreenshot(frame);
}

TEST_F(FirstFrame, LegendRow) {
    ColourRange legend[kBallCount];
    initialLegend(legend);
    const int netWidthX = static_cast<int>(labelX(view, 1.0));
    const int voxelX = static_cast<int>(labelX(view, -0.5));
    const int isolevelX = static_cast<int>(labelX(view, -1.8));
    const Frame frame = expectFrame(session, "legend", [&](const Frame& f, Report& r) {
        checkLegend(f, r, view, legend);
        // No readout without a selection: the gap between the legend and the net width label
        // stays dark.
        const int readoutX = static_cast<int>(labelX(view, 3.0));
        ++r.probes;
        if (countInLabelRow(f, readoutX, netWidthX - 1, kSomeRed) +
                countInLabelRow(f, readoutX, netWidthX - 1, kSomeGreen) >
            0) {
            fail(r, "a readout is shown although no ball is selected");
        }
        expectLabelColour(f, r, "net width", netWidthX, voxelX - 1, kCyanLabel);
        expectLabelColour(f, r, "voxel size", voxelX, isolevelX - 1, kOliveLabel);
        expectLabelColour(f, r, "isolevel", isolevelX, f.width, kPurpleLabel);
    });
    saveRequestedScreenshot(frame);
}

// The Windows build under Wine draws with the same Mesa as the Linux build: its first frame must
// be the Linux build's, pixel for pixel.
TEST_F(FirstFrame, SameAsLinuxBuild) {
    if (session.launcher.empty()) GTEST_SKIP() << "compares a build run through a launcher";
    XSession linuxSession;
    std::string error;
    ASSERT_TRUE(launch(linuxSession, error, {}, {}, VIEWER_BUILT_BINARY, "")) << error;
    std::vector<ProbeSpec> background;
    for (const ProbeSpec& p :
         surfaceProbes(view, balls, kInitialIsolevel, 10, kLitBlue, kBlack, false)) {
        if (std::string(p.colour.name) == kBlack.name) background.push_back(p);
    }
    const Frame linuxFrame =
        expectFrame(linuxSession, "linux-first-frame",
                    [&](const Frame& f, Report& r) { runProbes(f, r, background); });
    ASSERT_FALSE(HasFailure());
    expectFrame(session, "same-as-linux", [&](const Frame& f, Report& r) {
        ++r.probes;
        if (f.width != linuxFrame.width || f.height != linuxFrame.height) {
            fail(r, "size " + std::to_string(f.width) + "x" + std::to_string(f.height) +
                        ", the Linux build's " + std::to_string(linuxFrame.width) + "x" +
                        std::to_string(linuxFrame.height));
            return;
        }
        int differing = 0;
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) {
                const Colour mine = pixelAt(f, x, y), theirs = pixelAt(linuxFrame, x, y);
                if (mine.r == theirs.r && mine.g == theirs.g && mine.b == theirs.b) continue;
                if (++differing <= kMaxReportedLines) {
                    fail(r, "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                                describeColour(mine) + ", in the Linux build " +
                                describeColour(theirs));
                }
            }
        }
        if (differing > kMaxReportedLines) {
            fail(r, std::to_string(differing) + " pixels differ in all");
        }
    });
}

// ----- selecting and switching a ball -----

// Key 2 selects ball 2: its wire sphere in green, its legend entry and readout in full green.
void expectBall2Selected(XSession& session, const View& view, const Ball& ball2) {
    ColourRange legend[kBallCount];
    initialLegend(legend);
    legend[1] = kFullGreen;
    const int readoutX = static_cast<int>(labelX(view, 3.0));
    const int netWidthX = static_cast<int>(labelX(view, 1.0));
    expectFrame(session, "ball-2-selected", [&](const Frame& f, Report& r) {
        checkMarker(f, r, view, ball2, kFullGreen, kSomeRed);
        checkLegend(f, r, view, legend);
        expectLabelColour(f, r, "readout", readoutX, netWidthX - 1, kFullGreen);
    });
}

TEST_F(Selection, Key2ShowsGreenSphereAndLegendEntry) {
    awaitInitialSurface(session, view, balls);
    ASSERT_TRUE(pressKey(session, XK_2));
    expectBall2Selected(session, view, balls[1]);
}

TEST_F(Selection, DeleteSwitchesBall2Off) {
    awaitInitialSurface(session, view, balls);
    ASSERT_TRUE(pressKey(session, XK_2));
    expectBall2Selected(session, view, balls[1]);

    ASSERT_TRUE(pressKey(session, XK_Delete));
    balls[1].enabled = false;
    ColourRange legend[kBallCount];
    initialLegend(legend);
    legend[1] = kFullRed;
    // Ball 2's surface is gone: where only ball 3's remains the scene has no blue. The red
    // marker's lines may cross what is left of the surface.
    std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 6, kLitBlue, kAnyBlue, true);
    for (ProbeSpec& p : probes)
        p.orElse = &kSomeRed;
    const int readoutX = static_cast<int>(labelX(view, 3.0));
    const int netWidthX = static_cast<int>(labelX(view, 1.0));
    expectFrame(session, "ball-2-off", [&](const Frame& f, Report& r) {
        checkMarker(f, r, view, balls[1], kFullRed, kSomeGreen);
        checkLegend(f, r, view, legend);
        expectLabelColour(f, r, "readout", readoutX, netWidthX - 1, kFullRed);
        runProbes(f, r, probes);
    });
}

// ----- lighting -----

// Boxes well inside the surface's projection around both balls' centres.
struct Box {
    int x0, y0, x1, y1;
};

void expectPixelsInBoxes(const Frame& f, Report& r, const std::vector<Box>& boxes, bool wireframe) {
    for (const Box& box : boxes) {
        int blue = 0, black = 0, total = 0;
        for (int y = box.y0; y < box.y1; ++y) {
            for (int x = box.x0; x < box.x1; ++x) {
                ++total;
                const Colour c = pixelAt(f, x, y);
                if (wireframe) {
                    if (colourIn(c, kPureBlue)) {
                        ++blue;
                    } else if (colourIn(c, kBlack)) {
                        ++black;
                    } else {
                        ++r.probes;
                        fail(r, "probe at (" + std::to_string(x) + ", " + std::to_string(y) +
                                    "): expected pure blue (0, 0, 1) or black, observed " +
                                    describeColour(c));
                    }
                } else {
                    probe(r, f, x, y, kLitBlue);
                }
            }
        }
        ++r.probes;
        if (wireframe && (blue * 20 < total || black * 20 < total)) {
            fail(r, "box x " + std::to_string(box.x0) + ".." + std::to_string(box.x1) + ", y " +
                        std::to_string(box.y0) + ".." + std::to_string(box.y1) + ": " +
                        std::to_string(blue) + " blue and " + std::to_string(black) + " black of " +
                        std::to_string(total) +
                        " pixels, expected lines on black (at least 5% of each)");
        }
    }
}

TEST_F(Lighting, BackspaceTogglesUnlitWireframe) {
    std::vector<Box> boxes;
    for (int b = 1; b <= 2; ++b) {
        ImagePoint c;
        project(view, {balls[b].x, balls[b].y, balls[b].z}, c);
        const Box box{static_cast<int>(c.x) - 15, static_cast<int>(c.y) - 15,
                      static_cast<int>(c.x) + 15, static_cast<int>(c.y) + 15};
        for (int y = box.y0; y < box.y1; ++y) {
            for (int x = box.x0; x < box.x1; ++x) {
                ASSERT_EQ(traceSurface(view, balls, kInitialIsolevel, {x + 0.5, y + 0.5}, 1e9),
                          RayHit::Surface)
                    << "box pixel (" << x << ", " << y << ") not on the surface";
            }
        }
        boxes.push_back(box);
    }
    const std::vector<ProbeSpec> outline = outlineProbes(view, balls, kInitialIsolevel);
    expectFrame(session, "lit",
                [&](const Frame& f, Report& r) { expectPixelsInBoxes(f, r, boxes, false); });
    ASSERT_TRUE(pressKey(session, XK_BackSpace));
    expectFrame(session, "wireframe", [&](const Frame& f, Report& r) {
        expectPixelsInBoxes(f, r, boxes, true);
        runProbes(f, r, outline);
    });
    ASSERT_TRUE(pressKey(session, XK_BackSpace));
    expectFrame(session, "lit-again", [&](const Frame& f, Report& r) {
        expectPixelsInBoxes(f, r, boxes, false);
        runProbes(f, r, outline);
    });
}

// ----- voxel size -----

TEST_F(VoxelSize, RefineTwiceThenCoarsenFiveTimesKeepsSurface) {
    const std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 12, kLitBlue, kAnyBlue, true);
    const Frame first = expectFrame(session, "voxel-size-2", [&](const Frame& f, Report& r) {
        runProbes(f, r, probes);
        expectLabelColour(f, r, "voxel size", static_cast<int>(labelX(view, -0.5)),
                          static_cast<int>(labelX(view, -1.8)), kOliveLabel);
    });
    ASSERT_FALSE(HasFailure());
    const Extent reference = blueExtent(first);
    const int firstLabelRight = voxelLabelRight(first, view);

    // Each halving shows a new voxel size in its label; waiting for that proves the frame new.
    std::vector<bool> label = voxelLabelMask(first, view);
    for (int press = 1; press <= 2; ++press) {
        ASSERT_TRUE(pressKey(session, XK_slash));
        const Frame f = expectFrame(
            session, "voxel-size-label-" + std::to_string(press),
            [&](const Frame& f, Report& r) {
                ++r.probes;
                if (voxelLabelMask(f, view) == label) fail(r, "the voxel size label is unchanged");
            },
            kSlowFrameTimeout);
        label = voxelLabelMask(f, view);
    }
    expectFrame(session, "voxel-size-0.5", [&](const Frame& f, Report& r) {
        runProbes(f, r, probes);
        expectExtentNear(r, blueExtent(f), reference, 6);
    });

    // Five doublings end at 16: its label is one digit wider than that of 2.0.
    for (int press = 1; press <= 5; ++press)
        ASSERT_TRUE(pressKey(session, XK_asterisk));
    expectFrame(
        session, "voxel-size-16",
        [&](const Frame& f, Report& r) {
            ++r.probes;
            if (voxelLabelRight(f, view) < firstLabelRight + 3) {
                fail(r, "the voxel size label is not wider than at the start (rightmost column " +
                            std::to_string(voxelLabelRight(f, view)) + ", at the start " +
                            std::to_string(firstLabelRight) + ")");
                return;
            }
            // One cell is 16 units, about 48 pixels at the balls' depth.
            expectExtentNear(r, blueExtent(f), reference, 48);
        },
        kSlowFrameTimeout);
    EXPECT_TRUE(viewerRunning(session));
}

// ----- the camera -----

TEST_F(Navigation, RightDragTurnsView) {
    awaitInitialSurface(session, view, balls);
    // 30 pixels to the right turn the view by 0.3 radian to the right about its up vector.
    rightDrag(session, 300, 300, 330, 300, 6);
    const double angle = 0.3;
    view.forward = {std::sin(angle), 0, -std::cos(angle)};
    view.right = {std::cos(angle), 0, std::sin(angle)};
    const std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 8, kLitBlue, kAnyBlue, true);
    const std::vector<ProbeSpec> outline = outlineProbes(view, balls, kInitialIsolevel);
    expectFrame(session, "turned", [&](const Frame& f, Report& r) {
        runProbes(f, r, probes);
        runProbes(f, r, outline);
    });
}

TEST_F(Navigation, MovementKeysMoveEye) {
    awaitInitialSurface(session, view, balls);
    // Ten steps forward, six to the right and four down along the camera's own axes.
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(pressKey(session, XK_w));
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(pressKey(session, XK_d));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(pressKey(session, XK_c));
    view.eye = {6, -4, 90};
    const std::vector<ProbeSpec> probes =
        surfaceProbes(view, balls, kInitialIsolevel, 8, kLitBlue, kAnyBlue, true);
    const std::vector<ProbeSpec> outline = outlineProbes(view, balls, kInitialIsolevel);
    expectFrame(session, "moved", [&](const Frame& f, Report& r) {
        runProbes(f, r, probes);
        runProbes(f, r, outline);
    });
}

// ----- the command line -----

struct ProcessResult {
    int status = -1;     // waitpid status
    std::string output;  // stdout and stderr
};

// Runs a shell command, its stderr with its stdout.
ProcessResult runShell(const std::string& command) {
    ProcessResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    result.status = pclose(pipe);
    return result;
}

// Runs the viewer with `arguments` (shell words) and no X display, after `prefix` (shell words
// that run a program, such as setpriv).
ProcessResult runWithoutDisplay(const std::string& arguments, const std::string& prefix = "") {
    ProcessResult result = runShell(prefix + "env -u DISPLAY " + viewerLauncher() + " '" +
                                    viewerBinary() + "' " + arguments);
    // A Windows console program ends its lines with CR LF.
    if (!viewerLauncher().empty()) {
        result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'),
                            result.output.end());
    }
    return result;
}

// The first column of the README's table of keys and mouse, without the backquotes.
std::vector<std::string> readmeKeys() {
    std::ifstream readme(E2E_README);
    std::vector<std::string> keys;
    std::string line;
    bool inTable = false;
    while (std::getline(readme, line)) {
        if (line.rfind("| input | action |", 0) == 0) {
            inTable = true;
            std::getline(readme, line);  // the |---|---| row
            continue;
        }
        if (!inTable) continue;
        if (line.empty() || line[0] != '|') break;
        std::string key = line.substr(1, line.find('|', 1) - 1);
        key.erase(std::remove(key.begin(), key.end(), '`'), key.end());
        const std::size_t first = key.find_first_not_of(' ');
        keys.push_back(first == std::string::npos
                           ? ""
                           : key.substr(first, key.find_last_not_of(' ') - first + 1));
    }
    return keys;
}

// --help and --version need no display; without one the program explains itself and fails.
TEST(CommandLine, HelpVersionAndNoDisplay) {
    const ProcessResult version = runWithoutDisplay("--version");
    EXPECT_EQ(version.status, 0) << describeStatus(version.status);
    EXPECT_EQ(version.output, "scalar-field-viewer " VIEWER_VERSION "\n");

    const ProcessResult help = runWithoutDisplay("--help");
    EXPECT_EQ(help.status, 0) << describeStatus(help.status);
    EXPECT_EQ(runWithoutDisplay("-h").output, help.output);
    const std::vector<std::string> keys = readmeKeys();
    EXPECT_EQ(keys.size(), 14u) << "rows of the README's table of keys and mouse";
    for (const std::string& key : keys) {
        // A row of the help's table: the key, then at least two spaces.
        EXPECT_NE(help.output.find("\n  " + key + "  "), std::string::npos)
            << "--help has no row for \"" << key << "\":\n"
            << help.output;
    }

    // A mistyped option is named, with the option meant, and the run goes on without it.
    const ProcessResult typo =
        runWithoutDisplay("--export-surfce=a.ply --key '2 Escape' --version");
    EXPECT_EQ(typo.status, 0) << describeStatus(typo.status);
    for (const char* line :
         {"unknown option --export-surfce; see --help (did you mean --export-surface?)\n",
          "unknown option --key; see --help (did you mean --keys?)\n",
          "scalar-field-viewer " VIEWER_VERSION "\n"})
        EXPECT_NE(typo.output.find(line), std::string::npos) << line << " in:\n" << typo.output;
    // Help that cannot be written is said so, and fails.
    const ProcessResult full = runShell("(env -u DISPLAY " + viewerLauncher() + " '" +
                                        viewerBinary() + "' --help >/dev/full)");
    EXPECT_TRUE(WIFEXITED(full.status) && WEXITSTATUS(full.status) == 1)
        << describeStatus(full.status);
    EXPECT_NE(full.output.find("scalar-field-viewer: cannot write to the standard output"),
              std::string::npos)
        << full.output;

    // A Windows program always has its session's desktop: nothing to check there.
    if (!viewerLauncher().empty()) return;
    const ProcessResult run = runWithoutDisplay("");
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1)
        << describeStatus(run.status);
    EXPECT_NE(run.output.find("xvfb-run scalar-field-viewer"), std::string::npos) << run.output;
}

// ----- files and scripted sessions -----

bool exitedWith(const XSession& session, int status) {
    return WIFEXITED(session.viewerStatus) && WEXITSTATUS(session.viewerStatus) == status;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder for the files of one case.
std::string outputFolder() {
    char name[] = "/tmp/viewer-output-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

// The viewer with `arguments` in the session's server, ending by itself (the keys end in Escape).
void runScripted(XSession& session, const std::vector<std::string>& arguments) {
    std::string error;
    ASSERT_TRUE(startViewer(session, viewerBinary(), error, {}, arguments)) << error;
    ASSERT_TRUE(waitViewerExit(session, kSlowFrameTimeout))
        << "a scripted session did not end; its output:\n"
        << viewerLog(session);
    EXPECT_TRUE(exitedWith(session, 0)) << describeStatus(session.viewerStatus) << "\n"
                                        << viewerLog(session);
}

// The surface the program draws for these balls, voxel size and threshold, extracted with the
// field library, and the grid edges it cuts, counted from the values alone.
struct SurfaceCounts {
    std::size_t triangles = 0;
    std::size_t cutEdges = 0;
};

SurfaceCounts drawnSurface(const Ball* balls, double voxelSize, double isolevel) {
    Grid grid;
    SurfaceCounts counts;
    if (!setVoxelSize(grid, voxelSize)) return counts;
    static FieldSummary summary;
    static KeptSurface surface;
    updateField(summary, grid, balls);
    extractSurface(surface, grid, isolevel, summary);
    for (int slab = 0; slab < surface.slabCount; ++slab)
        counts.triangles += surface.slabs[slab].triangleCount;
    counts.cutEdges = countCutEdges(grid.points, grid.cellsPerAxis, isolevel);
    releaseGrid(grid);
    return counts;
}

// Each format read back by readers that are not ours: meshio for all three, admesh for STL. Ball
// 2 is moved out through the cube's face x = 32, which cuts its surface open there and only there.
TEST(Output, MeshFilesReadBackByOtherReaders) {
    XSession session;
    std::string error;
    ASSERT_TRUE(startServer(session, error)) << error;
    const std::string folder = outputFolder();
    Ball balls[kBallCount];
    initialBalls(balls);
    std::string keys = "2";
    for (int step = 0; step < 16; ++step) {
        keys += " Right";
        balls[1].x = static_cast<float>(balls[1].x + 1.0);
    }
    const SurfaceCounts expected = drawnSurface(balls, 2.0, kInitialIsolevel);
    std::string reference;
    for (const char* format : {"ply", "obj", "stl"}) {
        SCOPED_TRACE(format);
        // A name outside ASCII and any code page but UTF-8's, typed as it is.
        const std::string path = folder + u8"/поверхность-données." + format;
        runScripted(session, {"--keys", keys + " Escape", "--export-surface", path});
        // The PLY, the first, is the others' reference: every corner at the same float.
        const ProcessResult read =
            runShell("/usr/bin/python3 " E2E_SOURCE_DIR "/mesh_check.py '" + path + "' " +
                     (reference.empty() ? "" : "'" + reference + "'"));
        if (reference.empty()) reference = path;
        std::size_t vertices = 0, triangles = 0, unpaired = 1, cut = 0, against = 1;
        double off = 1;
        ASSERT_EQ(std::sscanf(read.output.c_str(), "%zu %zu %zu %zu %zu %lf", &vertices, &triangles,
                              &unpaired, &cut, &against, &off),
                  6)
            << read.output;
        EXPECT_EQ(against, 0u) << "triangles wound against their vertices' normals";
        EXPECT_EQ(off, 0.0) << "the largest difference of a corner from the PLY's";
        EXPECT_EQ(triangles, expected.triangles);
        EXPECT_EQ(vertices, expected.cutEdges);
        EXPECT_EQ(unpaired, 0u) << "edges not shared by two triangles away from the cube's faces";
        EXPECT_GT(cut, 0u) << "edges where the face x = 32 cuts the surface";
    }
    // Checks only, no repairs, which would fill the cut.
    const ProcessResult admesh = runShell("admesh --exact --normal-directions --normal-values '" +
                                          folder + u8"/поверхность-données.stl'");
    std::string squeezed;  // admesh aligns its columns with runs of spaces
    for (char c : admesh.output)
        if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
    for (const std::string& line :
         {"Number of facets : " + std::to_string(expected.triangles),
          std::string("Degenerate facets : 0"), std::string("Facets reversed : 0"),
          std::string("Backwards edges : 0"), std::string("Normals fixed : 0")}) {
        EXPECT_NE(squeezed.find(line), std::string::npos) << line << " in:\n" << admesh.output;
    }
    runShell("rm -r '" + folder + "'");
}

// The PNG holds the window's pixels as these tests read them, whether Escape or the window's
// close ends the session; both write the mesh too.
TEST(Output, ScreenshotIsTheWindowAtEitherEnd) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "closed" : "Escape");
        XSession session;
        std::string error;
        const std::string folder = outputFolder();
        const std::string shot = folder + (close ? "/shot.Png" : "/shot.png");
        ASSERT_TRUE(launch(session, error, {},
                           {"--screenshot", shot, "--export-surface", folder + "/surface.obj"}))
            << error;
        View view;
        Ball balls[kBallCount];
        initialBalls(balls);
        awaitInitialSurface(session, view, balls);
        const Frame window = grabWindow(session);
        if (close) {
            sendDeleteWindow(session);
        } else {
            ASSERT_TRUE(pressKey(session, XK_Escape));
        }
        ASSERT_TRUE(waitViewerExit(session, kExitTimeout));
        EXPECT_TRUE(exitedWith(session, 0)) << describeStatus(session.viewerStatus);
        const ProcessResult size = runShell("identify -format '%w %h' 'png:" + shot + "'");
        EXPECT_EQ(size.output, "600 600");
        const std::string png = readWhole(shot);
        EXPECT_TRUE(png.size() > 8 && png.compare(png.size() - 8, 8, "IEND\xae\x42\x60\x82") == 0)
            << "the PNG does not end with its IEND chunk";
        const ProcessResult pixels = runShell("convert 'png:" + shot + "' -depth 8 rgb:-");
        EXPECT_TRUE(pixels.output.size() == window.rgb.size() &&
                    std::equal(window.rgb.begin(), window.rgb.end(),
                               reinterpret_cast<const uint8_t*>(pixels.output.data())))
            << "the PNG differs from the window";
        EXPECT_EQ(readWhole(folder + "/surface.obj").compare(0, 14, "# isosurface o"), 0);
        runShell("rm -r '" + folder + "'");
    }
}

// Listed keys end the session by themselves with the surface that typing them gives.
TEST(Output, ScriptedKeysEqualTypedKeys) {
    XSession scripted;
    std::string error;
    ASSERT_TRUE(startServer(scripted, error)) << error;
    const std::string folder = outputFolder();
    runScripted(scripted, {"--keys=2  Right Page_Up  Right + + / Escape",
                           "--export-surface=" + folder + "/a.ply"});

    XSession typed;
    ASSERT_TRUE(launch(typed, error, {}, {"--export-surface", folder + "/b.ply"})) << error;
    for (KeySym key : {XK_2, XK_Right, XK_Prior, XK_Right, XK_plus, XK_plus, XK_slash, XK_Escape})
        ASSERT_TRUE(pressKey(typed, key));
    ASSERT_TRUE(waitViewerExit(typed, kSlowFrameTimeout));
    EXPECT_TRUE(exitedWith(typed, 0)) << describeStatus(typed.viewerStatus);
    const std::string mesh = readWhole(folder + "/a.ply");
    EXPECT_GT(mesh.size(), 1000u);
    EXPECT_TRUE(mesh == readWhole(folder + "/b.ply")) << "the surfaces differ";
    runShell("rm -r '" + folder + "'");
}

// Mistakes are caught before the window opens (there is no display here, which would be status
// 1), said with the path and the reason, and leave every file as it was.
TEST(Output, BadInputEndsBeforeTheWindow) {
    const std::string folder = outputFolder();
    const std::string old = folder + "/old.ply";
    std::ofstream(old) << "old";
    mkdir((folder + "/dir.ply").c_str(), 0755);
    struct Case {
        std::string arguments, message;
    };
    std::vector<Case> cases = {
        {"--export-surface " + folder + "/a.xyz", folder + "/a.xyz: unknown mesh format"},
        {"--export-surface " + old + " --keys '2 Foo'", "unknown key name \"Foo\"; key names"},
        // Permission denied, or a read-only file system where /sys is mounted so.
        {"--screenshot /sys/a.png", "/sys/a.png: cannot write there: "},
        {"--export-surface " + folder + u8"/нет/модель.stl",
         u8"/нет/модель.stl: cannot write there: "},
        {"--screenshot " + old, "old.ply: a screenshot is written as PNG"},
        {"--screenshot " + folder + "/shot", "/shot: a screenshot is written as PNG"},
        {"--keys", "--keys needs a value"},
        {"--export-surface " + folder + "/dir.ply", "/dir.ply: cannot write there: Is a directory"},
    };
    // Windows has no FIFOs among its files, and Wine's files are those of its server.
    const bool posix = viewerLauncher().empty();
    if (posix) {
        mkfifo((folder + "/fifo.ply").c_str(), 0644);
        cases.push_back({"--export-surface " + folder + "/fifo.ply",
                         "/fifo.ply: cannot write there: it is a FIFO, not a regular file"});
    } else {
        // Windows takes a device's name with any extension as the device.
        cases.push_back({"--export-surface " + folder + "/nul.stl",
                         "/nul.stl: cannot write there: nul is a device on Windows, not a file"});
        cases.push_back({"--screenshot " + folder + "/LPT3.png",
                         "/LPT3.png: cannot write there: LPT3 is a device on Windows, not a file"});
    }
    // Another user's file in a folder with the sticky bit, for a user who is not its owner; and
    // an immutable file. Both need root to be set up.
    const bool root = posix && geteuid() == 0;
    const std::string immutable = folder + "/fixed.ply";
    if (root) {
        chmod(folder.c_str(), 0755);
        mkdir((folder + "/sticky").c_str(), 01777);
        chmod((folder + "/sticky").c_str(), 01777);
        std::ofstream(folder + "/sticky/theirs.ply") << "old";
        cases.push_back({"--export-surface " + folder + "/sticky/theirs.ply",
                         "theirs.ply: cannot write there: Operation not permitted: the file "
                         "belongs to another user, in a folder with the sticky bit"});
        std::ofstream(immutable) << "old";
        if (runShell("chattr +i '" + immutable + "'").status == 0) {
            cases.push_back({"--export-surface " + immutable,
                             "fixed.ply: cannot write there: Operation not permitted: the file "
                             "is marked immutable"});
        }
    }
    // The other user runs a copy of the program that they can reach: a clone in root's home, as
    // in a fresh Debian root, is out of their reach.
    const std::string theirs = root ? outputFolder() : "";
    if (root) {
        chmod(theirs.c_str(), 0755);
        ASSERT_EQ(runShell("cp '" + viewerBinary() + "' '" + theirs + "/viewer'").status, 0);
    }
    for (const Case& bad : cases) {
        const bool sticky = bad.arguments.find("/sticky/") != std::string::npos;
        const ProcessResult run =
            sticky
                ? runShell("setpriv --reuid=65534 --regid=65534 --clear-groups env -u DISPLAY '" +
                           theirs + "/viewer' " + bad.arguments)
                : runWithoutDisplay(bad.arguments);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2)
            << bad.arguments << ": " << describeStatus(run.status);
        EXPECT_NE(run.output.find(bad.message), std::string::npos) << run.output;
    }
    EXPECT_EQ(runShell("ls -A '" + folder + "'").output,
              root    ? "dir.ply\nfifo.ply\nfixed.ply\nold.ply\nsticky\n"
              : posix ? "dir.ply\nfifo.ply\nold.ply\n"
                      : "dir.ply\nold.ply\n");
    EXPECT_EQ(readWhole(old), "old");
    if (root) {
        EXPECT_EQ(runShell("ls -A '" + folder + "/sticky'").output, "theirs.ply\n");
        EXPECT_EQ(readWhole(folder + "/sticky/theirs.ply"), "old");
        EXPECT_EQ(readWhole(immutable), "old");
        runShell("chattr -i '" + immutable + "'");
        runShell("rm -r '" + theirs + "'");
    }
    runShell("rm -r '" + folder + "'");
}

// A disk that fills while the files are written: both are reported, with status 2, and the files
// of those names keep their old contents. The disk is a tmpfs of two pages, mounted in a mount
// namespace of the viewer's own.
// A file-size limit (ulimit -f) is met the same way: the write fails with its reason, where the
// limit's signal would end the process and leave the temporary file.
TEST(Output, FullDiskKeepsTheOldFiles) {
    // Wine's server, which does the files' work, may outlive a case and so see another mount.
    if (!viewerLauncher().empty()) GTEST_SKIP() << "the tmpfs is private to this case's process";
    XSession session;
    std::string error;
    ASSERT_TRUE(startServer(session, error)) << error;
    const std::string folder = outputFolder();
    const ProcessResult limited = runShell(
        "cd '" + folder + "' && echo old >fs.ply && (ulimit -f 100; LIBGL_ALWAYS_SOFTWARE=1 '" +
        viewerBinary() + "' -display " + session.displayName +
        " --keys '/ / Escape' --export-surface fs.ply 2>&1); echo status $?; cat fs.ply; ls -A");
    EXPECT_EQ(limited.output,
              "scalar-field-viewer: fs.ply: File too large\nstatus 2\nold\nfs.ply\n");
    runShell("rm '" + folder + "/fs.ply'");

    const std::string probe = runShell("unshare -rm sh -c 'mount -t tmpfs none /mnt'").output;
    if (!probe.empty()) GTEST_SKIP() << "no tmpfs can be mounted here: " << probe;
    const ProcessResult run = runShell(
        "unshare -rm sh -c 'mount -t tmpfs -o size=8k none \"$0\" && cd \"$0\" && "
        "echo old >s.ply && echo old >s.png && "
        "LIBGL_ALWAYS_SOFTWARE=1 \"$1\" -display \"$2\" --keys Escape --export-surface s.ply "
        "--screenshot s.png; echo status $?; cat s.ply s.png; ls -A' '" +
        folder + "' '" + viewerBinary() + "' " + session.displayName);
    EXPECT_EQ(run.output,
              "scalar-field-viewer: s.png: No space left on device\n"
              "scalar-field-viewer: s.ply: No space left on device\n"
              "status 2\nold\nold\ns.ply\ns.png\n");
    runShell("rmdir '" + folder + "'");
}

// A signal that ends the program from its terminal or from kill, arriving while the mesh is
// written, removes the temporary file; the process then ends by that signal as it always does.
TEST(Output, SignalDuringTheWriteLeavesNothing) {
    // Wine's process ends on these signals without an event the program can see.
    if (!viewerLauncher().empty()) GTEST_SKIP() << "signals are POSIX's";
    constexpr int kAttempts = 5;  // runs whose write may end before the viewer is stopped
    for (const int ending : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(ending));
        bool caught = false;
        for (int attempt = 0; attempt < kAttempts && !caught; ++attempt) {
            XSession session;
            std::string error;
            ASSERT_TRUE(startServer(session, error)) << error;
            const std::string folder = outputFolder();
            const int changes = inotify_init1(IN_CLOEXEC);
            ASSERT_GE(inotify_add_watch(changes, folder.c_str(), IN_MODIFY), 0);
            ASSERT_TRUE(
                startViewer(session, viewerBinary(), error, {},
                            {"--keys", "/ / Escape", "--export-surface", folder + "/s.ply"}))
                << error;
            setpriority(PRIO_PROCESS, static_cast<id_t>(session.viewerPid), 19);  // the test first
            // The first bytes written in the folder are the mesh's, into its temporary file (the
            // one made at start to try the folder gets none); stopped there, the write is under
            // way, unless a busy machine let it finish first, which the folder shows.
            pollfd entry{changes, POLLIN, 0};
            ASSERT_EQ(poll(&entry, 1, static_cast<int>(kSlowFrameTimeout * 1000)), 1)
                << "nothing was written; the viewer's output:\n"
                << viewerLog(session);
            kill(session.viewerPid, SIGSTOP);
            close(changes);
            const std::string during = runShell("ls -A '" + folder + "'").output;
            caught =
                during.size() > 1 && during[0] == '.' && during.find('\n') == during.size() - 1;
            if (caught) {
                kill(session.viewerPid, ending);
                kill(session.viewerPid, SIGCONT);
                ASSERT_TRUE(waitViewerExit(session, kExitTimeout));
                EXPECT_TRUE(WIFSIGNALED(session.viewerStatus) &&
                            WTERMSIG(session.viewerStatus) == ending)
                    << describeStatus(session.viewerStatus);
                EXPECT_EQ(runShell("ls -A '" + folder + "'").output, "");
            } else {
                EXPECT_EQ(during, "s.ply\n") << "the folder while the mesh is written";
                kill(session.viewerPid, SIGCONT);
            }
            runShell("rm -r '" + folder + "'");
        }
        EXPECT_TRUE(caught) << "in " << kAttempts << " runs the write ended before the stop";
    }
}

// A window closed, destroyed by another program (which only X allows), or gone with its X server
// ends the session: the mesh is written, with status 0, or 1 when the display was lost.
TEST(Output, WindowGoneEndsTheSession) {
    for (const std::string end : {"closed", "destroyed", "display lost"}) {
        SCOPED_TRACE(end);
        if (end != "closed" && !viewerLauncher().empty()) continue;  // X's alone
        XSession session;
        std::string error;
        const std::string folder = outputFolder();
        ASSERT_TRUE(launch(session, error, {}, {"--export-surface", folder + "/s.ply"})) << error;
        if (end == "closed") {
            sendDeleteWindow(session);
        } else if (end == "destroyed") {
            XDestroyWindow(session.display, session.window);
            XSync(session.display, False);
        } else {
            kill(session.serverPid, SIGKILL);
            session.display = nullptr;  // nothing can be said to a server that is gone
        }
        ASSERT_TRUE(waitViewerExit(session, kExitTimeout)) << "the viewer still runs; its output:\n"
                                                           << viewerLog(session);
        EXPECT_TRUE(exitedWith(session, end == "display lost" ? 1 : 0))
            << describeStatus(session.viewerStatus) << "\n"
            << viewerLog(session);
        EXPECT_EQ(readWhole(folder + "/s.ply").compare(0, 4, "ply\n"), 0);
        EXPECT_EQ(runShell("ls -A '" + folder + "'").output, "s.ply\n");
        if (end == "display lost") {
            EXPECT_NE(viewerLog(session).find("the connection to the display was lost"),
                      std::string::npos)
                << viewerLog(session);
        }
        runShell("rm -r '" + folder + "'");
    }
}

// A window that is never shown (here off a screen too small for its place) gets no frame; the
// listed keys and the files go ahead without one.
TEST(Output, KeysGoOnInAWindowNeverShown) {
    XSession session;
    std::string error;
    ASSERT_TRUE(startServer(session, error, "40x40x24")) << error;
    const std::string folder = outputFolder();
    runScripted(session, {"--keys", "2 Right Escape", "--export-surface", folder + "/s.ply"});
    EXPECT_GT(readWhole(folder + "/s.ply").size(), 1000u);
    runShell("rm -r '" + folder + "'");
}

// ----- memory -----

// A whole session under AddressSanitizer with leak detection: every command, the finest grid,
// a drag, then Escape. The viewer must end with status 0 and no sanitizer report. The Mesa
// driver is preloaded so that it stays mapped at exit and its own allocations can be told from
// the program's by the suppressions file; the grid that `scene` holds at exit is still
// reachable and so is no leak.
TEST(MemoryCheck, FullSessionUnderLeakSanitizer) {
#ifndef E2E_LEAK_SUPPRESSIONS
    GTEST_SKIP() << "needs the sanitizer build (VIEWER_SANITIZE)";
#else
    XSession session;
    std::string error;
    ASSERT_TRUE(launch(session, error,
                       {"ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0",
                        "LSAN_OPTIONS=print_suppressions=1:suppressions=" E2E_LEAK_SUPPRESSIONS,
                        "UBSAN_OPTIONS=print_stacktrace=1", "LD_PRELOAD=" E2E_MESA_DRIVER}))
        << error;
    const KeySym keys[] = {
        XK_2,        XK_Right,    XK_Up,        XK_Page_Up,  XK_Home,      XK_End,      XK_Left,
        XK_Down,     XK_Next,     XK_F1,        XK_Delete,   XK_Delete,    XK_5,        XK_Delete,
        XK_End,      XK_plus,     XK_plus,      XK_minus,    XK_BackSpace, XK_w,        XK_s,
        XK_a,        XK_d,        XK_space,     XK_c,        XK_W,         XK_slash,    XK_slash,
        XK_slash,    XK_Right,    XK_BackSpace, XK_1,        XK_Home,      XK_asterisk, XK_asterisk,
        XK_asterisk, XK_asterisk, XK_asterisk,  XK_asterisk, XK_0,         XK_Right,    XK_x};
    for (KeySym key : keys)
        ASSERT_TRUE(pressKey(session, key)) << key;
    rightDrag(session, 300, 300, 360, 250, 5);
    ASSERT_TRUE(pressKey(session, XK_Escape));
    ASSERT_TRUE(waitViewerExit(session, kSlowFrameTimeout))
        << "the viewer still runs after Escape; its output:\n"
        << viewerLog(session);
    const std::string log = viewerLog(session);
    EXPECT_TRUE(WIFEXITED(session.viewerStatus) && WEXITSTATUS(session.viewerStatus) == 0)
        << describeStatus(session.viewerStatus) << "; its output:\n"
        << log;
    for (const char* report :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "SUMMARY:"}) {
        EXPECT_EQ(log.find(report), std::string::npos) << report << " in:\n" << log;
    }
    std::printf("viewer's sanitizer output at exit:\n%s\n", log.c_str());
#endif
}

}  // namespace
