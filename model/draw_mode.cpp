// The drawing mode checks (see draw_mode.h).
#include "draw_mode.h"

#include <cstdio>

#include "zel.h"

namespace zel {

uint32_t reconcileDrawMode(const char* operation, const DrawData& data, uint32_t mode) {
    auto warn = [&](uint32_t clear, const char* text) {
        std::printf("%s() warning: %s\n", operation, text);
        mode &= ~clear;
    };
    if ((mode & ZEL_FLAT) && !data.facetnorms)
        warn(ZEL_FLAT, "flat render mode requested with no facet normals defined.");
    if ((mode & ZEL_SMOOTH) && !data.normals)
        warn(ZEL_SMOOTH, "smooth render mode requested with no normals defined.");
    if ((mode & ZEL_TEXTURE) && !data.texcoords)
        warn(ZEL_TEXTURE, "texture render mode requested with no texture coordinates defined.");
    if ((mode & ZEL_FLAT) && (mode & ZEL_SMOOTH))
        warn(ZEL_FLAT,
             "flat render mode requested and smooth render mode requested (using smooth).");
    if ((mode & ZEL_COLOR) && !data.materials)
        warn(ZEL_COLOR, "color render mode requested with no materials defined.");
    if ((mode & ZEL_MATERIAL) && !data.materials)
        warn(ZEL_MATERIAL, "material render mode requested with no materials defined.");
    if ((mode & ZEL_COLOR) && (mode & ZEL_MATERIAL))
        warn(ZEL_COLOR, "color and material render mode requested using only material mode.");
    return mode;
}

}  // namespace zel
