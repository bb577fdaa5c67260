#include "render.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace zelview {

void initRenderer(Renderer* renderer, const TextureSet& set) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);

    // One white light from above, right and in front of the eye (set in eye coordinates, so it
    // turns with the eye, not the model). Models are not always wound consistently: both sides lit.
    const GLfloat ambient[4] = {0.15f, 0.15f, 0.15f, 1.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glEnable(GL_LIGHT0);
    // Colour tracking (ZEL_COLOR, the plain grey and vertex colours) sets ambient and diffuse
    // together.
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);

    // One texture object per image; nearest texels, so that an image's colours come out as they
    // are (lighting aside).
    std::vector<GLuint> objects(set.textures.size());
    if (!objects.empty()) glGenTextures(GLsizei(objects.size()), objects.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (size_t i = 0; i < objects.size(); i++) {
        const Texture& texture = set.textures[i];
        const GLint wrap = texture.clamp ? GL_CLAMP : GL_REPEAT;
        const GLenum format = texture.image.channels == 4 ? GL_RGBA : GL_RGB;
        glBindTexture(GL_TEXTURE_2D, objects[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), texture.image.width, texture.image.height, 0,
                     format, GL_UNSIGNED_BYTE, texture.image.pixels.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    renderer->textures.clear();
    for (int t : set.textureOf) renderer->textures.push_back(t < 0 ? 0 : objects[size_t(t)]);
    // The texture modulates the lit colour. Texels whose alpha is below one half are cut out (a
    // leaf's outline, a fence's gaps); alpha tests need no drawing order, as blending would.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glAlphaFunc(GL_GEQUAL, 0.5f);
    glEnable(GL_ALPHA_TEST);
}

void reshapeView(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, double(width) / (height > 0 ? height : 1), 0.05, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

void drawFrame(Renderer* renderer, ZelModel* model, const ViewState& state) {
    const uint32_t mode = drawMode(state);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat lightDirection[4] = {1.0f, 1.0f, 2.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, lightDirection);
    glTranslatef(0.0f, 0.0f, -state.distance);
    glRotatef(state.pitch, 1.0f, 0.0f, 0.0f);
    glRotatef(state.yaw, 0.0f, 1.0f, 0.0f);

    if (state.outline) {
        glDisable(GL_LIGHTING);
    } else {
        glEnable(GL_LIGHTING);
    }
    if (state.texture) {
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    // What the drawing does not set itself: a light grey for outlines and the plain colouring, and,
    // unless materials are drawn, no highlight or glow left over from the last material.
    glColor3f(0.8f, 0.8f, 0.8f);
    if (state.colouring != Colouring::Material) {
        const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
    }
    if (state.colouring == Colouring::Plain || state.colouring == Colouring::VertexColor)
        glEnable(GL_COLOR_MATERIAL);

    switch (state.path) {
        case DrawPath::List:
            if (renderer->list == 0 || renderer->listStale || renderer->listMode != mode) {
                if (renderer->list != 0) glDeleteLists(renderer->list, 1);
                renderer->list = zelMakeListTextured(model, mode, renderer->textures.data());
                renderer->listMode = mode;
                renderer->listStale = false;
            }
            glCallList(renderer->list);
            break;
        case DrawPath::Mesh:
            if (renderer->meshStale || renderer->meshMode != meshMode(mode)) {
                zelFreeMesh(renderer->mesh);
                renderer->meshMode = meshMode(mode);
                renderer->mesh = zelMakeMesh(model, renderer->meshMode);
                renderer->meshStale = false;
            }
            // A model too large for a mesh (zelMakeMesh said why, once) is drawn in immediate
            // mode instead, until the mesh is made again.
            if (renderer->mesh) {
                zelDrawMeshTextured(renderer->mesh, mode, renderer->textures.data());
            } else {
                zelDrawTextured(model, mode, renderer->textures.data());
            }
            break;
        case DrawPath::Immediate:
            zelDrawTextured(model, mode, renderer->textures.data());
            break;
    }
}

}  // namespace zelview
