// The display callback: one frame draws every object and advances every animation by one step.
#include <GL/glut.h>

#include "scene_state.h"

void onDisplay() {
    const SceneState& s = sceneState;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(s.eyeX, s.eyeY, s.eyeZ, s.centreX, s.centreY, s.centreZ, 0.0, 1.0, 0.0);
    glRotatef(s.viewPitch, 1.0f, 0.0f, 0.0f);
    glRotatef(s.viewYaw, 0.0f, 1.0f, 0.0f);
    glRotatef(10.0f, 1.0f, 1.0f, 0.0f);
    glScalef(s.sceneScale, s.sceneScale, s.sceneScale);

    // Each object is drawn before its own step, so it shows the values from before this frame; the
    // ship parts, drawn later, already show this frame's spin and swing.
    glPushMatrix();
    drawJet1();
    stepJetSequence();
    drawJet2();
    drawJet3();
    drawJet4();
    drawJet5();
    drawJet6();
    advanceWingJets();
    spinRader1();
    swingPung();
    glPopMatrix();

    glPushMatrix();
    drawHang();
    glPopMatrix();

    glPushMatrix();
    drawShipA();
    drawShipB();
    stepShipSequence();
    glPopMatrix();

    glutPostRedisplay();
    glFlush();
    glutSwapBuffers();
}
