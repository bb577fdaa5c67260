// Measuring a model and changing its positions as a whole: extents, unit-cube fit, scale, translate
// and winding reversal.
//
// The size of an axis is |max| + |min| of its coordinates, not max - min: the two agree only when
// the axis spans the origin. The fit divides by the largest such size.
#include <cmath>

#include "polygon.h"
#include "zel_internal.h"

float zel::absf(float value) {
    return value < 0.0f ? -value : value;
}

float zel::maxf(float a, float b) {
    return b > a ? b : a;
}

namespace {

struct Bounds {
    float maxx, minx, maxy, miny, maxz, minz;
};

// Seeds from vertex 1 and visits every vertex, vertex 1 included. Needs vertexcount >= 1.
Bounds scanBounds(const ZelModel* model) {
    const float* v = model->vertices;
    Bounds b;
    b.maxx = b.minx = v[3];
    b.maxy = b.miny = v[4];
    b.maxz = b.minz = v[5];
    for (uint32_t i = 1; i <= model->vertexcount; i++) {
        const float x = v[3 * i], y = v[3 * i + 1], z = v[3 * i + 2];
        if (b.maxx < x) b.maxx = x;
        if (b.minx > x) b.minx = x;
        if (b.maxy < y) b.maxy = y;
        if (b.miny > y) b.miny = y;
        if (b.maxz < z) b.maxz = z;
        if (b.minz > z) b.minz = z;
    }
    return b;
}

}  // namespace

void zelExtents(ZelModel* model, float* dimensions) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);
    ZEL_REQUIRE(dimensions);

    if (model->vertexcount == 0) {
        dimensions[0] = dimensions[1] = dimensions[2] = 0.0f;
        return;
    }
    const Bounds b = scanBounds(model);
    dimensions[0] = zel::absf(b.maxx) + zel::absf(b.minx);
    dimensions[1] = zel::absf(b.maxy) + zel::absf(b.miny);
    dimensions[2] = zel::absf(b.maxz) + zel::absf(b.minz);
}

float zelFitToUnitCube(ZelModel* model) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);

    if (model->vertexcount == 0) return 1.0f;

    const Bounds b = scanBounds(model);
    const float w = zel::absf(b.maxx) + zel::absf(b.minx);
    const float h = zel::absf(b.maxy) + zel::absf(b.miny);
    const float d = zel::absf(b.maxz) + zel::absf(b.minz);

    float cx = (b.maxx + b.minx) / 2.0;
    float cy = (b.maxy + b.miny) / 2.0;
    float cz = (b.maxz + b.minz) / 2.0;

    const float largest = zel::maxf(zel::maxf(w, h), d);
    float scale = 2.0 / largest;

    // A flat point, an infinite or NaN coordinate, or a size so small that 2 / size overflows would
    // write infinities or NaNs into every vertex. Such a model is only centred (along the axes
    // whose centre is finite) and reported as unscaled.
    const bool scalable = std::isfinite(largest) && largest != 0.0f && std::isfinite(scale);
    if (!scalable) scale = 1.0f;
    if (!std::isfinite(cx)) cx = 0.0f;
    if (!std::isfinite(cy)) cy = 0.0f;
    if (!std::isfinite(cz)) cz = 0.0f;

    float* v = model->vertices;
    for (uint32_t i = 1; i <= model->vertexcount; i++) {
        v[3 * i] -= cx;
        v[3 * i + 1] -= cy;
        v[3 * i + 2] -= cz;
        if (scalable) {
            v[3 * i] *= scale;
            v[3 * i + 1] *= scale;
            v[3 * i + 2] *= scale;
        }
    }
    return scale;
}

void zelScaleModel(ZelModel* model, float scale) {
    float* v = model->vertices;
    for (uint32_t i = 1; i <= model->vertexcount; i++) {
        v[3 * i] *= scale;
        v[3 * i + 1] *= scale;
        v[3 * i + 2] *= scale;
    }
}

void zelTranslateModel(ZelModel* model, const float* offset) {
    float* v = model->vertices;
    for (uint32_t i = 1; i <= model->vertexcount; i++) {
        v[3 * i] += offset[0];
        v[3 * i + 1] += offset[1];
        v[3 * i + 2] += offset[2];
    }
}

void zelFlipWinding(ZelModel* model) {
    ZEL_REQUIRE(model);

    for (uint32_t t = 0; t < model->trianglecount; t++) {
        ZelTriangle& tri = model->triangles[t];
        uint32_t swap = tri.vertexidx[0];
        tri.vertexidx[0] = tri.vertexidx[2];
        tri.vertexidx[2] = swap;
        if (model->normalcount != 0) {
            swap = tri.normalidx[0];
            tri.normalidx[0] = tri.normalidx[2];
            tri.normalidx[2] = swap;
        }
        if (model->texcoordcount != 0) {
            swap = tri.texcoordidx[0];
            tri.texcoordidx[0] = tri.texcoordidx[2];
            tri.texcoordidx[2] = swap;
        }
    }
    zel::reversePolygons(model);
    for (uint32_t i = 1; i <= model->facetnormcount; i++) {
        model->facetnorms[3 * i] = -model->facetnorms[3 * i];
        model->facetnorms[3 * i + 1] = -model->facetnorms[3 * i + 1];
        model->facetnorms[3 * i + 2] = -model->facetnorms[3 * i + 2];
    }
    for (uint32_t i = 1; i <= model->normalcount; i++) {
        model->normals[3 * i] = -model->normals[3 * i];
        model->normals[3 * i + 1] = -model->normals[3 * i + 1];
        model->normals[3 * i + 2] = -model->normals[3 * i + 2];
    }
}
