// Plain reference versions of the clever geometry operations, used as oracles by the tests and as
// baselines by the benchmarks: the linear-scan weld and the vertex normals built on one allocated
// list node per triangle corner. Both follow the documented algorithm step by step and expect
// in-range indices.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zel_internal.h"

namespace zeltest {

// Per-axis box test on the float differences, written out independently of zel::nearlyEqual.
inline bool referenceNearlyEqual(const float* u, const float* v, float epsilon) {
    for (int a = 0; a < 3; a++) {
        const float d = u[a] - v[a];
        const float magnitude = d < 0.0f ? -d : d;
        if (!(magnitude < epsilon)) return false;
    }
    return true;
}

// Linear-scan weld: every position is compared with every welded one, lowest index first. Writes
// the welded index into the x entry of every input position, as zelWeldPositions does.
inline float* referenceWeldPositions(float* positions, uint32_t* count, float epsilon) {
    const size_t n = *count;
    float* result = static_cast<float*>(std::malloc((n + 1) * 3 * sizeof(float)));
    std::memcpy(result, positions, (n + 1) * 3 * sizeof(float));
    uint32_t welded = 0;
    for (size_t i = 1; i <= n; i++) {
        uint32_t index = 0;
        for (uint32_t j = 1; j <= welded; j++) {
            if (referenceNearlyEqual(result + 3 * j, positions + 3 * i, epsilon)) {
                index = j;
                break;
            }
        }
        if (index == 0) {
            welded++;
            std::memcpy(result + 3 * static_cast<size_t>(welded), positions + 3 * i,
                        3 * sizeof(float));
            index = welded;
        }
        positions[3 * i] = static_cast<float>(index);
    }
    *count = welded;
    return result;
}

// Vertex normals with one malloc'ed node per corner, each inserted at the front of its vertex's
// list. A triangle naming a vertex at two corners sets only the first such corner (twice); the
// other corner's normalidx is left as it was.
inline void referenceVertexNormals(ZelModel* model, float angle) {
    struct Node {
        uint32_t index;
        bool averaged;
        Node* next;
    };
    const float threshold =
        std::cos(static_cast<double>(angle) * static_cast<double>(3.14159274f) / 180.0);

    std::free(model->normals);
    const size_t room = 3 * static_cast<size_t>(model->trianglecount);
    float* normals = static_cast<float*>(std::malloc((room + 1) * 3 * sizeof(float)));

    Node** heads = static_cast<Node**>(
        std::calloc(static_cast<size_t>(model->vertexcount) + 1, sizeof(Node*)));
    for (uint32_t t = 0; t < model->trianglecount; t++) {
        for (int k = 0; k < 3; k++) {
            const uint32_t v = model->triangles[t].vertexidx[k];
            Node* node = static_cast<Node*>(std::malloc(sizeof(Node)));
            node->index = t;
            node->averaged = false;
            node->next = heads[v];
            heads[v] = node;
        }
    }

    auto facet = [model](uint32_t t) {
        return model->facetnorms + 3 * static_cast<size_t>(model->triangles[t].facetidx);
    };
    size_t next = 1;
    for (uint32_t v = 1; v <= model->vertexcount; v++) {
        if (!heads[v]) {
            std::fputs("zelVertexNormals(): vertex w/o a triangle\n", stderr);
            continue;
        }
        const float* reference = facet(heads[v]->index);
        float sum[3] = {0.0f, 0.0f, 0.0f};
        bool any = false;
        for (Node* node = heads[v]; node; node = node->next) {
            const float* f = facet(node->index);
            const float d = zel::dotProduct(f, reference);
            node->averaged = d > threshold;
            if (node->averaged) {
                sum[0] += f[0];
                sum[1] += f[1];
                sum[2] += f[2];
                any = true;
            }
        }
        size_t avg = 0;
        if (any) {
            zel::normalizeVec(sum);
            std::memcpy(normals + 3 * next, sum, sizeof sum);
            avg = next++;
        }
        for (Node* node = heads[v]; node; node = node->next) {
            ZelTriangle& tri = model->triangles[node->index];
            int k = 0;
            while (tri.vertexidx[k] != v) k++;
            if (node->averaged) {
                tri.normalidx[k] = static_cast<uint32_t>(avg);
            } else {
                std::memcpy(normals + 3 * next, facet(node->index), 3 * sizeof(float));
                tri.normalidx[k] = static_cast<uint32_t>(next++);
            }
        }
    }
    model->normalcount = static_cast<uint32_t>(next - 1);

    for (uint32_t v = 1; v <= model->vertexcount; v++) {
        while (heads[v]) {
            Node* node = heads[v];
            heads[v] = node->next;
            std::free(node);
        }
    }
    std::free(heads);

    model->normals = static_cast<float*>(
        std::malloc((static_cast<size_t>(model->normalcount) + 1) * 3 * sizeof(float)));
    std::memcpy(model->normals + 3, normals + 3,
                static_cast<size_t>(model->normalcount) * 3 * sizeof(float));
    std::free(normals);
}

}  // namespace zeltest
