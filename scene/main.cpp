// Tarvossa: opens the scene's window and hands control to GLUT. Everything else is in the scene
// library.
#include <GL/glut.h>

#include "scene_state.h"

int main() {
    // The toolkit is given the program name alone: the program takes no command-line options.
    char name[] = "tarvossa";
    char* argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);

    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1200, 1000);
    glutCreateWindow("Tarvossa");
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutKeyboardFunc(onKeyboard);
    glutSpecialFunc(onSpecialKey);
    glutMouseFunc(onMouseButton);
    glutMotionFunc(onMouseMotion);
    glutMainLoop();
    return 0;
}
