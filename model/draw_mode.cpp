// The mode checks (see draw_mode.h).
#include "draw_mode.h"

#include <cstdio>

#include "zel.h"

namespace zel {

uint32_t reconcileMode(const char* operation, ModeUse use, const DrawData& data, uint32_t mode) {
    // Each check: the flag it clears, when, and its text for drawing and for writing.
    struct Check {
        uint32_t clear;
        bool fires;
        const char* draw;
        const char* write;
    };
    auto warn = [&](const Check& check) {
        if (!check.fires) return;
        std::printf("%s() warning: %s\n", operation, use == ModeUse::Draw ? check.draw : check.write);
        mode &= ~check.clear;
    };
    warn({ZEL_FLAT, (mode & ZEL_FLAT) && !data.facetnorms,
          "flat render mode requested with no facet normals defined.",
          "flat normal output requested with no facet normals defined."});
    warn({ZEL_SMOOTH, (mode & ZEL_SMOOTH) && !data.normals,
          "smooth render mode requested with no normals defined.",
          "smooth normal output requested with no normals defined."});
    warn({ZEL_TEXTURE, (mode & ZEL_TEXTURE) && !data.texcoords,
          "texture render mode requested with no texture coordinates defined.",
          "texture coordinate output requested with no texture coordinates defined."});
    warn({ZEL_FLAT, (mode & ZEL_FLAT) && (mode & ZEL_SMOOTH),
          "flat render mode requested and smooth render mode requested (using smooth).",
          "flat normal output requested and smooth normal output requested (using smooth)."});
    warn({ZEL_COLOR, (mode & ZEL_COLOR) && !data.materials,
          "color render mode requested with no materials defined.",
          "color output requested with no colors (materials) defined."});
    warn({ZEL_MATERIAL, (mode & ZEL_MATERIAL) && !data.materials,
          "material render mode requested with no materials defined.",
          "material output requested with no materials defined."});
    warn({ZEL_COLOR, (mode & ZEL_COLOR) && (mode & ZEL_MATERIAL),
          "color and material render mode requested using only material mode.",
          "color and material output requested outputting only materials."});
    warn({ZEL_VERTEXCOLOR, (mode & ZEL_VERTEXCOLOR) && !data.colors,
          "vertex color render mode requested with no vertex colors defined.",
          "vertex color output requested with no vertex colors defined."});
    return mode;
}

}  // namespace zel
