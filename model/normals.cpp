// Facet normals and angle-limited smoothed vertex normals, with the vector helpers they share.
//
// Vertex normals: at every vertex, the facet normals of the triangles that use it are compared with
// one reference facet (that of the highest-numbered triangle using the vertex). Those within the
// angle are averaged into one normal shared by their corners; every other corner gets its own copy
// of its facet normal. The corners of a vertex are visited from the highest triangle to the lowest
// and, within a triangle, from the last corner to the first: the order of a list built by inserting
// every corner at its front. Instead of one allocated list node per corner, the corners are sorted
// into one array by vertex (a counting sort), which gives the same order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "polygon.h"
#include "zel_internal.h"

void zel::crossProduct(const float* u, const float* v, float* n) {
    ZEL_REQUIRE(u);
    ZEL_REQUIRE(v);
    ZEL_REQUIRE(n);
    // In double, rounded once where stored; computed before storing, so n may alias u or v.
    const float x = static_cast<double>(u[1]) * v[2] - static_cast<double>(u[2]) * v[1];
    const float y = static_cast<double>(u[2]) * v[0] - static_cast<double>(u[0]) * v[2];
    const float z = static_cast<double>(u[0]) * v[1] - static_cast<double>(u[1]) * v[0];
    n[0] = x;
    n[1] = y;
    n[2] = z;
}

namespace {

// The arithmetic of zel::normalizeVec and zel::dotProduct without the argument checks, for the
// loops.
inline void normalize(float* v) {
    const float length =
        std::sqrt(static_cast<double>(v[0]) * v[0] + static_cast<double>(v[1]) * v[1] +
                  static_cast<double>(v[2]) * v[2]);
    // A zero vector (a degenerate triangle, a sum that cancels) stays zero instead of becoming 0/0.
    if (length == 0.0f) return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

inline float dot(const float* u, const float* v) {
    return static_cast<double>(u[0]) * v[0] + static_cast<double>(u[1]) * v[1] +
           static_cast<double>(u[2]) * v[2];
}

}  // namespace

void zel::normalizeVec(float* v) {
    ZEL_REQUIRE(v);
    normalize(v);
}

float zel::dotProduct(const float* u, const float* v) {
    ZEL_REQUIRE(u);
    ZEL_REQUIRE(v);
    return dot(u, v);
}

namespace {

const float kZero[3] = {0.0f, 0.0f, 0.0f};

bool validVertex(uint32_t index, uint32_t vertexcount) {
    return index >= 1 && index <= vertexcount;
}

// The facet normal of a triangle, or the zero vector when its facetidx lies outside facetnorms.
const float* facetOf(const ZelModel* model, const ZelTriangle& tri) {
    if (tri.facetidx < 1 || tri.facetidx > model->facetnormcount) return kZero;
    return model->facetnorms + 3 * static_cast<size_t>(tri.facetidx);
}

}  // namespace

void zelComputeFacetNormals(ZelModel* model) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);

    const uint32_t count = model->trianglecount;
    float* facets = zel::exitOnOutOfMemory("zelComputeFacetNormals", [&] {
        return static_cast<float*>(
            zel::allocate((static_cast<size_t>(count) + 1) * 3 * sizeof(float)));
    });
    std::free(model->facetnorms);
    model->facetnormcount = count;
    facets[0] = facets[1] = facets[2] = 0.0f;
    model->facetnorms = facets;

    const float* vertices = model->vertices;
    for (uint32_t t = 0; t < count; t++) {
        ZelTriangle& tri = model->triangles[t];
        tri.facetidx = t + 1;
        float* n = facets + 3 * (static_cast<size_t>(t) + 1);
        // A triangle that names a vertex outside the array (only possible in a model built by hand)
        // has no geometry: it gets the zero normal, like a degenerate triangle.
        if (!validVertex(tri.vertexidx[0], model->vertexcount) ||
            !validVertex(tri.vertexidx[1], model->vertexcount) ||
            !validVertex(tri.vertexidx[2], model->vertexcount)) {
            n[0] = n[1] = n[2] = 0.0f;
            continue;
        }
        const float* p0 = vertices + 3 * static_cast<size_t>(tri.vertexidx[0]);
        const float* p1 = vertices + 3 * static_cast<size_t>(tri.vertexidx[1]);
        const float* p2 = vertices + 3 * static_cast<size_t>(tri.vertexidx[2]);
        const float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        zel::crossProduct(a, b, n);
        normalize(n);
    }
}

