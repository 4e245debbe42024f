#include "render/labels.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "scene_fixture.h"

namespace {

// One label as drawLabels records it. `shape` has a letter per call: C glColor3fv,
// A ambient-and-diffuse material, D diffuse material, R glRasterPos3f, t a character.
struct Label {
    std::string shape;
    std::vector<double> colour, material, diffuse, raster;
    std::string text;
    bool timesRoman10 = true;
};

std::vector<Label> drawnLabels() {
    resetGlDouble();
    drawLabels();
    std::vector<Label> labels;
    for (const GlCall& call : glDouble.calls) {
        const std::string name = call.name;
        if (name == "glColor3fv") labels.emplace_back();
        if (labels.empty()) {
            ADD_FAILURE() << name << " before the first label's colour";
            continue;
        }
        Label& label = labels.back();
        if (name == "glColor3fv") {
            label.shape += 'C';
            label.colour = call.args;
        } else if (name == "glMaterialfv" && call.args[0] == GL_FRONT_AND_BACK &&
                   call.args[1] == GL_AMBIENT_AND_DIFFUSE) {
            label.shape += 'A';
            label.material.assign(call.args.begin() + 2, call.args.end());
        } else if (name == "glMaterialfv" && call.args[0] == GL_FRONT_AND_BACK &&
                   call.args[1] == GL_DIFFUSE) {
            label.shape += 'D';
            label.diffuse.assign(call.args.begin() + 2, call.args.end());
        } else if (name == "glRasterPos3f") {
            label.shape += 'R';
            label.raster = call.args;
        } else if (name == "glutBitmapCharacter") {
            label.shape += 't';
            label.text += static_cast<char>(call.args[0]);
            label.timesRoman10 = label.timesRoman10 && call.args[1] == 1.0;
        } else {
            ADD_FAILURE() << "unexpected " << name;
        }
    }
    return labels;
}

std::vector<double> withAlpha(const std::vector<double>& rgb) {
    return {rgb.at(0), rgb.at(1), rgb.at(2), 1};
}

void expectLegend(const std::vector<Label>& labels, int selected) {
    ASSERT_GE(labels.size(), 9u);
    for (int k = 1; k <= 9; ++k) {
        SCOPED_TRACE(k);
        const Label& label = labels[k - 1];
        const bool enabled = scene.balls[k - 1].enabled;
        const double f = k == selected ? 1.0 : 0.5;
        const std::vector<double> colour = {enabled ? 0 : f, enabled ? f : 0, 0};
        EXPECT_EQ(label.shape, "CADRtttt");
        EXPECT_EQ(label.colour, colour);
        EXPECT_EQ(label.material, withAlpha(colour));
        EXPECT_EQ(label.diffuse, (std::vector<double>{0, 0, 0, 1}));
        EXPECT_EQ(label.text, std::string(" |") + char('0' + k) + "|");
        EXPECT_TRUE(label.timesRoman10);
    }
}

// A formatted label: colour, material, raster position, then its characters.
void expectText(const Label& label, const std::string& text, std::vector<double> colour) {
    SCOPED_TRACE(text);
    EXPECT_EQ(label.shape, "CAR" + std::string(text.size(), 't'));
    EXPECT_EQ(label.text, text);
    EXPECT_EQ(label.colour, colour);
    EXPECT_EQ(label.material, withAlpha(colour));
    EXPECT_TRUE(label.timesRoman10);
}

const std::vector<double> kRed = {1, 0, 0};
const std::vector<double> kGreen = {0, 1, 0};

TEST(labels, initialSceneShowsLegendAndParameters) {
    startScene();
    const auto labels = drawnLabels();
    ASSERT_EQ(labels.size(), 12u);
    expectLegend(labels, 0);
    EXPECT_EQ(labels[1].colour, (std::vector<double>{0, 0.5, 0}));  // ball 2, half green
    EXPECT_EQ(labels[3].colour, (std::vector<double>{0.5, 0, 0}));  // ball 4, half red
    expectText(labels[9], "VNetWidth=64.0", {0, 0.5, 0.5});
    expectText(labels[10], "VoxelSize=2.0", {0.5, 0.5, 0});
    expectText(labels[11], "isolevel=0.40", {0.5, 0, 0.5});
}

TEST(labels, selectedBallIsBrightAndReadOut) {
    struct Case {
        int selected;
        bool enabled;
        const char* readout;
        std::vector<double> colour;
    };
    const Case cases[] = {
        {2, true, "(12.0: 12.0: 0.0 | 20.0)", kGreen},
        {2, false, "(12.0: 12.0: 0.0 | 20.0)", kRed},  // switched off
        {1, false, "(0.0: 0.0: 0.0 | 10.0)", kRed},
        {3, true, "(-10.0: -10.0: 0.0 | 30.0)", kGreen},
        {9, true, "(0.0: 0.0: 0.0 | 10.0)", kGreen},  // switched on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected);
        startScene();
        scene.selectedBall = c.selected;
        scene.balls[c.selected - 1].enabled = c.enabled;
        const auto labels = drawnLabels();
        ASSERT_EQ(labels.size(), 13u);
        expectLegend(labels, c.selected);
        EXPECT_EQ(labels[c.selected - 1].colour, c.colour);  // full intensity
        expectText(labels[9], c.readout, c.colour);
        EXPECT_EQ(labels[10].text, "VNetWidth=64.0");
        EXPECT_EQ(labels[12].text, "isolevel=0.40");
    }
}

// A centre has no limit, so the readout has to hold the longest "%.1f" of any float in full.
TEST(labels, readoutOfAFarBallIsNotCut) {
    startScene();
    scene.selectedBall = 2;
    scene.balls[1].x = 1e30f;
    EXPECT_EQ(drawnLabels()[9].text, "(1000000015047466219876688855040.0: 12.0: 0.0 | 20.0)");

    scene.balls[1] = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, true};
    const std::string most = "-340282346638528859811704183484516925440.0";
    const auto labels = drawnLabels();
    ASSERT_EQ(labels.size(), 13u);
    EXPECT_EQ(labels[9].text, "(" + most + ": " + most + ": " + most + " | " + most + ")");
    EXPECT_EQ(labels[9].text.size(), 177u);
    EXPECT_EQ(labels[10].text, "VNetWidth=64.0");  // the next label is whole too
}

