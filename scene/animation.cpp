// The per-frame animation steps. Each field is single precision; a step with a double constant is
// computed in double precision and rounded once when stored, which the sequences' frame counts
// depend on.
#include "scene_state.h"

// Jet 1: runs forward to z 12, then climbs while running; past z 25 it reappears high and far back
// and descends and runs in until it is at or below height 0 and at or beyond z 0.
void stepJetSequence() {
    SceneState& s = sceneState;
    if (s.jetSequence == JET_DEPART) {
        if (!(s.jetAdvance > 12.0f)) s.jetAdvance = s.jetAdvance + 0.5;
        if (!(s.jetAdvance < 12.0f)) {
            s.jetAdvance = s.jetAdvance + 0.5;
            s.jetRise = s.jetRise + 0.5;
        }
        if (s.jetAdvance > 25.0f) {
            s.jetSequence = JET_RETURN;
            s.jetRise = 30.0f;
            s.jetAdvance = -60.0f;
        }
    }
    if (s.jetSequence == JET_RETURN) {
        if (s.jetRise > 0.0f) {
            s.jetRise = s.jetRise - 0.17;
            s.jetAdvance = s.jetAdvance + 0.3;
        } else if (s.jetAdvance < 0.0f) {
            s.jetAdvance = s.jetAdvance + 0.3;
        } else {
            s.jetSequence = JET_IDLE;
        }
    }
}

// The ships: both travel forward to 9.5, then drift sideways past each other (ship B gaining once
// the shift passes 3) until the shift reaches 6, then travel back until ship B's travel is 1 or
// less.
void stepShipSequence() {
    SceneState& s = sceneState;
    if (s.shipSequence == SHIPS_OUTBOUND) {
        if (!(s.shipBTravel > 9.5)) {
            s.shipBTravel = s.shipBTravel + 0.1;
            s.shipATravel = s.shipATravel + 0.1;
        } else {
            s.shipBTravel = s.shipBTravel + 0.03;
            s.shipATravel = s.shipATravel + 0.05;
            s.shipShift = s.shipShift + 0.02;
            if (s.shipShift > 3.0f) s.shipBTravel = s.shipBTravel + 0.03;
            if (!(s.shipShift < 6.0f)) s.shipSequence = SHIPS_SURGE;
        }
    }
    if (s.shipSequence == SHIPS_SURGE) {
        if (double{s.shipBTravel} + double{s.shipATravel} == 15.0f) {
            s.shipBTravel = s.shipBTravel + 0.4;
            s.shipATravel = s.shipATravel + 0.2;
        } else {
            s.shipSequence = SHIPS_RETURN;
        }
    }
    if (s.shipSequence == SHIPS_RETURN) {
        if (s.shipBTravel > 1.0f) {
            s.shipBTravel = s.shipBTravel - 0.05;
            s.shipATravel = s.shipATravel - 0.05;
        } else {
            s.shipSequence = SHIPS_IDLE;
        }
    }
}

// Jets 3 and 5 fly forward from the first frame and never come back.
void advanceWingJets() {
    sceneState.wingAdvance = sceneState.wingAdvance + 0.3;
}

// The rader1 parts spin without end; the angle is not wrapped.
void spinRader1() {
    sceneState.rader1Angle = sceneState.rader1Angle + 5.0f;
}

// The pung parts swing between 95 and -95 degrees: the turn is tested after the change, strictly.
void swingPung() {
    SceneState& s = sceneState;
    if (s.pungDirection == SWING_INCREASING) s.pungAngle = s.pungAngle + 5.0f;
    if (s.pungDirection == SWING_DECREASING) s.pungAngle = s.pungAngle - 5.0f;
    if (s.pungAngle > 90.0f)
        s.pungDirection = SWING_DECREASING;
    else if (s.pungAngle < -90.0f)
        s.pungDirection = SWING_INCREASING;
}
