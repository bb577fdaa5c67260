// Reshape, the eye and look-at centre, and every key, special key, mouse button and drag binding.
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gl_recorder.h"
#include "scene_state.h"

namespace {

using glrec::call;
using Calls = std::vector<std::string>;

bool sameState(const SceneState& a, const SceneState& b) {
    return a.viewPitch == b.viewPitch && a.viewYaw == b.viewYaw && a.sceneScale == b.sceneScale &&
           a.eyeX == b.eyeX && a.eyeY == b.eyeY && a.eyeZ == b.eyeZ && a.centreX == b.centreX &&
           a.centreY == b.centreY && a.centreZ == b.centreZ && a.heading == b.heading &&
           a.dragState == b.dragState && a.lastMouseX == b.lastMouseX &&
           a.lastMouseY == b.lastMouseY && a.jetSequence == b.jetSequence &&
           a.jetRise == b.jetRise && a.jetAdvance == b.jetAdvance &&
           a.wingAdvance == b.wingAdvance && a.shipSequence == b.shipSequence &&
           a.shipATravel == b.shipATravel && a.shipBTravel == b.shipBTravel &&
           a.shipShift == b.shipShift && a.rader1Angle == b.rader1Angle &&
           a.pungAngle == b.pungAngle && a.pungDirection == b.pungDirection;
}

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        sceneState = SceneState{};
        glrec::clear();
    }
    void TearDown() override {
        sceneState = SceneState{};
        glrec::clear();
    }
    template <class F>
    Calls record(F&& callback) {
        glrec::clear();
        callback();
        return glrec::calls();
    }
};

// ---- Start values -------------------------------------------------------------------------------

TEST_F(Input, StartValues) {
    const SceneState& s = sceneState;
    EXPECT_EQ(s.viewPitch, 20.0f);
    EXPECT_EQ(s.viewYaw, 55.0f);
    EXPECT_EQ(s.sceneScale, 0.06f);
    EXPECT_EQ(s.eyeX, 1.5f);
    EXPECT_EQ(s.eyeY, 0.0f);
    EXPECT_EQ(s.eyeZ, 0.0f);
    EXPECT_EQ(s.centreX, 0.2f);
    EXPECT_EQ(s.centreY, 0.0f);
    EXPECT_EQ(s.centreZ, 0.0f);
    EXPECT_EQ(s.heading, 0.0f);
    EXPECT_EQ(s.dragState, DRAG_HELD);
    EXPECT_EQ(s.pungDirection, SWING_INCREASING);
    EXPECT_EQ(s.jetSequence, JET_IDLE);
    EXPECT_EQ(s.shipSequence, SHIPS_IDLE);
    EXPECT_EQ(s.f16Model, nullptr);
    EXPECT_EQ(s.pungModel, nullptr);
    EXPECT_EQ(DRAG_RELEASED, -1);
    EXPECT_EQ(HEADING_STEP, 0.125f);
    EXPECT_EQ(MOVE_STEP, 0.125f);
    EXPECT_EQ(ZOOM_FACTOR, 1.125f);
    EXPECT_EQ(DRAG_DIVISOR, 5.0);
}

// ---- Reshape
// --------------------------------------------------------------------------------------

TEST_F(Input, ReshapeSetsViewportPerspectiveAndEye) {
    const Calls calls = record([] { onReshape(1200, 1000); });
    EXPECT_EQ(calls, (Calls{"glClear(GL_COLOR_BUFFER_BIT|GL_DEPTH_BUFFER_BIT)",
                            "glViewport(0, 0, 1200, 1000)", "glMatrixMode(GL_PROJECTION)",
                            "glLoadIdentity()", call("gluPerspective", 60.0, 1.2, 0.1, 100.0),
                            "glEnable(GL_DEPTH_TEST)"}));
    EXPECT_EQ(sceneState.eyeX, 1.5f);
    EXPECT_EQ(sceneState.eyeZ, 5.0f);
    EXPECT_EQ(sceneState.centreX, 1.5f);
    EXPECT_EQ(sceneState.centreY, 0.0f);
    EXPECT_EQ(sceneState.centreZ, 4.0f);
}

struct AspectCase {
    int width, height;
    double aspect;
};

class ReshapeAspect : public Input, public ::testing::WithParamInterface<AspectCase> {};

