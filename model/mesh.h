// Internal interface of the mesh builder: zelMakeMesh with its parameters open, for the tests, the
// benchmarks and zelBuildMesh. The thread count changes only the time it takes; the run length
// also changes the order of the triangles within their groups.
#pragma once

#include <cstdint>

#include "zel_internal.h"

namespace zel {

struct MeshOptions {
    // Threads that make the mesh; 0: one per processor the process may run on (a small mesh
    // takes one).
    uint32_t threads = 0;
    // The longest run of a group's triangles ordered as one piece; 0: the default; 1 keeps the
    // model's order.
    uint32_t runTriangles = 0;
    // Receives the mode warnings; null: standard output.
    ZelWarningFunc warning = nullptr;
    void* user = nullptr;
    // Checks the model first and returns what zelMakeMesh takes as a precondition failure.
    bool validate = false;
};

// Makes the mesh into *out, or returns the failure zelMakeMesh prints ("zelMakeMesh() failed:
// ..."), with *out null and nothing left allocated.
Status buildMesh(const ZelModel* model, uint32_t mode, const MeshOptions& options, ZelMesh** out);

// zelMakeMesh, with its warnings, preconditions and printed failures, under `options`.
ZelMesh* makeMesh(const ZelModel* model, uint32_t mode, const MeshOptions& options);

}  // namespace zel
