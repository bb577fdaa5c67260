// Texture coordinate generation: a planar mapping of the positions onto the x-z plane and a
// spherical mapping of the vertex normals. Either one replaces the model's texture coordinates and
// points every corner of every grouped triangle at its new coordinate.
#include <cmath>
#include <cstdlib>

#include "polygon.h"
#include "zel_internal.h"

namespace {

// The model's new texture-coordinate array, for `operation`.
float* newTexcoords(const char* operation, ZelModel* model, uint32_t count) {
    float* texcoords = zel::exitOnOutOfMemory(operation, [&] {
        return static_cast<float*>(
            zel::allocate((static_cast<size_t>(count) + 1) * 2 * sizeof(float)));
    });
    std::free(model->texcoords);
    model->texcoordcount = count;
    texcoords[0] = texcoords[1] = 0.0f;
    model->texcoords = texcoords;
    return texcoords;
}

// Sets texcoordidx = vertexidx (or normalidx) for every triangle reached through the groups. A
// group entry beyond the triangle array (only possible in a model built by hand) is skipped.
// Recorded polygons take their triangles' new indices; a line's corners, which have no normals,
// point at their vertex's coordinate, or at none (0) when the coordinates follow the normals.
void pointCornersAt(ZelModel* model, bool atNormals) {
    for (ZelGroup* group = model->groups; group; group = group->next) {
        if (group->linecount)
            for (uint32_t i = 0; i < group->linestart[group->linecount]; i++) {
                ZelCorner& corner = group->linecorners[i];
                corner.texcoordidx = atNormals ? 0 : corner.vertexidx;
            }
        if (!group->triangleidx) continue;
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const uint32_t t = group->triangleidx[e];
            if (t >= model->trianglecount) continue;
            ZelTriangle& tri = model->triangles[t];
            const uint32_t* from = atNormals ? tri.normalidx : tri.vertexidx;
            tri.texcoordidx[0] = from[0];
            tri.texcoordidx[1] = from[1];
            tri.texcoordidx[2] = from[2];
        }
    }
    zel::refreshPolygonCorners(model);
}

}  // namespace

void zelPlanarTexCoords(ZelModel* model) {
    ZEL_REQUIRE(model);

    float* texcoords = newTexcoords("zelPlanarTexCoords", model, model->vertexcount);

    float dimensions[3];
    zelExtents(model, dimensions);
    float s = 2.0 / zel::absf(zel::maxf(zel::maxf(dimensions[0], dimensions[1]), dimensions[2]));
    // A model whose sizes are all 0 (a single point) would give s = 2 / 0 and NaN coordinates; so
    // would a size too small for 2 / size to fit a float. Then the positions are taken as they
    // are: the point at the origin maps to (0.5, 0.5).
    if (!std::isfinite(s)) s = 1.0f;

    const float* vertices = model->vertices;
    for (size_t i = 1; i <= model->vertexcount; i++) {
        const float x = s * vertices[3 * i];
        const float z = s * vertices[3 * i + 2];
        texcoords[2 * i] = (x + 1.0) / 2.0;
        texcoords[2 * i + 1] = (z + 1.0) / 2.0;
    }

    pointCornersAt(model, false);
}

void zelSphereTexCoords(ZelModel* model) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->normals);

    float* texcoords = newTexcoords("zelSphereTexCoords", model, model->normalcount);

    const float* normals = model->normals;
    for (size_t i = 1; i <= model->normalcount; i++) {
        const double x = normals[3 * i];
        const double y = normals[3 * i + 1];
        const double z = normals[3 * i + 2];
        const float r = std::sqrt(z * z + y * y);
        const float rho = std::sqrt(static_cast<double>(r) * r + x * x);

        float theta, phi;
        if (r == 0.0) {
            theta = 0.0f;
            phi = 0.0f;
        } else {
            // The constants are the historical ones: 1.5707961 for y = 0 is not the 1.5707964 the
            // general formula gives there, and 1.570796325 and 3.14159265 are short of pi/2 and pi.
            phi = x == 0.0 ? 1.5707964f : static_cast<float>(std::acos(x / rho));
            theta = y == 0.0 ? 1.5707961f : static_cast<float>(std::asin(y / r) + 1.570796325);
        }
        texcoords[2 * i] = theta / 3.14159265;
        texcoords[2 * i + 1] = phi / 3.14159265;
    }

    pointCornersAt(model, true);
}
