// The checks a drawing mode goes through before anything is drawn or built from it, shared by
// zelDraw, zelMakeMesh and zelDrawMesh. No OpenGL here: the mesh code uses it too.
#pragma once

#include <cstdint>

#include "zel.h"

namespace zel {

// What the thing to be drawn holds.
struct DrawData {
    bool facetnorms;  // facet normals (ZEL_FLAT)
    bool normals;     // vertex normals (ZEL_SMOOTH)
    bool texcoords;   // texture coordinates (ZEL_TEXTURE)
    bool materials;   // materials (ZEL_COLOR, ZEL_MATERIAL)
};

// What a model holds.
inline DrawData drawData(const ZelModel* model) {
    return {model->facetnorms != nullptr, model->normals != nullptr, model->texcoords != nullptr,
            model->materials != nullptr};
}

// Clears the flags of `mode` that `data` cannot honour, or that exclude each other, printing one
// line "<operation>() warning: ..." on standard output for each. The checks run in a fixed order,
// each against the mode left by the ones before it; other bits pass through.
uint32_t reconcileDrawMode(const char* operation, const DrawData& data, uint32_t mode);

}  // namespace zel
