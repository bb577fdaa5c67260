// The checks a mode goes through before anything is drawn, built or written from it: zelDraw,
// zelMakeMesh, zelDrawMesh and the writer run them, and so may a caller that reports the warnings
// its own way. No OpenGL here.
#include <cstdio>
#include <string>

#include "polygon.h"
#include "zel_internal.h"

uint32_t zelModelHolds(const ZelModel* model) {
    ZEL_REQUIRE(model);
    return (model->facetnorms ? ZEL_FLAT : 0u) | (model->normals ? ZEL_SMOOTH : 0u) |
           (model->texcoords ? ZEL_TEXTURE : 0u) |
           (model->materials ? ZEL_COLOR | ZEL_MATERIAL : 0u) |
           (model->colors ? ZEL_VERTEXCOLOR : 0u) | (zel::holdsShapes(model) ? ZEL_POLYGONS : 0u) |
           ZEL_WIREFRAME;
}

uint32_t zelMeshHolds(const ZelMesh* mesh) {
    ZEL_REQUIRE(mesh);
    return (mesh->mode & (ZEL_FLAT | ZEL_SMOOTH | ZEL_TEXTURE | ZEL_VERTEXCOLOR)) |
           (mesh->materials ? ZEL_COLOR | ZEL_MATERIAL : 0u) | ZEL_WIREFRAME;
}

uint32_t zelCheckMode(uint32_t mode, uint32_t holds, uint32_t use, const char* operation,
                      ZelWarningFunc warning, void* user) {
    ZEL_REQUIRE(operation);
    // Each check: the flag it clears, when, and its text for drawing and for writing.
    struct Check {
        uint32_t clear;
        bool fires;
        const char* draw;
        const char* write;
    };
    auto warn = [&](const Check& check) {
        if (!check.fires) return;
        const char* text = use == ZEL_USE_WRITE ? check.write : check.draw;
        if (warning) {
            warning(user, (std::string(operation) + "() warning: " + text).c_str());
        } else {
            std::printf("%s() warning: %s\n", operation, text);
        }
        mode &= ~check.clear;
    };
    warn({ZEL_FLAT, (mode & ZEL_FLAT) && !(holds & ZEL_FLAT),
          "flat render mode requested with no facet normals defined.",
          "flat normal output requested with no facet normals defined."});
    warn({ZEL_SMOOTH, (mode & ZEL_SMOOTH) && !(holds & ZEL_SMOOTH),
          "smooth render mode requested with no normals defined.",
          "smooth normal output requested with no normals defined."});
    warn({ZEL_TEXTURE, (mode & ZEL_TEXTURE) && !(holds & ZEL_TEXTURE),
          "texture render mode requested with no texture coordinates defined.",
          "texture coordinate output requested with no texture coordinates defined."});
    warn({ZEL_FLAT, (mode & ZEL_FLAT) && (mode & ZEL_SMOOTH),
          "flat render mode requested and smooth render mode requested (using smooth).",
          "flat normal output requested and smooth normal output requested (using smooth)."});
    warn({ZEL_COLOR, (mode & ZEL_COLOR) && !(holds & ZEL_COLOR),
          "color render mode requested with no materials defined.",
          "color output requested with no colors (materials) defined."});
    warn({ZEL_MATERIAL, (mode & ZEL_MATERIAL) && !(holds & ZEL_MATERIAL),
          "material render mode requested with no materials defined.",
          "material output requested with no materials defined."});
    warn({ZEL_COLOR, (mode & ZEL_COLOR) && (mode & ZEL_MATERIAL),
          "color and material render mode requested using only material mode.",
          "color and material output requested outputting only materials."});
    warn({ZEL_VERTEXCOLOR, (mode & ZEL_VERTEXCOLOR) && !(holds & ZEL_VERTEXCOLOR),
          "vertex color render mode requested with no vertex colors defined.",
          "vertex color output requested with no vertex colors defined."});
    return mode;
}
