/* consumer_c: reads an OBJ file with the zel library and prints what it holds.
 *
 *     consumer_c [FILE.obj]
 *
 * Without an argument it writes a small model (a square and a triangle, with two materials) to
 * consumer_c.obj and consumer_c.mtl in the current directory and reads that. */
#include <stdio.h>
#include <zel.h>

static const char* write_sample(void) {
    FILE* obj = fopen("consumer_c.obj", "w");
    FILE* mtl = fopen("consumer_c.mtl", "w");
    if (!obj || !mtl) {
        perror("consumer_c");
        return NULL;
    }
    fputs("newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n", mtl);
    fputs(
        "mtllib consumer_c.mtl\n"
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\n"
        "g square\nusemtl red\nf 1 2 3 4\n"
        "g side\nusemtl blue\nf 1 2 5\n",
        obj);
    fclose(mtl);
    fclose(obj);
    return "consumer_c.obj";
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : write_sample();
    if (!path) return 1;

    ZelModel* model = zelReadOBJ(path); /* prints a line and exits with status 1 if unreadable */
    printf(
        "%s: %u vertices, %u normals, %u texture coordinates, %u triangles, %u groups, "
        "%u materials\n",
        path, model->vertexcount, model->normalcount, model->texcoordcount, model->trianglecount,
        model->groupcount, model->materialcount);

    float size[3];
    zelExtents(model, size);
    printf("size %g x %g x %g, fitted with factor %g\n", size[0], size[1], size[2],
           zelFitToUnitCube(model));
    zelFreeModel(model);
    return 0;
}
