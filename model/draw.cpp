// Drawing a model with OpenGL 1.1 in immediate mode, and recording such a drawing into a display
// list. This is the only file of the library that needs OpenGL.
#include <GL/gl.h>

#include "draw_mode.h"
#include "zel_internal.h"

void zelDraw(ZelModel* model, uint32_t mode) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);

    mode = zel::reconcileDrawMode("zelDraw", zel::drawData(model), mode);
    const bool flat = mode & ZEL_FLAT;
    const bool smooth = mode & ZEL_SMOOTH;
    const bool texture = mode & ZEL_TEXTURE;
    const bool color = mode & ZEL_COLOR;
    const bool material = mode & ZEL_MATERIAL;
    const bool wireframe = mode & ZEL_WIREFRAME;

    if (color)
        glEnable(GL_COLOR_MATERIAL);
    else if (material)
        glDisable(GL_COLOR_MATERIAL);

    const float* vertices = model->vertices;
    const float* normals = model->normals;
    const float* texcoords = model->texcoords;
    const float* facetnorms = model->facetnorms;

    for (const ZelGroup* group = model->groups; group; group = group->next) {
        if (material) {
            const ZelMaterial& m = model->materials[group->material];
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess);
        }
        if (color) glColor3fv(model->materials[group->material].diffuse);

        if (!wireframe) glBegin(GL_TRIANGLES);
        for (uint32_t i = 0; i < group->trianglecount; i++) {
            const ZelTriangle& tri = model->triangles[group->triangleidx[i]];
            if (wireframe) glBegin(GL_LINE_LOOP);
            if (flat) glNormal3fv(&facetnorms[3 * size_t{tri.facetidx}]);
            for (int corner = 0; corner < 3; corner++) {
                if (smooth) glNormal3fv(&normals[3 * size_t{tri.normalidx[corner]}]);
                if (texture) glTexCoord2fv(&texcoords[2 * size_t{tri.texcoordidx[corner]}]);
                glVertex3fv(&vertices[3 * size_t{tri.vertexidx[corner]}]);
            }
            if (wireframe) glEnd();
        }
        if (!wireframe) glEnd();
    }
}

unsigned int zelMakeList(ZelModel* model, uint32_t mode) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    zelDraw(model, mode);
    glEndList();
    return list;
}