TEST(labels, parametersAtTheirLimits) {
    startScene();
    const struct {
        double voxelSize, isolevel;
        const char *voxelText, *isolevelText;
    } cases[] = {
        {0.5, 9.019999999999897, "VoxelSize=0.5", "isolevel=9.02"},
        {16.0, 0.09999999999999995, "VoxelSize=16.0", "isolevel=0.10"},
        {1.0, 0.08000000000000028, "VoxelSize=1.0", "isolevel=0.08"},
    };
    for (const auto& c : cases) {
        scene.grid.voxelSize = c.voxelSize;
        scene.isolevel = c.isolevel;
        const auto labels = drawnLabels();
        ASSERT_EQ(labels.size(), 12u);
        EXPECT_EQ(labels[10].text, c.voxelText);
        EXPECT_EQ(labels[11].text, c.isolevelText);
    }
}

// The raster position relative to the eye, in the camera's own axes (x right, y up, z back).
std::vector<double> inEyeSpace(const std::vector<double>& p, const Camera& camera) {
    const double d[3] = {p[0] - camera.eye.x, p[1] - camera.eye.y, p[2] - camera.eye.z};
    const auto dot = [&](const Vec3& v) { return d[0] * v.x + d[1] * v.y + d[2] * v.z; };
    return {dot(camera.right), dot(camera.up), -dot(camera.forward)};
}

// Anchor offsets h in drawing order with a ball selected: legend 1 to 9, readout, net width,
// voxel size, isolevel.
const double kOffsets[13] = {5.0, 4.8, 4.6, 4.4, 4.2, 4.0, 3.8, 3.6, 3.4, 3.0, 1.0, -0.5, -1.8};

TEST(labels, anchorsOfTheInitialCamera) {
    startScene();
    scene.selectedBall = 4;
    const auto labels = drawnLabels();
    ASSERT_EQ(labels.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        const std::vector<double>& p = labels[i].raster;
        ASSERT_EQ(p.size(), 3u);
        // World point (-h, -5, 100 - 5.01), rounded once from double.
        EXPECT_FLOAT_EQ(p[0], -kOffsets[i]);
        EXPECT_EQ(p[1], -5.0);
        EXPECT_EQ(p[2], static_cast<float>(100.0 - 5.01));
        const std::vector<double> eye = inEyeSpace(p, scene.camera);
        EXPECT_FLOAT_EQ(eye[0], -kOffsets[i]);
        EXPECT_EQ(eye[1], -5.0);
        EXPECT_NEAR(eye[2], -5.01, 1e-5);
    }
}

TEST(labelAnchor, staysFixedInEyeSpaceForAnyCamera) {
    startScene();
    // An orthonormal frame turned away from every axis, right = forward x up.
    const double yaw = 0.7, pitch = -0.3;
    const double f[3] = {std::cos(pitch) * std::sin(yaw), std::sin(pitch),
                         -std::cos(pitch) * std::cos(yaw)};
    const double u[3] = {-std::sin(pitch) * std::sin(yaw), std::cos(pitch),
                         std::sin(pitch) * std::cos(yaw)};
    const double r[3] = {f[1] * u[2] - f[2] * u[1], f[2] * u[0] - f[0] * u[2],
                         f[0] * u[1] - f[1] * u[0]};
    const auto vec = [](const double v[3]) {
        return Vec3{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
    };
    scene.camera = {{12.5f, -30.0f, 41.0f}, vec(f), vec(u), vec(r)};
    for (double h : {5.0, 3.4, 0.0, -1.8}) {
        SCOPED_TRACE(h);
        const Vec3 a = labelAnchor(h);
        const std::vector<double> eye = inEyeSpace({a.x, a.y, a.z}, scene.camera);
        EXPECT_NEAR(eye[0], -h, 1e-5);
        EXPECT_NEAR(eye[1], -5.0, 1e-5);
        EXPECT_NEAR(eye[2], -5.01, 1e-5);
    }
    startScene();
}

TEST(drawText, drawsEachByteInOrder) {
    resetGlDouble();
    drawText("");
    EXPECT_TRUE(glDouble.calls.empty());

    drawText("a |\xC3\xA9");  // bytes above 127 pass as themselves, not as negative codes
    const auto calls = callsNamed("glutBitmapCharacter");
    const double expected[] = {'a', ' ', '|', 0xC3, 0xA9};
    ASSERT_EQ(calls.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(calls[i].args[0], expected[i]) << i;
        EXPECT_EQ(calls[i].args[1], 1.0) << i;  // Times Roman 10
    }
}

}  // namespace
