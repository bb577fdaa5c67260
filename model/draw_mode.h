// The checks a mode goes through before anything is drawn, built or written from it, shared by
// zelDraw, zelMakeMesh, zelDrawMesh and the writer. No OpenGL here: the mesh code and the writer
// use it too.
#pragma once

#include <cstdint>

#include "zel.h"

namespace zel {

// What the thing to be drawn or written holds.
struct DrawData {
    bool facetnorms;  // facet normals (ZEL_FLAT)
    bool normals;     // vertex normals (ZEL_SMOOTH)
    bool texcoords;   // texture coordinates (ZEL_TEXTURE)
    bool materials;   // materials (ZEL_COLOR, ZEL_MATERIAL)
    bool colors;      // vertex colours (ZEL_VERTEXCOLOR)
};

// What a model holds.
inline DrawData drawData(const ZelModel* model) {
    return {model->facetnorms != nullptr, model->normals != nullptr, model->texcoords != nullptr,
            model->materials != nullptr, model->colors != nullptr};
}

// What the mode is for: the warnings speak of rendering or of output.
enum class ModeUse { Draw, Write };

// Clears the flags of `mode` that `data` cannot honour, or that exclude each other, printing one
// line "<operation>() warning: ..." on standard output for each. The checks run in a fixed order,
// each against the mode left by the ones before it; other bits pass through.
uint32_t reconcileMode(const char* operation, ModeUse use, const DrawData& data, uint32_t mode);

}  // namespace zel
