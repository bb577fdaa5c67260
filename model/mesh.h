// Internal interface of the mesh builder: zelMakeMesh with its parameters open, for the tests and
// the benchmarks. The thread count changes only the time it takes; the run length also changes
// the order of the triangles within their groups.
#pragma once

#include <cstdint>

#include "zel.h"

namespace zel {

struct MeshOptions {
    // Threads that make the mesh; 0: one per processor the process may run on (a small mesh
    // takes one).
    uint32_t threads = 0;
    // The longest run of a group's triangles ordered as one piece; 0: the default.
    uint32_t runTriangles = 0;
};

// The vertex cache the triangles are ordered for, in vertices (meshoptimizer's FIFO model).
constexpr unsigned kMeshCacheSize = 16;

// zelMakeMesh, with its warnings and preconditions, under `options`.
ZelMesh* makeMesh(const ZelModel* model, uint32_t mode, const MeshOptions& options);

}  // namespace zel
