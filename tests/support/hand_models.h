// Models built directly in memory for the geometry tests: arbitrary positions and triangles,
// including indices the reader would never produce. Free them with zelFreeModel.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zel.h"

namespace zeltest {

struct Vec3 {
    float x, y, z;
};

using Corners = std::array<uint32_t, 3>;

// A model with vertices 1..positions.size(), the triangles given (normal, texture and facet indices
// 0) and one group "default" that lists every triangle in order.
inline ZelModel* handModel(const std::vector<Vec3>& positions,
                           const std::vector<Corners>& triangles) {
    ZelModel* model = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
    model->path = strdup("hand.obj");
    model->vertexcount = static_cast<uint32_t>(positions.size());
    model->vertices = static_cast<float*>(std::calloc((positions.size() + 1) * 3, sizeof(float)));
    for (size_t i = 0; i < positions.size(); i++) {
        model->vertices[3 * (i + 1)] = positions[i].x;
        model->vertices[3 * (i + 1) + 1] = positions[i].y;
        model->vertices[3 * (i + 1) + 2] = positions[i].z;
    }
    model->trianglecount = static_cast<uint32_t>(triangles.size());
    model->triangles =
        static_cast<ZelTriangle*>(std::calloc(triangles.size() + 1, sizeof(ZelTriangle)));
    for (size_t t = 0; t < triangles.size(); t++)
        for (int k = 0; k < 3; k++) model->triangles[t].vertexidx[k] = triangles[t][k];

    ZelGroup* group = static_cast<ZelGroup*>(std::calloc(1, sizeof(ZelGroup)));
    group->name = strdup("default");
    group->trianglecount = static_cast<uint32_t>(triangles.size());
    group->triangleidx =
        static_cast<uint32_t*>(std::malloc((triangles.size() + 1) * sizeof(uint32_t)));
    for (size_t t = 0; t < triangles.size(); t++) group->triangleidx[t] = static_cast<uint32_t>(t);
    model->groups = group;
    model->groupcount = 1;
    return model;
}

// Replaces the model's facet normals with the given ones (facet i + 1 = normals[i]) and points
// triangle t at facet t + 1, as zelComputeFacetNormals would.
inline void setFacetNormals(ZelModel* model, const std::vector<Vec3>& normals) {
    std::free(model->facetnorms);
    model->facetnormcount = static_cast<uint32_t>(normals.size());
    model->facetnorms = static_cast<float*>(std::calloc((normals.size() + 1) * 3, sizeof(float)));
    for (size_t i = 0; i < normals.size(); i++) {
        model->facetnorms[3 * (i + 1)] = normals[i].x;
        model->facetnorms[3 * (i + 1) + 1] = normals[i].y;
        model->facetnorms[3 * (i + 1) + 2] = normals[i].z;
    }
    for (uint32_t t = 0; t < model->trianglecount; t++) model->triangles[t].facetidx = t + 1;
}

// Replaces the model's vertex normals with the given ones (normal i + 1 = normals[i]).
inline void setNormals(ZelModel* model, const std::vector<Vec3>& normals) {
    std::free(model->normals);
    model->normalcount = static_cast<uint32_t>(normals.size());
    model->normals = static_cast<float*>(std::calloc((normals.size() + 1) * 3, sizeof(float)));
    for (size_t i = 0; i < normals.size(); i++) {
        model->normals[3 * (i + 1)] = normals[i].x;
        model->normals[3 * (i + 1) + 1] = normals[i].y;
        model->normals[3 * (i + 1) + 2] = normals[i].z;
    }
}

// Replaces the model's texture coordinates with the given (u, v) pairs (coordinate i + 1 =
// texcoords[i]).
inline void setTexCoords(ZelModel* model, const std::vector<std::array<float, 2>>& texcoords) {
    std::free(model->texcoords);
    model->texcoordcount = static_cast<uint32_t>(texcoords.size());
    model->texcoords = static_cast<float*>(std::calloc((texcoords.size() + 1) * 2, sizeof(float)));
    for (size_t i = 0; i < texcoords.size(); i++) {
        model->texcoords[2 * (i + 1)] = texcoords[i][0];
        model->texcoords[2 * (i + 1) + 1] = texcoords[i][1];
    }
}

}  // namespace zeltest
