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

namespace {

// glDrawElements counts in GLsizei: a range longer than that is drawn in pieces of whole
// triangles.
void drawTriangles(const uint32_t* indices, uint64_t count) {
    constexpr uint64_t kMostPerCall = uint64_t{INT32_MAX} / 3 * 3;
    while (count > 0) {
        const uint64_t piece = count < kMostPerCall ? count : kMostPerCall;
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(piece), GL_UNSIGNED_INT, indices);
        indices += piece;
        count -= piece;
    }
}

}  // namespace

void zelDrawMesh(const ZelMesh* mesh, uint32_t mode) {
    ZEL_REQUIRE(mesh);
    for (uint32_t g = 0; g < mesh->groupcount; g++) {
        ZEL_REQUIRE(uint64_t{mesh->groups[g].first} + mesh->groups[g].count <= mesh->indexcount);
        ZEL_REQUIRE(!mesh->materials || mesh->groups[g].material < mesh->materialcount);
    }
    const zel::DrawData data{(mesh->mode & ZEL_FLAT) != 0, (mesh->mode & ZEL_SMOOTH) != 0,
                             (mesh->mode & ZEL_TEXTURE) != 0, mesh->materials != nullptr};
    mode = zel::reconcileDrawMode("zelDrawMesh", data, mode);
    const bool normals = mode & (ZEL_FLAT | ZEL_SMOOTH);
    const bool texture = mode & ZEL_TEXTURE;
    const bool color = mode & ZEL_COLOR;
    const bool material = mode & ZEL_MATERIAL;
    const bool wireframe = mode & ZEL_WIREFRAME;

    // The arrays are set up inside a saved client state, every other array switched off so that
    // none the caller left on is read with the mesh's indices.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const GLsizei stride = static_cast<GLsizei>(mesh->stride * sizeof(float));
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, mesh->vertices);
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, stride, mesh->vertices + 3);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (texture) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride,
                          mesh->vertices + ((mesh->mode & (ZEL_FLAT | ZEL_SMOOTH)) ? 6 : 3));
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);

    // Outlines: every edge of every triangle, as zelDraw's line loops draw them. Face culling and
    // the line offset would treat these lines as polygons, which line loops are not.
    if (wireframe) {
        glPushAttrib(GL_POLYGON_BIT);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glDisable(GL_CULL_FACE);
        glDisable(GL_POLYGON_OFFSET_LINE);
    }

    if (color)
        glEnable(GL_COLOR_MATERIAL);
    else if (material)
        glDisable(GL_COLOR_MATERIAL);
    if (color || material) {
        for (uint32_t g = 0; g < mesh->groupcount; g++) {
            const ZelMeshGroup& group = mesh->groups[g];
            const ZelMaterial& m = mesh->materials[group.material];
            if (material) {
                glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient);
                glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse);
                glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular);
                glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess);
            }
            if (color) glColor3fv(m.diffuse);
            drawTriangles(mesh->indices + group.first, group.count);
        }
    } else {
        // One colour for all: the groups' ranges follow each other, so one call draws them all.
        drawTriangles(mesh->indices, mesh->indexcount);
    }

    if (wireframe) glPopAttrib();
    glPopClientAttrib();
}
