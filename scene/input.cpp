// Window size, projection, the eye, and the keyboard and mouse bindings. The callbacks only change
// the scene state (and request a redisplay where a change must show); the frame applies the camera.
#include <GL/glut.h>

#include <cmath>

#include "scene_state.h"

void onReshape(int width, int height) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A minimised window reports height 0; dividing by it would give an infinite aspect ratio and a
    // projection of infinities and NaNs, so it is taken as 1 pixel high.
    const int aspectHeight = height > 0 ? height : 1;
    const double aspect = static_cast<double>(width) / static_cast<double>(aspectHeight);
    gluPerspective(60.0, aspect, 0.1, 100.0);
    sceneState.eyeZ = 5.0f;
    updateLookAt(0);
    glEnable(GL_DEPTH_TEST);
}

// Moves the eye one step forward (UP) or back (DOWN) along the heading, then puts the look-at
// centre one unit ahead of the eye.
void updateLookAt(int key) {
    SceneState& s = sceneState;
    const double h = s.heading;
    if (key == GLUT_KEY_UP) {
        s.eyeZ = s.eyeZ - std::cos(h) * MOVE_STEP;
        s.eyeX = s.eyeX + std::sin(h) * MOVE_STEP;
    } else if (key == GLUT_KEY_DOWN) {
        s.eyeZ = s.eyeZ + std::cos(h) * MOVE_STEP;
        s.eyeX = s.eyeX - std::sin(h) * MOVE_STEP;
    }
    s.centreZ = s.eyeZ - std::cos(h);
    s.centreX = s.eyeX + std::sin(h);
}

void onSpecialKey(int key, int, int) {
    switch (key) {
        case GLUT_KEY_LEFT:
            sceneState.heading = sceneState.heading - HEADING_STEP;
            break;
        case GLUT_KEY_RIGHT:
            sceneState.heading = sceneState.heading + HEADING_STEP;
            break;
        case GLUT_KEY_UP:
        case GLUT_KEY_DOWN:
            break;
        default:
            return;
    }
    updateLookAt(key);
    glutPostRedisplay();
}

// Needs no redisplay request: every frame already requests the next.
void onKeyboard(unsigned char key, int, int) {
    switch (key) {
        case 'a':
            sceneState.jetSequence = JET_DEPART;
            break;
        case 'w':
            sceneState.shipSequence = SHIPS_OUTBOUND;
            break;
        case 'z':
            sceneState.sceneScale = sceneState.sceneScale * ZOOM_FACTOR;
            break;
        case 'x':
            sceneState.sceneScale = sceneState.sceneScale / ZOOM_FACTOR;
            break;
        default:
            break;
    }
}

void onMouseButton(int button, int state, int x, int y) {
    if (button != GLUT_LEFT_BUTTON) return;
    if (state == GLUT_DOWN) {
        sceneState.dragState = DRAG_HELD;
        sceneState.lastMouseX = x;
        sceneState.lastMouseY = y;
    } else if (state == GLUT_UP) {
        sceneState.dragState = DRAG_RELEASED;
    } else {
        return;
    }
    glutPostRedisplay();
}

// Turns the scene by one degree per DRAG_DIVISOR pixels of pointer travel while a drag is held.
// The drag starts out held, so a drag with any button turns the scene until the first left release.
void onMouseMotion(int x, int y) {
    SceneState& s = sceneState;
    if (s.dragState != DRAG_HELD) return;
    s.viewYaw = s.viewYaw - (s.lastMouseX - x) / DRAG_DIVISOR;
    s.viewPitch = s.viewPitch - (s.lastMouseY - y) / DRAG_DIVISOR;
    glutPostRedisplay();
    s.lastMouseX = x;
    s.lastMouseY = y;
}
