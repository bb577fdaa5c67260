/* The public header compiles as C99 and the library links from C: read a small model back. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zel.h"

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "header_test: %s\n", what);
        failures++;
    }
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "header_test.obj";
    FILE* file = fopen(path, "w");
    if (!file) return 2;
    fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\ng square\nf 1 2 4 3\n", file);
    fclose(file);

    ZelModel* model = zelReadOBJ(path);
    check(model->vertexcount == 4, "four vertices");
    check(model->trianglecount == 2, "two triangles");
    check(model->groupcount == 2, "two groups");
    check(strcmp(model->groups->name, " square") == 0, "the group name keeps its blank");
    check(model->triangles[1].vertexidx[2] == 3, "fan triangulation");

    float size[3];
    zelExtents(model, size);
    check(size[0] == 1.0f && size[1] == 1.0f && size[2] == 0.0f, "extents");

    ZelMesh* mesh = zelMakeMesh(model, ZEL_NONE);
    check(mesh->vertexcount == 4 && mesh->indexcount == 6 && mesh->stride == 3, "mesh counts");
    check(mesh->groupcount == 2 && mesh->groups[0].count == 6, "mesh groups");
    zelFreeMesh(mesh);

    char* dir = zelDirName("data/f-16.obj");
    check(strcmp(dir, "data/") == 0, "directory part");
    free(dir);
    zelFreeModel(model);
    remove(path);
    return failures ? 1 : 0;
}
