// The model cache and the scene's eleven object instances.
#include <GL/gl.h>

#include "scene_state.h"

namespace {

// Reads and fits the slot's file the first time, then draws the model as outlines in the caller's
// colour. The fit's factor is not needed: every model is drawn at its unit-cube size.
void drawSlot(ZelModel*& slot, const char* path) {
    if (!slot) {
        slot = zelReadOBJ(path);
        zelFitToUnitCube(slot);
    }
    if (slot) zelDraw(slot, ZEL_WIREFRAME);
}

void drawJet(float x, float y, float z) {
    glPushMatrix();
    glTranslatef(x, y, z);
    glColor3f(0.0f, 0.0f, 1.0f);
    drawF16Model();
    glPopMatrix();
}

// A ship at local (x, y) in the ship's scaled frame, with its spinning rader1 part and swinging
// pung part; both ships share the parts' angles.
void drawShip(float x, float y) {
    glPushMatrix();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glScalef(4.0f, 3.5f, 4.0f);
    glTranslatef(x, y, 0.0f);
    glColor3f(1.0f, 1.0f, 0.0f);
    drawAbortModel();

    glPushMatrix();
    glColor3f(1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, 0.35f, 0.2f);
    glScalef(0.1f, 0.1f, 0.1f);
    glRotatef(sceneState.rader1Angle, 0.0f, 0.0f, 1.0f);
    drawRader1Model();
    glPopMatrix();

    glPushMatrix();
    glColor3f(1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, -0.76f, -0.05f);
    glRotatef(sceneState.pungAngle, 0.0f, 0.0f, 1.0f);
    drawPungModel();
    glPopMatrix();

    glPopMatrix();
}

}  // namespace

void drawF16Model() {
    drawSlot(sceneState.f16Model, "data/f-16.obj");
}
void drawHangModel() {
    drawSlot(sceneState.hangModel, "data/hang.obj");
}
void drawAbortModel() {
    drawSlot(sceneState.abortModel, "data/abort.obj");
}
void drawRader1Model() {
    drawSlot(sceneState.rader1Model, "data/rader1.obj");
}
void drawPungModel() {
    drawSlot(sceneState.pungModel, "data/pung.obj");
}

void drawJet1() {
    drawJet(0.0f, sceneState.jetRise + 1.55, 6.0f + sceneState.jetAdvance);
}
void drawJet2() {
    drawJet(0.0f, 10.0f, -18.0f);
}
void drawJet3() {
    drawJet(-2.0f, 10.0f, -17.0f + sceneState.wingAdvance);
}
void drawJet4() {
    drawJet(-4.0f, 10.0f, -19.0f);
}
void drawJet5() {
    drawJet(2.0f, 10.0f, -17.0f + sceneState.wingAdvance);
}
void drawJet6() {
    drawJet(4.0f, 10.0f, -19.0f);
}

void drawHang() {
    glPushMatrix();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glTranslatef(0.0f, -2.0f, 0.0f);
    glScalef(20.5f, 20.5f, 18.5f);
    glColor3f(0.0f, 1.0f, 0.0f);
    drawHangModel();
    glPopMatrix();
}

void drawShipA() {
    drawShip(3.0f - sceneState.shipShift, 5.5 - sceneState.shipATravel);
}
void drawShipB() {
    drawShip(-3.0f + sceneState.shipShift, 5.5 - sceneState.shipBTravel);
}
