/* embed: the zel library inside a program that must not end on a bad file, holds its files in
 * memory, and draws with vertex arrays.
 *
 *     embed FILE.obj...             loads every file, reports the ones that fail and goes on,
 *                                   and prints the mesh made of each model that loaded
 *     embed --show N FILE.obj...    then shows the last mesh turning in a window for N frames
 *                                   (0: until the window is closed)
 *
 * Build: cc embed.c $(pkg-config --cflags --libs zel glut), or with CMake, link zel::zel and
 * GLUT::GLUT (examples/consumer-cpp/CMakeLists.txt does). */
#include <GL/glut.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zel.h>

/* A whole file in memory, as an archive or a network buffer would hand it over; NULL if it
 * cannot be read. */
static char* readAll(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    char* data = NULL;
    if (file && fseek(file, 0, SEEK_END) == 0) {
        long length = ftell(file);
        if (length >= 0 && fseek(file, 0, SEEK_SET) == 0 &&
            (data = malloc((size_t)length + 1)) != NULL)
            *size = fread(data, 1, (size_t)length, file);
    }
    if (file) fclose(file);
    return data;
}

/* Material libraries come from the same place as the models (here the disk, through memory). The
 * bytes must stay valid until the next call, so the last library is kept. */
static char* library;
static int supplyLibrary(void* user, const char* path, const char** data, size_t* size) {
    (void)user;
    free(library);
    library = readAll(path, size);
    *data = library;
    return library != NULL;
}

/* Material names the library does not define: reported with the file they come from. */
static void warn(void* user, const char* message) {
    fprintf(stderr, "%s: %s\n", (const char*)user, message);
}

static ZelMesh* shown;
static int frames, frame;
static float angle;

static void display(void) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0.0, 0.5, 3.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);
    /* Vertex arrays and glDrawElements, one range a group, with its material when it has one. */
    zelDrawMesh(shown, shown->mode | (shown->materials ? ZEL_MATERIAL : ZEL_NONE));
    glutSwapBuffers();
    if (frames > 0 && ++frame >= frames) {
        zelFreeMesh(shown);
        exit(0);
    }
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
    int first = 1, show = 0;
    if (argc > 2 && strcmp(argv[1], "--show") == 0) {
        show = 1;
        frames = atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        fprintf(stderr, "usage: embed [--show FRAMES] FILE.obj...\n");
        return 2;
    }

    for (int i = first; i < argc; i++) {
        const char* path = argv[i];
        size_t size = 0;
        char* data = readAll(path, &size);
        if (!data) {
            printf("%s: cannot be read\n", path);
            continue;
        }

        /* 1. Load from memory. A bad file is an error to report, not the end of the program. */
        ZelLoadOptions options = {0};
        options.library = supplyLibrary;
        options.warning = warn;
        options.user = (void*)path;
        ZelError error;
        ZelModel* model = zelLoadOBJMemory(path, data, size, &options, &error);
        free(data);
        if (!model) {
            printf("%s: skipped: %s (line %u)\n", path, error.message, (unsigned)error.line);
            continue;
        }

        /* 2. Prepare it, and make the mesh: one vertex per distinct corner, 32-bit indices in
         *    vertex cache order. The mesh keeps its own copies, so the model can go. */
        zelFitToUnitCube(model);
        if (!model->normals) {
            zelComputeFacetNormals(model);
            zelVertexNormals(model, 90.0f);
        }
        ZelMesh* mesh = zelMakeMesh(model, ZEL_SMOOTH);
        zelFreeModel(model);
        printf("%s: %u vertices of %u floats, %u triangles, %u groups\n", path, mesh->vertexcount,
               mesh->stride, mesh->indexcount / 3, mesh->groupcount);
        zelFreeMesh(shown);
        shown = mesh;
    }
    free(library);
    if (!show || !shown) {
        zelFreeMesh(shown);
        return 0;
    }

    /* 3. Draw the last mesh, lit, turning. */
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutCreateWindow("embed");
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL); /* without materials, the current colour lights the mesh */
    glColor3f(0.8f, 0.8f, 0.8f);
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    glutMainLoop();
    return 0;
}