namespace {

// Builds the vertex normals into `normals` (room for every listed corner + 1) and returns the
// number made. With `smoothing` (a smoothing group per triangle) a corner shares a normal only
// with corners of its own smoothing group, and a corner of group 0 gets a copy of its facet
// normal; without it every triangle is in one group. Offset counts corners: 32 bits whenever they
// fit, which halves the memory traffic of the sort.
template <class Offset>
size_t vertexNormals(ZelModel* model, float threshold, const uint32_t* smoothing, float* normals) {
    const uint32_t vertexcount = model->vertexcount;
    const uint32_t trianglecount = model->trianglecount;
    ZelTriangle* triangles = model->triangles;

    // Counting sort of the corners by vertex: first[v] .. first[v + 1] is v's run. Corners naming
    // a vertex outside the array are left out and get normal index 0 (slot 0, the zero vector).
    std::vector<Offset> first(static_cast<size_t>(vertexcount) + 2, 0);
    for (uint32_t t = 0; t < trianglecount; t++) {
        for (int k = 0; k < 3; k++) {
            const uint32_t v = triangles[t].vertexidx[k];
            if (validVertex(v, vertexcount))
                first[v + 1]++;
            else
                triangles[t].normalidx[k] = 0;
        }
    }
    size_t longest = 0;
    for (size_t v = 1; v <= vertexcount; v++) {
        longest = std::max<size_t>(longest, first[v + 1]);
        first[v + 1] += first[v];
    }
    // Filled from the last corner of the last triangle back, so each vertex's run goes from the
    // highest triangle to the lowest, as a list built by inserting every corner at its front.
    std::vector<uint32_t> corners(first[static_cast<size_t>(vertexcount) + 1]);
    {
        std::vector<Offset> fill(first.begin() + 1, first.end());  // fill[v - 1]: v's next entry
        for (uint32_t t = trianglecount; t-- > 0;)
            for (int k = 2; k >= 0; k--) {
                const uint32_t v = triangles[t].vertexidx[k];
                if (validVertex(v, vertexcount)) corners[fill[v - 1]++] = t;
            }
    }

    // shared[j - begin]: the normal corner j shares, kNone while it is not decided, kOwn for a copy
    // of its facet normal.
    constexpr size_t kNone = 0, kOwn = SIZE_MAX;
    auto smoothingGroup = [&](uint32_t t) { return smoothing ? smoothing[t] : 1u; };
    std::vector<size_t> shared(longest);
    size_t next = 1;
    for (size_t v = 1; v <= vertexcount; v++) {
        const size_t begin = first[v], end = first[v + 1];
        if (begin == end) {
            std::fputs("zelVertexNormals(): vertex w/o a triangle\n", stderr);
            continue;
        }
        std::fill(shared.begin(), shared.begin() + (end - begin), kNone);
        // Each smoothing group at the vertex, in the order its first corner comes: its reference
        // is the facet of that corner, and its corners within the angle share their sum.
        for (size_t j = begin; j < end; j++) {
            if (shared[j - begin] != kNone) continue;
            const uint32_t group = smoothingGroup(corners[j]);
            if (group == 0) {
                shared[j - begin] = kOwn;
                continue;
            }
            const float* reference = facetOf(model, triangles[corners[j]]);
            float sum[3] = {0.0f, 0.0f, 0.0f};
            bool any = false;
            for (size_t i = j; i < end; i++) {
                if (shared[i - begin] != kNone || smoothingGroup(corners[i]) != group) continue;
                const float* facet = facetOf(model, triangles[corners[i]]);
                if (dot(facet, reference) > threshold) {
                    sum[0] += facet[0];
                    sum[1] += facet[1];
                    sum[2] += facet[2];
                    shared[i - begin] = next;
                    any = true;
                } else {
                    shared[i - begin] = kOwn;
                }
            }
            if (any) {
                normalize(sum);
                std::memcpy(normals + 3 * next, sum, sizeof sum);
                next++;
            }
        }

        int corner = 3;
        for (size_t j = begin; j < end; j++) {
            ZelTriangle& tri = triangles[corners[j]];
            // The corner this entry stands for: within one triangle the entries run from its last
            // corner naming v to its first, so a vertex named at two corners gets a normal at both.
            if (j == begin || corners[j - 1] != corners[j]) corner = 3;
            do corner--;
            while (tri.vertexidx[corner] != v);

            if (shared[j - begin] != kOwn) {
                tri.normalidx[corner] = static_cast<uint32_t>(shared[j - begin]);
            } else {
                std::memcpy(normals + 3 * next, facetOf(model, tri), 3 * sizeof(float));
                tri.normalidx[corner] = static_cast<uint32_t>(next++);
            }
        }
    }
    return next - 1;
}

}  // namespace

namespace {

void computeVertexNormals(const char* operation, ZelModel* model, float angle,
                          const uint32_t* smoothing) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->facetnorms);

    // The threshold uses the single-precision value of pi; the cosine is taken in double and held
    // as a float (60 degrees gives 0.49999997, so a dot product of exactly 0.5 is averaged).
    const float threshold =
        std::cos(static_cast<double>(angle) * static_cast<double>(3.14159274f) / 180.0);

    const size_t corners = 3 * static_cast<size_t>(model->trianglecount);
    zel::exitOnOutOfMemory(operation, [&] {
        float* normals = static_cast<float*>(zel::allocate((corners + 1) * 3 * sizeof(float)));
        normals[0] = normals[1] = normals[2] = 0.0f;
        size_t made;
        try {
            made = corners <= UINT32_MAX
                       ? vertexNormals<uint32_t>(model, threshold, smoothing, normals)
                       : vertexNormals<size_t>(model, threshold, smoothing, normals);
        } catch (...) {
            std::free(normals);
            throw;
        }
        std::free(model->normals);
        model->normalcount = static_cast<uint32_t>(made);
        // Shrinking cannot fail in practice; if it does, the larger block serves.
        void* shrunk = std::realloc(normals, (made + 1) * 3 * sizeof(float));
        model->normals = static_cast<float*>(shrunk ? shrunk : normals);
        zel::refreshPolygonCorners(model);
    });
}

}  // namespace

void zelVertexNormals(ZelModel* model, float angle) {
    computeVertexNormals("zelVertexNormals", model, angle, nullptr);
}

void zelSmoothingGroupNormals(ZelModel* model, float angle) {
    ZEL_REQUIRE(model);
    computeVertexNormals("zelSmoothingGroupNormals", model, angle, model->smoothinggroups);
}
