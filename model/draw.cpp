// Drawing a model with OpenGL 1.1 in immediate mode, recording such a drawing into a display list,
// and drawing a mesh from vertex arrays. This is the only file of the library that needs OpenGL.
#include <GL/gl.h>

#include "zel_internal.h"

namespace {

// The material a group's texture is chosen by: its own, or 0 for every group of a model without
// materials.
uint32_t textureOf(uint32_t material, bool materials) {
    return materials ? material : 0;
}

// Sets a group's material for both faces: ambient, diffuse, specular and shininess, and with
// `blend` its emission and its dissolve as the diffuse alpha.
void setMaterial(const ZelMaterial& m, bool blend) {
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m.ambient);
    if (blend) {
        const GLfloat diffuse[4] = {m.diffuse[0], m.diffuse[1], m.diffuse[2], m.dissolve};
        const GLfloat emission[4] = {m.emission[0], m.emission[1], m.emission[2], 1.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    } else {
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m.diffuse);
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.shininess);
}

// The passes of a drawing over the groups. Under ZEL_BLEND the opaque groups are drawn first, then
// the translucent ones (dissolve below 1) blended over them without writing depth, so that what
// lies behind them shows through; the blending and depth state are restored after. Otherwise one
// pass draws every group.
class Passes {
public:
    Passes(bool blend, bool anyTranslucent)
        : blend_(blend), count_(blend && anyTranslucent ? 2 : 1) {}
    int count() const { return count_; }
    bool draws(int pass, bool translucent) const { return !blend_ || translucent == (pass == 1); }
    void begin(int pass) const {
        if (pass != 1) return;
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
    }
    void end(int pass) const {
        if (pass == 1) glPopAttrib();
    }

private:
    const bool blend_;
    const int count_;
};

bool translucent(const ZelMaterial& material) {
    return material.dissolve < 1.0f;
}

// A group's lines, each a line strip, then its points, with the attributes they have: texture
// coordinates (lines only) and vertex colours, no normals.
void drawShapes(const ZelModel* model, const ZelGroup* group, bool texture, bool vertexColor) {
    auto corner = [&](uint32_t v, const uint32_t* t) {
        if (texture && t) glTexCoord2fv(&model->texcoords[2 * size_t{*t}]);
        if (vertexColor) glColor3fv(&model->colors[3 * size_t{v}]);
        glVertex3fv(&model->vertices[3 * size_t{v}]);
    };
    for (uint32_t k = 0; k < group->linecount; k++) {
        glBegin(GL_LINE_STRIP);
        for (uint32_t i = group->linestart[k]; i < group->linestart[k + 1]; i++)
            corner(group->linecorners[i].vertexidx, &group->linecorners[i].texcoordidx);
        glEnd();
    }
    if (group->pointcount == 0) return;
    glBegin(GL_POINTS);
    for (uint32_t i = 0; i < group->pointcount; i++) corner(group->pointidx[i], nullptr);
    glEnd();
}

