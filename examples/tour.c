/* tour: a complete program with the zel library, in C.
 *
 *     tour FILE.obj            shows the model lit and smooth in a window (close it to end)
 *     tour FILE.obj OUT.obj    writes the prepared model with its normals and texture coordinates
 *                              (and its materials, beside OUT.obj) instead of showing it
 *
 * Build: cc tour.c $(pkg-config --cflags --libs zel glut glu), or with CMake, link zel::zel,
 * GLUT::GLUT and OpenGL::GLU (examples/consumer-cpp/CMakeLists.txt does). */
#include <GL/glut.h>
#include <stdio.h>
#include <zel.h>

static ZelModel* model;
static GLuint list;
static float angle;

static void display(void) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0.0, 0.5, 3.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);
    glCallList(list); /* the model, as recorded by zelMakeList */
    glutSwapBuffers();
}

static void reshape(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, (double)width / (height > 0 ? height : 1), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

static void idle(void) {
    angle += 0.5f;
    glutPostRedisplay();
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: tour FILE.obj [OUT.obj]\n");
        return 2;
    }

    /* 1. Read: the model and the material library it names. An unreadable file ends the process
     *    with status 1 after one line on standard error. */
    model = zelReadOBJ(argv[1]);
    printf("%u vertices, %u triangles, %u groups, %u materials\n", model->vertexcount,
           model->trianglecount, model->groupcount, model->materialcount);

    /* 2. Prepare: centre it and scale it into the cube from -1 to 1, one normal per triangle,
     *    normals per corner smoothed across edges sharper than 90 degrees (unless the file had
     *    normals), and texture coordinates from x and z. */
    zelFitToUnitCube(model);
    zelComputeFacetNormals(model);
    if (!model->normals) zelVertexNormals(model, 90.0f);
    zelPlanarTexCoords(model);

    /* Ask only for what the model has: a flag it lacks prints a warning and is dropped. */
    unsigned int mode = ZEL_SMOOTH | (model->materials ? ZEL_MATERIAL : ZEL_NONE);

    /* 3a. Write it back out, with its normals, texture coordinates and materials. */
    if (argc == 3) {
        zelWriteOBJ(model, argv[2], mode | ZEL_TEXTURE);
        printf("wrote %s\n", argv[2]);
        zelFreeModel(model);
        return 0;
    }

    /* 3b. Or draw it: record it once into a display list, light it, turn it. */
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutCreateWindow("tour");
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glEnable(GL_COLOR_MATERIAL); /* without materials, the current colour lights the model */
    glColor3f(0.8f, 0.8f, 0.8f);
    list = zelMakeList(model, mode);
    zelFreeModel(model); /* the list keeps its own copy of the drawing */
    model = NULL;
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    glutMainLoop();
    return 0;
}
