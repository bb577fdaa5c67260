// The scene's one shared record, its state values and the tuning constants of camera and input,
// and every operation of the scene that main.cpp and the tests call.
#pragma once

#include "zel.h"

// States of jet 1's sequence.
enum { JET_IDLE = 0, JET_DEPART = 1, JET_RETURN = 2 };
// States of the ships' sequence.
enum { SHIPS_IDLE = 0, SHIPS_OUTBOUND = 1, SHIPS_SURGE = 2, SHIPS_RETURN = 3 };
// Swing direction of the pung parts.
enum { SWING_INCREASING = 1, SWING_DECREASING = 2 };
// Left-button drag state.
enum { DRAG_HELD = 0, DRAG_RELEASED = -1 };

constexpr float HEADING_STEP = 0.125f;  // radians per LEFT or RIGHT press
constexpr float MOVE_STEP = 0.125f;     // eye travel per UP or DOWN press
constexpr float ZOOM_FACTOR = 1.125f;   // sceneScale factor per 'z' or 'x' press
constexpr double DRAG_DIVISOR = 5.0;    // pointer pixels per degree of drag rotation

// Everything the scene remembers between callbacks. All real values are single precision; an update
// is computed in double precision and rounded once when stored. A value-initialised record holds
// the start values.
struct SceneState {
    float viewPitch = 20.0f;  // scene rotation about x, degrees
    float viewYaw = 55.0f;    // scene rotation about y, degrees
    float sceneScale = 0.06f;
    float eyeX = 1.5f;
    float eyeY = 0.0f;
    float eyeZ = 0.0f;  // set to 5 by every reshape
    float centreX = 0.2f;
    float centreY = 0.0f;
    float centreZ = 0.0f;
    float heading = 0.0f;  // radians in the plane y = 0; 0 looks along -z, growing turns towards +x
    int dragState = DRAG_HELD;
    int lastMouseX = 0;
    int lastMouseY = 0;

    int jetSequence = JET_IDLE;
    float jetRise = 0.0f;      // jet 1, y offset
    float jetAdvance = 0.0f;   // jet 1, z offset
    float wingAdvance = 0.0f;  // jets 3 and 5, z offset
    int shipSequence = SHIPS_IDLE;
    float shipATravel = 0.0f;
    float shipBTravel = 0.0f;
    float shipShift = 0.0f;    // sideways shift of both ships, mirrored
    float rader1Angle = 0.0f;  // degrees
    float pungAngle = 0.0f;    // degrees
    int pungDirection = SWING_INCREASING;

    // Model slots: read and fitted on first use, then kept for the life of the process.
    ZelModel* f16Model = nullptr;
    ZelModel* hangModel = nullptr;
    ZelModel* abortModel = nullptr;
    ZelModel* rader1Model = nullptr;
    ZelModel* pungModel = nullptr;
};

// The process's one scene; GLUT runs every callback on one thread, so it needs no lock.
extern SceneState sceneState;

// One frame: camera, every object, every animation step, then the next frame is requested.
void onDisplay();

// Slot operations: read and fit the slot's file on first use, then draw its outlines.
void drawF16Model();
void drawHangModel();
void drawAbortModel();
void drawRader1Model();
void drawPungModel();

// Object operations: each places, colours and draws one instance between a push and a pop.
void drawJet1();
void drawJet2();
void drawJet3();
void drawJet4();
void drawJet5();
void drawJet6();
void drawHang();
void drawShipA();
void drawShipB();

// Animation steps, one call each per displayed frame.
void stepJetSequence();
void stepShipSequence();
void advanceWingJets();
void spinRader1();
void swingPung();

// Camera and input callbacks.
void onReshape(int width, int height);
void updateLookAt(int key);
void onKeyboard(unsigned char key, int x, int y);
void onSpecialKey(int key, int x, int y);
void onMouseButton(int button, int state, int x, int y);
void onMouseMotion(int x, int y);