// zelDraw and zelDrawTextured: `textures` null draws without binding any.
void drawModel(const char* operation, ZelModel* model, uint32_t mode,
               const unsigned int* textures) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);

    mode = zelCheckMode(mode, zelModelHolds(model), ZEL_USE_DRAW, operation, nullptr, nullptr);
    const bool flat = mode & ZEL_FLAT;
    const bool smooth = mode & ZEL_SMOOTH;
    const bool texture = mode & ZEL_TEXTURE;
    const bool color = mode & ZEL_COLOR;
    const bool material = mode & ZEL_MATERIAL;
    const bool wireframe = mode & ZEL_WIREFRAME;
    const bool vertexColor = mode & ZEL_VERTEXCOLOR;
    const bool bind = texture && textures;
    const bool blend = material && (mode & ZEL_BLEND);

    if (color)
        glEnable(GL_COLOR_MATERIAL);
    else if (material)
        glDisable(GL_COLOR_MATERIAL);

    bool anyTranslucent = false;
    for (const ZelGroup* group = model->groups; blend && group; group = group->next)
        anyTranslucent |= translucent(model->materials[group->material]);
    const Passes passes(blend, anyTranslucent);
    const float* vertices = model->vertices;
    const float* normals = model->normals;
    const float* texcoords = model->texcoords;
    const float* facetnorms = model->facetnorms;
    const float* colors = model->colors;

    for (int pass = 0; pass < passes.count(); pass++) {
        passes.begin(pass);
        for (const ZelGroup* group = model->groups; group; group = group->next) {
            if (material) {
                const ZelMaterial& m = model->materials[group->material];
                if (!passes.draws(pass, translucent(m))) continue;
                setMaterial(m, blend);
            }
            if (color) glColor3fv(model->materials[group->material].diffuse);
            if (bind) {
                ZEL_REQUIRE(!model->materials || group->material < model->materialcount);
                glBindTexture(GL_TEXTURE_2D,
                              textures[textureOf(group->material, model->materials != nullptr)]);
            }

            if (!wireframe) glBegin(GL_TRIANGLES);
            for (uint32_t i = 0; i < group->trianglecount; i++) {
                const ZelTriangle& tri = model->triangles[group->triangleidx[i]];
                if (wireframe) glBegin(GL_LINE_LOOP);
                if (flat) glNormal3fv(&facetnorms[3 * size_t{tri.facetidx}]);
                for (int corner = 0; corner < 3; corner++) {
                    if (smooth) glNormal3fv(&normals[3 * size_t{tri.normalidx[corner]}]);
                    if (texture) glTexCoord2fv(&texcoords[2 * size_t{tri.texcoordidx[corner]}]);
                    if (vertexColor) glColor3fv(&colors[3 * size_t{tri.vertexidx[corner]}]);
                    glVertex3fv(&vertices[3 * size_t{tri.vertexidx[corner]}]);
                }
                if (wireframe) glEnd();
            }
            if (!wireframe) glEnd();
            drawShapes(model, group, texture, vertexColor);
        }
        passes.end(pass);
    }
}

unsigned int makeList(const char* operation, ZelModel* model, uint32_t mode,
                      const unsigned int* textures) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    drawModel(operation, model, mode, textures);
    glEndList();
    return list;
}

}  // namespace

void zelDraw(ZelModel* model, uint32_t mode) {
    drawModel("zelDraw", model, mode, nullptr);
}

void zelDrawTextured(ZelModel* model, uint32_t mode, const unsigned int* textures) {
    drawModel("zelDrawTextured", model, mode, textures);
}

unsigned int zelMakeList(ZelModel* model, uint32_t mode) {
    return makeList("zelDraw", model, mode, nullptr);
}

unsigned int zelMakeListTextured(ZelModel* model, uint32_t mode, const unsigned int* textures) {
    return makeList("zelDrawTextured", model, mode, textures);
}

