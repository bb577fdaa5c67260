// The scene's frame drawn from display lists: the same program as tarvossa (the scene library's
// callbacks, window, camera, objects and animation), except that each zelDraw the scene makes
// replays a display list compiled by zelMakeList on the model's first drawing. Linked with
// -Wl,--wrap=zelDraw: the scene's calls of zelDraw come here, while zelMakeList's own call inside
// the library still reaches the real zelDraw. Compared with tarvossa by bench/scene_fps.sh.
#include <GL/glut.h>

#include <utility>
#include <vector>

#include "scene_state.h"

extern "C" void __wrap_zelDraw(ZelModel* model, uint32_t mode) {
    static std::vector<std::pair<ZelModel*, GLuint>> lists;  // one per model, five in all
    for (const auto& entry : lists)
        if (entry.first == model) {
            glCallList(entry.second);
            return;
        }
    GLuint list = zelMakeList(model, mode);
    lists.emplace_back(model, list);
    glCallList(list);
}

int main() {
    char name[] = "scene_lists";
    char* argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1200, 1000);
    glutCreateWindow("Tarvossa (display lists)");
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutKeyboardFunc(onKeyboard);
    glutSpecialFunc(onSpecialKey);
    glutMouseFunc(onMouseButton);
    glutMotionFunc(onMouseMotion);
    glutMainLoop();
    return 0;
}
