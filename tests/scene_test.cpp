#include "app/scene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/window.h"
#include "gl_double.h"
#include "input/camera.h"
#include "input/commands.h"
#include "render/display.h"
#include "scene_fixture.h"

namespace {

struct Expected {
    const char* name;
    std::vector<double> args;
};

void expectCalls(const std::vector<Expected>& expected) {
    ASSERT_EQ(glDouble.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(glDouble.calls[i].name, expected[i].name);
        EXPECT_EQ(glDouble.calls[i].args, expected[i].args);
    }
}

TEST(initScene, initialState) {
    restoreStartValues();
    resetGlDouble();
    initScene();
    EXPECT_EQ(scene.grid.cellsPerAxis, 32);
    EXPECT_EQ(scene.grid.voxelSize, 2.0);
    EXPECT_EQ(scene.isolevel, 0.4);
    EXPECT_EQ(scene.selectedBall, 0);
    EXPECT_TRUE(scene.lightingOn);
    EXPECT_FALSE(scene.dragging);
    EXPECT_EQ(scene.windowWidth, 600);
    EXPECT_EQ(scene.windowHeight, 600);
    EXPECT_EQ(scene.nearPlane, 5.0f);
    EXPECT_EQ(scene.farPlane, 200.0f);

    const Camera& camera = scene.camera;
    EXPECT_EQ(camera.eye.z, 100.0f);
    EXPECT_EQ(camera.forward.z, -1.0f);
    EXPECT_EQ(camera.up.y, 1.0f);
    EXPECT_EQ(camera.right.x, 1.0f);

    for (int b = 0; b < kBallCount; ++b) {
        SCOPED_TRACE(b);
        const Ball& ball = scene.balls[b];
        if (b == 1 || b == 2) {
            EXPECT_TRUE(ball.enabled);
            continue;
        }
        EXPECT_FALSE(ball.enabled);
        EXPECT_EQ(ball.radius, 10.0f);
        EXPECT_EQ(ball.x, 0.0f);
        EXPECT_EQ(ball.y, 0.0f);
        EXPECT_EQ(ball.z, 0.0f);
    }
    const Ball& two = scene.balls[1];
    const Ball& three = scene.balls[2];
    EXPECT_EQ(two.x, 12.0f);
    EXPECT_EQ(two.y, 12.0f);
    EXPECT_EQ(two.radius, 20.0f);
    EXPECT_EQ(three.x, -10.0f);
    EXPECT_EQ(three.y, -10.0f);
    EXPECT_EQ(three.radius, 30.0f);

    // Every point holds the sum of balls 2 and 3, in that order.
    for (int p = 0; p < 35937; ++p) {
        const Vec3 q = pointPosition(scene.grid, p / 1089, p / 33 % 33, p % 33);
        EXPECT_EQ(scene.grid.points[p].value,
                  softObjectField(two, q.x, q.y, q.z) + softObjectField(three, q.x, q.y, q.z));
    }
}

TEST(initScene, fixedOpenGlStateInOrder) {
    restoreStartValues();
    resetGlDouble();
    initScene();
    expectCalls({
        {"glClearColor", {0, 0, 0, 0}},
        {"glEnable", {GL_DEPTH_TEST}},
        {"glLightfv", {GL_LIGHT1, GL_POSITION, 0, 0, 100, 0}},
        {"glLightfv", {GL_LIGHT1, GL_AMBIENT, 1, 1, 1, 1}},
        {"glLightfv", {GL_LIGHT1, GL_DIFFUSE, 1, 1, 1, 1}},
        {"glLightfv", {GL_LIGHT1, GL_SPECULAR, 1, 1, 1, 1}},
        {"glEnable", {GL_LIGHT1}},
        {"glLightModeli", {GL_LIGHT_MODEL_TWO_SIDE, 1}},
        {"glLightModeli", {GL_LIGHT_MODEL_LOCAL_VIEWER, 1}},
        {"glEnable", {GL_NORMALIZE}},
        {"glEnable", {GL_LIGHTING}},
        {"glMatrixMode", {GL_MODELVIEW}},
        {"glLoadIdentity", {}},
        {"gluLookAt", {0, 0, 100, 0, 0, 99, 0, 1, 0}},
        {"glMatrixMode", {GL_PROJECTION}},
        {"glLoadIdentity", {}},
        {"gluPerspective", {90, 1, 5, 200}},
    });
    EXPECT_EQ(glDouble.matrixMode, static_cast<GLenum>(GL_PROJECTION));
    EXPECT_EQ(glDouble.redisplayRequests, 0);
}

TEST(window, callbacksAreRegisteredInOrder) {
    resetGlDouble();
    registerCallbacks();
    const char* order[] = {"glutDisplayFunc", "glutReshapeFunc", "glutKeyboardFunc",
                           "glutSpecialFunc", "glutMouseFunc",   "glutMotionFunc"};
    ASSERT_EQ(glDouble.calls.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(glDouble.calls[i].name, order[i]);
    EXPECT_EQ(glDouble.displayFunc, &display);
    EXPECT_EQ(glDouble.reshapeFunc, &reshape);
    EXPECT_EQ(glDouble.keyboardFunc, &keyboard);
    EXPECT_EQ(glDouble.specialFunc, &specialKey);
    EXPECT_EQ(glDouble.mouseFunc, &mouse);
    EXPECT_EQ(glDouble.motionFunc, &motion);
}

TEST(window, reshapeSetsOnlyTheViewport) {
    for (const auto& size : {std::pair<int, int>{800, 400}, {600, 0}, {0, 0}}) {
        resetGlDouble();
        reshape(size.first, size.second);
        expectCalls({{"glViewport", {0, 0, double(size.first), double(size.second)}}});
        EXPECT_EQ(glDouble.redisplayRequests, 0);
    }
}

TEST(window, titleIsTheUtf8Text) {
    // 38 characters: 35 Cyrillic letters of two bytes each and three spaces.
    EXPECT_EQ(std::strlen(kWindowTitle), 73u);
    EXPECT_EQ(std::string(kWindowTitle, 18),
              "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0"
              "\xD0\xBC\xD0\xBC\xD0\xB0");  // Программа
    int characters = 0;
    for (const char* c = kWindowTitle; *c; ++c) {
        if ((static_cast<unsigned char>(*c) & 0xC0) != 0x80) ++characters;
    }
    EXPECT_EQ(characters, 38);
}

}  // namespace