TEST_P(ReshapeAspect, IsWidthOverHeightInDoublePrecision) {
    const AspectCase& c = GetParam();
    const Calls calls = record([&] { onReshape(c.width, c.height); });
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[1], call("glViewport", 0, 0, c.width, c.height));
    EXPECT_EQ(calls[4], call("gluPerspective", 60.0, c.aspect, 0.1, 100.0));
}

INSTANTIATE_TEST_SUITE_P(Input, ReshapeAspect,
                         ::testing::Values(AspectCase{1201, 1000, 1.201},
                                           AspectCase{333, 1000, 0.333},
                                           AspectCase{1, 3, 0.33333333333333331},
                                           AspectCase{640, 480, 1.3333333333333333},
                                           // A minimised window: height 0 is taken as 1, so the
                                           // projection stays finite.
                                           AspectCase{800, 0, 800.0}, AspectCase{0, 0, 0.0}),
                         [](const ::testing::TestParamInfo<AspectCase>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_F(Input, ReshapeDuringARunResetsOnlyTheEyeDepthAndCentre) {
    onReshape(1200, 1000);
    onSpecialKey(GLUT_KEY_RIGHT, 0, 0);
    onSpecialKey(GLUT_KEY_UP, 0, 0);
    onSpecialKey(GLUT_KEY_UP, 0, 0);
    onKeyboard('a', 0, 0);
    sceneState.jetAdvance = 3.5f;
    sceneState.rader1Angle = 45.0f;
    const float eyeX = sceneState.eyeX;
    ASSERT_NE(eyeX, 1.5f);
    ASSERT_NE(sceneState.eyeZ, 5.0f);

    onReshape(800, 600);
    EXPECT_EQ(sceneState.eyeZ, 5.0f);
    EXPECT_EQ(sceneState.eyeX, eyeX);
    EXPECT_EQ(sceneState.heading, 0.125f);
    EXPECT_EQ(sceneState.centreZ, static_cast<float>(5.0 - std::cos(0.125)));
    EXPECT_EQ(sceneState.centreX, static_cast<float>(eyeX + std::sin(0.125)));
    EXPECT_EQ(sceneState.jetSequence, JET_DEPART);
    EXPECT_EQ(sceneState.jetAdvance, 3.5f);
    EXPECT_EQ(sceneState.rader1Angle, 45.0f);
}

// ---- Special keys
// ---------------------------------------------------------------------------------

TEST_F(Input, UpMovesTheEyeAnEighthForwardAndDownUndoesIt) {
    onReshape(1200, 1000);
    const Calls up = record([] { onSpecialKey(GLUT_KEY_UP, 0, 0); });
    EXPECT_EQ(up, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.eyeZ, 4.875f);
    EXPECT_EQ(sceneState.centreZ, 3.875f);
    EXPECT_EQ(sceneState.eyeX, 1.5f);
    EXPECT_EQ(sceneState.centreX, 1.5f);

    const Calls down = record([] { onSpecialKey(GLUT_KEY_DOWN, 17, 23); });
    EXPECT_EQ(down, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.eyeZ, 5.0f);
    EXPECT_EQ(sceneState.centreZ, 4.0f);
    EXPECT_EQ(sceneState.eyeX, 1.5f);
}

TEST_F(Input, LeftAndRightTurnTheHeadingAndPutTheCentreOneUnitAhead) {
    onReshape(1200, 1000);
    const Calls left = record([] { onSpecialKey(GLUT_KEY_LEFT, 0, 0); });
    EXPECT_EQ(left, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.heading, -0.125f);
    EXPECT_EQ(sceneState.eyeZ, 5.0f);  // turning does not move the eye
    EXPECT_EQ(sceneState.eyeX, 1.5f);
    EXPECT_LT(sceneState.centreX, 1.5f);  // turned left: towards -x
    EXPECT_NEAR(sceneState.centreX, 1.5 + std::sin(-0.125), 1e-6);
    EXPECT_NEAR(sceneState.centreZ, 5.0 - std::cos(-0.125), 1e-6);

    onSpecialKey(GLUT_KEY_RIGHT, 0, 0);
    EXPECT_EQ(sceneState.heading, 0.0f);
    EXPECT_EQ(sceneState.centreX, 1.5f);
    EXPECT_EQ(sceneState.centreZ, 4.0f);
}

TEST_F(Input, LeftAndRightPressesCancelExactly) {
    onReshape(1200, 1000);
    for (int n = 0; n < 40; n++) onSpecialKey(GLUT_KEY_RIGHT, 0, 0);
    EXPECT_EQ(sceneState.heading, 5.0f);
    for (int n = 0; n < 40; n++) onSpecialKey(GLUT_KEY_LEFT, 0, 0);
    EXPECT_EQ(sceneState.heading, 0.0f);
}

TEST_F(Input, UpMovesAlongTheHeading) {
    onReshape(1200, 1000);
    for (int n = 0; n < 4; n++) onSpecialKey(GLUT_KEY_RIGHT, 0, 0);  // heading 0.5
    onSpecialKey(GLUT_KEY_UP, 0, 0);
    EXPECT_EQ(sceneState.eyeX, static_cast<float>(1.5 + std::sin(0.5) * 0.125));
    EXPECT_EQ(sceneState.eyeZ, static_cast<float>(5.0 - std::cos(0.5) * 0.125));
    EXPECT_GT(sceneState.eyeX, 1.5f);  // turned right, so forward goes towards +x
    const double dx = sceneState.centreX - sceneState.eyeX,
                 dz = sceneState.centreZ - sceneState.eyeZ;
    EXPECT_NEAR(std::sqrt(dx * dx + dz * dz), 1.0, 1e-6);
    EXPECT_NEAR(dx, std::sin(0.5), 1e-6);
    EXPECT_NEAR(dz, -std::cos(0.5), 1e-6);
}

TEST_F(Input, OtherSpecialKeysDoNothing) {
    onReshape(1200, 1000);
    const SceneState before = sceneState;
    for (int key : {GLUT_KEY_F1, GLUT_KEY_F5, GLUT_KEY_F12, GLUT_KEY_PAGE_UP, GLUT_KEY_PAGE_DOWN,
                    GLUT_KEY_HOME, GLUT_KEY_END, GLUT_KEY_INSERT, 0, 99, 104, 1000}) {
        EXPECT_EQ(record([&] { onSpecialKey(key, 5, 5); }), Calls{}) << key;
        EXPECT_TRUE(sameState(sceneState, before)) << key;
    }
}

TEST_F(Input, UpdateLookAtWithAnyOtherCodeOnlyRecomputesTheCentre) {
    sceneState.eyeX = 2.0f;
    sceneState.eyeZ = 7.0f;
    EXPECT_EQ(record([] { updateLookAt(GLUT_KEY_LEFT); }), Calls{});
    EXPECT_EQ(sceneState.eyeX, 2.0f);
    EXPECT_EQ(sceneState.eyeZ, 7.0f);
    EXPECT_EQ(sceneState.centreX, 2.0f);
    EXPECT_EQ(sceneState.centreZ, 6.0f);
}

// ---- Keyboard
// ---------------------------------------------------------------------------------------

TEST_F(Input, SequenceKeysSetTheirStateWhateverItWas) {
    sceneState.jetSequence = JET_RETURN;
    sceneState.jetRise = 12.0f;
    sceneState.shipSequence = SHIPS_RETURN;
    sceneState.shipBTravel = 4.0f;
    EXPECT_EQ(record([] { onKeyboard('a', 0, 0); }), Calls{});
    EXPECT_EQ(sceneState.jetSequence, JET_DEPART);
    EXPECT_EQ(sceneState.jetRise, 12.0f);
    EXPECT_EQ(record([] { onKeyboard('w', 0, 0); }), Calls{});
    EXPECT_EQ(sceneState.shipSequence, SHIPS_OUTBOUND);
    EXPECT_EQ(sceneState.shipBTravel, 4.0f);
    sceneState.shipSequence = SHIPS_IDLE;
    onKeyboard('w', 0, 0);
    EXPECT_EQ(sceneState.shipSequence, SHIPS_OUTBOUND);
}

TEST_F(Input, ZoomKeysScaleTheSceneByOneAndAnEighth) {
    EXPECT_EQ(record([] { onKeyboard('z', 0, 0); }), Calls{});
    EXPECT_EQ(sceneState.sceneScale, 0.06f * 1.125f);
    onKeyboard('x', 0, 0);
    onKeyboard('x', 0, 0);
    EXPECT_EQ(sceneState.sceneScale, (0.06f * 1.125f) / 1.125f / 1.125f);
}

TEST_F(Input, EightZoomsInGrowTheSceneAbout257TimesAndEightZoomsOutUndoIt) {
    for (int n = 0; n < 8; n++) onKeyboard('z', 0, 0);
    EXPECT_NEAR(sceneState.sceneScale / 0.06f, 2.5658, 1e-4);
    for (int n = 0; n < 8; n++) onKeyboard('x', 0, 0);
    EXPECT_FLOAT_EQ(sceneState.sceneScale, 0.06f);
}

TEST_F(Input, UnboundKeysDoNothing) {
    const SceneState before = sceneState;
    for (unsigned char key :
         {'A', 'W', 'Z', 'X', 'q', 'b', '1', '0', ' ', '\x1b', '\r', '\0', '\xff', '\xe1'}) {
        EXPECT_EQ(record([&] { onKeyboard(key, 10, 10); }), Calls{}) << int{key};
        EXPECT_TRUE(sameState(sceneState, before)) << int{key};
    }
}

// ---- Mouse
// ------------------------------------------------------------------------------------------

TEST_F(Input, DragBeforeAnyPressTurnsByTheDistanceFromTheOrigin) {
    const Calls calls = record([] { onMouseMotion(10, 20); });
    EXPECT_EQ(calls, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.viewYaw, 57.0f);
    EXPECT_EQ(sceneState.viewPitch, 24.0f);
    EXPECT_EQ(sceneState.lastMouseX, 10);
    EXPECT_EQ(sceneState.lastMouseY, 20);
    onMouseMotion(15, 20);
    EXPECT_EQ(sceneState.viewYaw, 58.0f);
    EXPECT_EQ(sceneState.viewPitch, 24.0f);
}

TEST_F(Input, LeftPressAnchorsTheDragAndEachMotionTurnsByPixelsOverFive) {
    const Calls press = record([] { onMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 200); });
    EXPECT_EQ(press, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.dragState, DRAG_HELD);
    EXPECT_EQ(sceneState.lastMouseX, 100);
    EXPECT_EQ(sceneState.lastMouseY, 200);

    onMouseMotion(101, 200);  // one pixel: a fifth of a degree, not an integer 0
    EXPECT_EQ(sceneState.viewYaw, 55.2f);
    EXPECT_EQ(sceneState.viewPitch, 20.0f);
    onMouseMotion(98, 202);  // left 3, down 2
    EXPECT_EQ(sceneState.viewYaw, static_cast<float>(55.2f - 0.6));
    EXPECT_EQ(sceneState.viewPitch, 20.4f);
    EXPECT_EQ(sceneState.lastMouseX, 98);
    EXPECT_EQ(sceneState.lastMouseY, 202);
}

TEST_F(Input, DragAnglesAreNeitherLimitedNorWrapped) {
    onMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    onMouseMotion(5000, -5000);
    EXPECT_EQ(sceneState.viewYaw, 1055.0f);
    EXPECT_EQ(sceneState.viewPitch, -980.0f);
}

TEST_F(Input, LeftReleaseEndsTheDragAndKeepsTheAnchor) {
    onMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 200);
    const Calls release = record([] { onMouseButton(GLUT_LEFT_BUTTON, GLUT_UP, 300, 400); });
    EXPECT_EQ(release, Calls{"glutPostRedisplay()"});
    EXPECT_EQ(sceneState.dragState, DRAG_RELEASED);
    EXPECT_EQ(sceneState.lastMouseX, 100);
    EXPECT_EQ(sceneState.lastMouseY, 200);

    const SceneState before = sceneState;
    EXPECT_EQ(record([] { onMouseMotion(150, 250); }), Calls{});
    EXPECT_TRUE(sameState(sceneState, before));
}

TEST_F(Input, OtherButtonsDoNothing) {
    onMouseButton(GLUT_LEFT_BUTTON, GLUT_UP, 1, 1);
    const SceneState before = sceneState;
    for (int button : {GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, 3, 4})
        for (int state : {GLUT_DOWN, GLUT_UP}) {
            EXPECT_EQ(record([&] { onMouseButton(button, state, 50, 60); }), Calls{}) << button;
            EXPECT_TRUE(sameState(sceneState, before)) << button;
        }
    // After the first release, a drag with another button does not turn the scene.
    onMouseMotion(70, 80);
    EXPECT_TRUE(sameState(sceneState, before));
    // A new left press starts a new drag.
    onMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, 70, 80);
    onMouseMotion(75, 80);
    EXPECT_EQ(sceneState.viewYaw, 56.0f);
}

}  // namespace