namespace {

// glDrawElements counts in GLsizei: a range longer than that is drawn in pieces of whole
// primitives of `size` indices.
void drawElements(GLenum primitive, uint32_t size, const uint32_t* indices, uint64_t count) {
    const uint64_t most = uint64_t{INT32_MAX} / size * size;
    while (count > 0) {
        const uint64_t piece = count < most ? count : most;
        glDrawElements(primitive, static_cast<GLsizei>(piece), GL_UNSIGNED_INT, indices);
        indices += piece;
        count -= piece;
    }
}

// A range of a mesh's triangles, lines and points, each kind drawn when it has entries.
void drawRanges(const ZelMesh* mesh, uint64_t first, uint64_t count, uint64_t lineFirst,
                uint64_t lineCount, uint64_t pointFirst, uint64_t pointCount) {
    drawElements(GL_TRIANGLES, 3, mesh->indices + first, count);
    if (lineCount) drawElements(GL_LINES, 2, mesh->lineindices + lineFirst, lineCount);
    if (pointCount) drawElements(GL_POINTS, 1, mesh->pointindices + pointFirst, pointCount);
}

// zelDrawMesh and zelDrawMeshTextured: `textures` null draws without binding any.
void drawMesh(const char* operation, const ZelMesh* mesh, uint32_t mode,
              const unsigned int* textures) {
    ZEL_REQUIRE(mesh);
    for (uint32_t g = 0; g < mesh->groupcount; g++) {
        ZEL_REQUIRE(uint64_t{mesh->groups[g].first} + mesh->groups[g].count <= mesh->indexcount);
        ZEL_REQUIRE(!mesh->materials || mesh->groups[g].material < mesh->materialcount);
        ZEL_REQUIRE(uint64_t{mesh->groups[g].linefirst} + mesh->groups[g].linecount <=
                    mesh->lineindexcount);
        ZEL_REQUIRE(uint64_t{mesh->groups[g].pointfirst} + mesh->groups[g].pointcount <=
                    mesh->pointindexcount);
    }
    mode = zelCheckMode(mode, zelMeshHolds(mesh), ZEL_USE_DRAW, operation, nullptr, nullptr);
    const bool normals = mode & (ZEL_FLAT | ZEL_SMOOTH);
    const bool texture = mode & ZEL_TEXTURE;
    const bool color = mode & ZEL_COLOR;
    const bool material = mode & ZEL_MATERIAL;
    const bool wireframe = mode & ZEL_WIREFRAME;
    const bool vertexColor = mode & ZEL_VERTEXCOLOR;
    const bool bind = texture && textures;

    ZEL_REQUIRE(!normals || (mesh->normaloffset && mesh->normaloffset + 3 <= mesh->stride));
    ZEL_REQUIRE(!texture || (mesh->texcoordoffset && mesh->texcoordoffset + 2 <= mesh->stride));
    ZEL_REQUIRE(!vertexColor || (mesh->coloroffset && mesh->coloroffset + 3 <= mesh->stride));

    // The arrays are set up inside a saved client state, every other array switched off so that
    // none the caller left on is read with the mesh's indices.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const GLsizei stride = static_cast<GLsizei>(mesh->stride * sizeof(float));
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, mesh->vertices);
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, stride, mesh->vertices + mesh->normaloffset);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (texture) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, mesh->vertices + mesh->texcoordoffset);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (vertexColor) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, stride, mesh->vertices + mesh->coloroffset);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
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
    if (color || material || bind) {
        const bool blend = material && (mode & ZEL_BLEND);
        bool anyTranslucent = false;
        for (uint32_t g = 0; blend && g < mesh->groupcount; g++)
            anyTranslucent |= translucent(mesh->materials[mesh->groups[g].material]);
        const Passes passes(blend, anyTranslucent);
        for (int pass = 0; pass < passes.count(); pass++) {
            passes.begin(pass);
            for (uint32_t g = 0; g < mesh->groupcount; g++) {
                const ZelMeshGroup& group = mesh->groups[g];
                if (material || color) {
                    const ZelMaterial& m = mesh->materials[group.material];
                    if (material) {
                        if (!passes.draws(pass, translucent(m))) continue;
                        setMaterial(m, blend);
                    }
                    if (color) glColor3fv(m.diffuse);
                }
                if (bind)
                    glBindTexture(GL_TEXTURE_2D,
                                  textures[textureOf(group.material, mesh->materials != nullptr)]);
                drawRanges(mesh, group.first, group.count, group.linefirst, group.linecount,
                           group.pointfirst, group.pointcount);
            }
            passes.end(pass);
        }
    } else {
        // One colour for all: the groups' ranges follow each other, so one call draws them all.
        drawRanges(mesh, 0, mesh->indexcount, 0, mesh->lineindexcount, 0, mesh->pointindexcount);
    }

    if (wireframe) glPopAttrib();
    glPopClientAttrib();
}

}  // namespace

void zelDrawMesh(const ZelMesh* mesh, uint32_t mode) {
    drawMesh("zelDrawMesh", mesh, mode, nullptr);
}

void zelDrawMeshTextured(const ZelMesh* mesh, uint32_t mode, const unsigned int* textures) {
    drawMesh("zelDrawMeshTextured", mesh, mode, textures);
}
