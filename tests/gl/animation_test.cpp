// The animation steps: jet 1's and the ships' sequences with their exact frame counts and resting
// offsets, the pung swing and the two motions that only grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "scene_state.h"

namespace {

// The value printed with as many significant digits as `figure` has, for comparing with figures
// quoted to a fixed number of digits.
std::string asFigure(float value, const std::string& figure) {
    int digits = 0;
    bool leading = true;
    for (char c : figure) {
        if (!std::isdigit(static_cast<unsigned char>(c))) continue;
        if (leading && c == '0') continue;
        leading = false;
        digits++;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    return text;
}

#define EXPECT_FIGURE(value, figure) EXPECT_EQ(asFigure((value), figure), figure)

class Animation : public ::testing::Test {
protected:
    void SetUp() override { sceneState = SceneState{}; }
    void TearDown() override { sceneState = SceneState{}; }

    // Runs `step` until `done` holds and returns the number of calls, at most `limit`.
    template <class Step, class Done>
    int stepsUntil(Step step, Done done, int limit) {
        for (int n = 1; n <= limit; n++) {
            step();
            if (done()) return n;
        }
        return -1;
    }
};

// ---- Jet 1
// ----------------------------------------------------------------------------------------

TEST_F(Animation, JetDepartsClimbsReturnsAndRestsAfter251Steps) {
    SceneState& s = sceneState;
    s.jetSequence = JET_DEPART;
    for (int n = 1; n <= 23; n++) stepJetSequence();
    EXPECT_EQ(s.jetAdvance, 11.5f);
    EXPECT_EQ(s.jetRise, 0.0f);

    stepJetSequence();  // 24: to 12, and on the same step to 12.5 with the first climb
    EXPECT_EQ(s.jetAdvance, 12.5f);
    EXPECT_EQ(s.jetRise, 0.5f);

    for (int n = 25; n <= 49; n++) stepJetSequence();
    EXPECT_EQ(s.jetSequence, JET_DEPART);
    EXPECT_EQ(s.jetAdvance, 25.0f);

    stepJetSequence();  // 50: past 25, reappears at (30, -60) and takes the first return step
    EXPECT_EQ(s.jetSequence, JET_RETURN);
    EXPECT_EQ(s.jetRise, static_cast<float>(30 - 0.17));
    EXPECT_EQ(s.jetAdvance, static_cast<float>(-60 + 0.3));
    EXPECT_FIGURE(s.jetRise, "29.83");
    EXPECT_FIGURE(s.jetAdvance, "-59.7");

    for (int n = 51; n <= 225; n++) stepJetSequence();
    EXPECT_GT(s.jetRise, 0.0f);
    stepJetSequence();  // 226: first at or below 0
    EXPECT_FIGURE(s.jetRise, "-0.0900123");
    EXPECT_FIGURE(s.jetAdvance, "-6.9001055");

    for (int n = 227; n <= 250; n++) stepJetSequence();
    EXPECT_EQ(s.jetSequence, JET_RETURN);
    EXPECT_FIGURE(s.jetAdvance, "0.2998958");

    stepJetSequence();  // 251
    EXPECT_EQ(s.jetSequence, JET_IDLE);
    EXPECT_FIGURE(s.jetRise, "-0.0900123");
    EXPECT_FIGURE(s.jetAdvance, "0.2998958");
    EXPECT_EQ(s.jetRise, -0.0900123f);
    EXPECT_EQ(s.jetAdvance, 0.2998958f);
}

TEST_F(Animation, JetAtRestStaysPut) {
    SceneState& s = sceneState;
    s.jetRise = -0.0900123f;
    s.jetAdvance = 0.2998958f;
    for (int n = 0; n < 100; n++) stepJetSequence();
    EXPECT_EQ(s.jetSequence, JET_IDLE);
    EXPECT_EQ(s.jetRise, -0.0900123f);
    EXPECT_EQ(s.jetAdvance, 0.2998958f);
}

TEST_F(Animation, SecondDepartureStartsFromTheRestingOffsets) {
    SceneState& s = sceneState;
    s.jetSequence = JET_DEPART;
    EXPECT_EQ(stepsUntil(
                  stepJetSequence, [&] { return s.jetSequence == JET_IDLE; }, 1000),
              251);
    onKeyboard('a', 0, 0);
    stepJetSequence();
    EXPECT_EQ(s.jetAdvance, static_cast<float>(0.2998958f + 0.5));
    EXPECT_EQ(s.jetRise, -0.0900123f);
}

TEST_F(Animation, KeyDuringReturnRunsForwardAtCurrentHeightThenClimbs) {
    SceneState& s = sceneState;
    s.jetSequence = JET_DEPART;
    for (int n = 0; n < 60; n++) stepJetSequence();
    ASSERT_EQ(s.jetSequence, JET_RETURN);
    const float height = s.jetRise;
    ASSERT_GT(height, 0.0f);
    ASSERT_LT(s.jetAdvance, 12.0f);

    onKeyboard('a', 0, 0);
    EXPECT_EQ(s.jetSequence, JET_DEPART);
    float previous = s.jetAdvance;
    while (s.jetAdvance < 12.0f) {
        stepJetSequence();
        if (s.jetAdvance < 12.0f) {
            EXPECT_EQ(s.jetRise, height);
            EXPECT_EQ(s.jetAdvance, static_cast<float>(previous + 0.5));
        }
        previous = s.jetAdvance;
    }
    const int steps = stepsUntil(
        stepJetSequence, [&] { return s.jetSequence == JET_RETURN; }, 100);
    EXPECT_GT(steps, 0);
    EXPECT_GT(s.jetRise, height);
    EXPECT_FIGURE(s.jetRise, "29.83");
    EXPECT_FIGURE(s.jetAdvance, "-59.7");
}

TEST_F(Animation, KeyDuringDepartureChangesNothing) {
    SceneState& s = sceneState;
    s.jetSequence = JET_DEPART;
    for (int n = 0; n < 30; n++) stepJetSequence();
    const float rise = s.jetRise, advance = s.jetAdvance;
    onKeyboard('a', 0, 0);
    EXPECT_EQ(s.jetSequence, JET_DEPART);
    EXPECT_EQ(s.jetRise, rise);
    EXPECT_EQ(s.jetAdvance, advance);
}

// ---- Ships
// ------------------------------------------------------------------------------------------

TEST_F(Animation, ShipsRunOutCrossSidesAndComeBackIn841Steps) {
    SceneState& s = sceneState;
    s.shipSequence = SHIPS_OUTBOUND;
    for (int n = 1; n <= 96; n++) stepShipSequence();
    EXPECT_FIGURE(s.shipBTravel, "9.6");
    EXPECT_FIGURE(s.shipATravel, "9.6");
    EXPECT_EQ(s.shipShift, 0.0f);

    stepShipSequence();  // 97: the sideways phase begins
    EXPECT_FIGURE(s.shipShift, "0.02");
    EXPECT_FIGURE(s.shipBTravel, "9.63");
    EXPECT_FIGURE(s.shipATravel, "9.65");

    for (int n = 98; n <= 246; n++) stepShipSequence();
    EXPECT_LE(s.shipShift, 3.0f);
    const float bBefore = s.shipBTravel, aBefore = s.shipATravel;
    stepShipSequence();  // 247: past 3, ship B now gains 0.06 against ship A's 0.05
    EXPECT_FIGURE(s.shipShift, "3.0199978");
    EXPECT_EQ(s.shipBTravel, static_cast<float>(static_cast<float>(bBefore + 0.03) + 0.03));
    EXPECT_EQ(s.shipATravel, static_cast<float>(aBefore + 0.05));

    for (int n = 248; n <= 396; n++) stepShipSequence();
    EXPECT_EQ(s.shipSequence, SHIPS_OUTBOUND);
    stepShipSequence();  // 397: shift reaches 6, through the surge state to the first return step
    EXPECT_EQ(s.shipSequence, SHIPS_RETURN);
    EXPECT_FIGURE(s.shipShift, "6.019995");
    EXPECT_EQ(s.shipBTravel, static_cast<float>(23.160107f - 0.05));
    EXPECT_EQ(s.shipATravel, static_cast<float>(24.649893f - 0.05));

    for (int n = 398; n <= 840; n++) stepShipSequence();
    EXPECT_EQ(s.shipSequence, SHIPS_RETURN);
    stepShipSequence();  // 841
    EXPECT_EQ(s.shipSequence, SHIPS_IDLE);
    EXPECT_FIGURE(s.shipBTravel, "0.9601728");
    EXPECT_FIGURE(s.shipATravel, "2.4499807");
    EXPECT_FIGURE(s.shipShift, "6.019995");

    const float b = s.shipBTravel, a = s.shipATravel;
    for (int n = 0; n < 50; n++) stepShipSequence();
    EXPECT_EQ(s.shipBTravel, b);
    EXPECT_EQ(s.shipATravel, a);
}

TEST_F(Animation, SecondShipRunTakesOneSidewaysStepAndEndsAtStep260) {
    SceneState& s = sceneState;
    s.shipSequence = SHIPS_OUTBOUND;
    ASSERT_EQ(stepsUntil(
                  stepShipSequence, [&] { return s.shipSequence == SHIPS_IDLE; }, 2000),
              841);

    onKeyboard('w', 0, 0);
    const float shift = s.shipShift;
    for (int n = 1; n <= 86; n++) stepShipSequence();
    EXPECT_EQ(s.shipSequence, SHIPS_OUTBOUND);
    EXPECT_EQ(s.shipShift, shift);
    stepShipSequence();  // 87
    EXPECT_EQ(s.shipSequence, SHIPS_RETURN);
    EXPECT_FIGURE(s.shipShift, "6.039995");
    EXPECT_EQ(stepsUntil(
                  stepShipSequence, [&] { return s.shipSequence == SHIPS_IDLE; }, 2000),
              260 - 87);
}

TEST_F(Animation, KeyDuringReturnSendsTheShipsForwardFromWhereTheyAre) {
    SceneState& s = sceneState;
    s.shipSequence = SHIPS_OUTBOUND;
    for (int n = 0; n < 500; n++) stepShipSequence();
    ASSERT_EQ(s.shipSequence, SHIPS_RETURN);
    const float b = s.shipBTravel, a = s.shipATravel, shift = s.shipShift;
    ASSERT_GT(b, 9.5f);
    onKeyboard('w', 0, 0);
    EXPECT_EQ(s.shipSequence, SHIPS_OUTBOUND);
    EXPECT_EQ(s.shipBTravel, b);
    stepShipSequence();  // the sideways phase lasts this one step: the shift is already past 6
    EXPECT_EQ(s.shipSequence, SHIPS_RETURN);
    EXPECT_EQ(s.shipShift, static_cast<float>(shift + 0.02));
    EXPECT_EQ(s.shipATravel, static_cast<float>(static_cast<float>(a + 0.05) - 0.05));
}

TEST_F(Animation, SurgeAddsOnlyWhenTheTravelsSumToExactlyFifteen) {
    SceneState& s = sceneState;
    s.shipSequence = SHIPS_SURGE;
    s.shipBTravel = 7.25f;
    s.shipATravel = 7.75f;
    stepShipSequence();
    EXPECT_EQ(s.shipSequence, SHIPS_SURGE);
    EXPECT_EQ(s.shipBTravel, static_cast<float>(7.25 + 0.4));
    EXPECT_EQ(s.shipATravel, static_cast<float>(7.75 + 0.2));

    stepShipSequence();  // the sum is no longer 15: on to the return, with its first step
    EXPECT_EQ(s.shipSequence, SHIPS_RETURN);
    EXPECT_EQ(s.shipBTravel, static_cast<float>(static_cast<float>(7.25 + 0.4) - 0.05));
}

TEST_F(Animation, ReturnEndsOnlyOnceShipBIsAtOneOrBelow) {
    SceneState& s = sceneState;
    s.shipSequence = SHIPS_RETURN;
    s.shipBTravel = 1.0f;
    s.shipATravel = 5.0f;
    stepShipSequence();
    EXPECT_EQ(s.shipSequence, SHIPS_IDLE);
    EXPECT_EQ(s.shipBTravel, 1.0f);
    EXPECT_EQ(s.shipATravel, 5.0f);
}

// ---- Continuous motions -------------------------------------------------------------------------

TEST_F(Animation, PungTurnsAtNinetyFiveOnStep19AndRepeatsEvery76Steps) {
    SceneState& s = sceneState;
    std::vector<float> angles;
    for (int n = 1; n <= 400; n++) {
        swingPung();
        angles.push_back(s.pungAngle);
    }
    for (int n = 1; n <= 19; n++) EXPECT_EQ(angles[n - 1], 5.0f * n) << n;
    EXPECT_EQ(angles[19], 90.0f);
    EXPECT_EQ(angles[56], -95.0f);  // step 57
    EXPECT_EQ(angles[57], -90.0f);
    for (int n = 19; n + 76 <= 400; n++) EXPECT_EQ(angles[n - 1], angles[n + 76 - 1]) << n;
    float highest = 0, lowest = 0;
    for (float a : angles) {
        highest = std::max(highest, a);
        lowest = std::min(lowest, a);
    }
    EXPECT_EQ(highest, 95.0f);
    EXPECT_EQ(lowest, -95.0f);
}

TEST_F(Animation, PungTurnTestsFollowTheChangeStrictly) {
    SceneState& s = sceneState;
    s.pungAngle = 85.0f;
    swingPung();
    EXPECT_EQ(s.pungAngle, 90.0f);
    EXPECT_EQ(s.pungDirection, SWING_INCREASING);  // 90 is not greater than 90
    s.pungDirection = SWING_DECREASING;
    s.pungAngle = -85.0f;
    swingPung();
    EXPECT_EQ(s.pungDirection, SWING_DECREASING);
    swingPung();
    EXPECT_EQ(s.pungAngle, -95.0f);
    EXPECT_EQ(s.pungDirection, SWING_INCREASING);
}

TEST_F(Animation, WingJetsAndRader1OnlyGrow) {
    SceneState& s = sceneState;
    float wing = s.wingAdvance, angle = s.rader1Angle;
    for (int n = 1; n <= 2000; n++) {
        advanceWingJets();
        spinRader1();
        ASSERT_GT(s.wingAdvance, wing) << n;
        ASSERT_GT(s.rader1Angle, angle) << n;
        wing = s.wingAdvance;
        angle = s.rader1Angle;
    }
    EXPECT_EQ(s.rader1Angle, 10000.0f);  // never wrapped at 360
}

}  // namespace
