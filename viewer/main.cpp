// zelview: shows a Wavefront OBJ model with the zel library, in every drawing mode the library has.
//
//     zelview FILE.obj [TEXTURE.ppm]
//
// The model and the images are read before any window opens, so an unreadable model or TEXTURE.ppm
// ends the program with the library's line and status 1 even without a display; a material's map
// that cannot be read is a warning line, and the model is shown without it. See kUsage for the
// keys.
//
// For frame-rate measurements (bench/viewer_fps.sh), ZELVIEW_SPIN=DEGREES in the environment turns
// the model by that many degrees about the vertical every frame, drawing frame after frame.
#include <GL/glut.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render.h"
#include "viewer.h"

namespace {

// GLUT's callbacks take no context: the program's one model and view live here.
struct Viewer {
    std::string path;
    ZelModel* model = nullptr;
    zelview::ModelInfo info;
    zelview::ViewState state;
    zelview::Renderer renderer;
    float spin = 0.0f;  // degrees a frame, from ZELVIEW_SPIN
};
Viewer viewer;

void apply(unsigned effect) {
    if (effect & zelview::kQuit) {
        // Exit from the callback: freeglut's main loop does not return.
        zelFreeMesh(viewer.renderer.mesh);
        zelFreeModel(viewer.model);
        std::exit(0);
    }
    if (effect & zelview::kPrintHelp) {
        std::fputs(zelview::kHelp, stdout);
        std::fflush(stdout);
    }
    if (effect & zelview::kNewTexCoords) {
        zelview::applyTexSource(viewer.model, viewer.info, viewer.state.texSource);
        viewer.renderer.listStale = true;
        viewer.renderer.meshStale = true;
    }
    if (effect & zelview::kRedraw) {
        glutSetWindowTitle(zelview::windowTitle(viewer.state, viewer.path).c_str());
        glutPostRedisplay();
    }
}

void onDisplay() {
    zelview::drawFrame(&viewer.renderer, viewer.model, viewer.state);
    glutSwapBuffers();
}

void onKeyboard(unsigned char key, int, int) {
    std::string note;
    const unsigned effect = zelview::pressKey(&viewer.state, key, &note);
    if (!note.empty()) {
        std::fputs(note.c_str(), stdout);
        std::fflush(stdout);
    }
    apply(effect);
}

void onMouse(int button, int buttonState, int x, int y) {
    apply(zelview::mouseButton(&viewer.state, button, buttonState == GLUT_DOWN, x, y));
}

void onMotion(int x, int y) {
    apply(zelview::mouseMotion(&viewer.state, x, y));
}

void onIdle() {
    viewer.state.yaw = std::fmod(viewer.state.yaw + viewer.spin, 360.0f);
    glutPostRedisplay();
}

}  // namespace

int main(int argc, char** argv) {
    zelview::Options options;
    std::string error;
    switch (zelview::parseArgs(argc, argv, &options, &error)) {
        case zelview::ArgsOutcome::Help:
            std::fputs(zelview::kUsage, stdout);
            return 0;
        case zelview::ArgsOutcome::UsageError:
            std::fprintf(stderr, "zelview: %s\n\n%s", error.c_str(), zelview::kUsage);
            return 2;
        case zelview::ArgsOutcome::Run:
            break;
    }

    // A failure is the line zelReadOBJ would print; the load's warnings (materials not found, a
    // library that cannot be read, keywords skipped) go to standard output as zelReadOBJ's do.
    viewer.path = options.modelPath;
    ZelLoadOptions load = {};
    load.flags = options.documented ? 0 : zelview::kLoadFlags;
    ZelError failure;
    viewer.model = zelLoadOBJ(options.modelPath.c_str(), &load, &failure);
    if (!viewer.model) {
        std::fprintf(stderr, "%s\n", failure.message);
        return 1;
    }
    zelview::Image given;
    if (!options.texturePath.empty()) {
        int width = 0;
        int height = 0;
        unsigned char* pixels = zelLoadPPM(options.texturePath.c_str(), &width, &height);
        if (!pixels) {
            zelFreeModel(viewer.model);
            return 1;
        }
        given = zelview::textureImage(pixels, width, height);
        std::free(pixels);
    }
    viewer.info = zelview::prepareModel(viewer.model);
    const zelview::TextureSet textures =
        zelview::chooseTextures(*viewer.model, options.texturePath.empty() ? nullptr : &given);
    std::fputs(textures.warnings.c_str(), stderr);
    viewer.state = zelview::initialState(viewer.info, textures.mapsRead > 0);

    // GLUT gets the program name alone: the command line is ours.
    char name[] = "zelview";
    char* glutArgv[] = {name, nullptr};
    int glutArgc = 1;
    glutInit(&glutArgc, glutArgv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(800, 700);
    glutCreateWindow(zelview::windowTitle(viewer.state, viewer.path).c_str());
    zelview::initRenderer(&viewer.renderer, textures);

    glutDisplayFunc(onDisplay);
    glutReshapeFunc(zelview::reshapeView);
    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    if (const char* spin = std::getenv("ZELVIEW_SPIN")) {
        viewer.spin = std::strtof(spin, nullptr);
        glutIdleFunc(onIdle);
    }
    std::fputs(zelview::kHelp, stdout);
    std::fflush(stdout);
    glutMainLoop();
    return 0;
}
