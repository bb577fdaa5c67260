// The mesh benchmark: how long zelMakeMesh takes on a model, against reading that model with
// zelReadOBJ and against meshoptimizer's own way of finding the distinct corners,
// meshopt_generateVertexRemap over every corner's interleaved attributes (and that remap followed
// by the same vertex cache ordering, which is the whole job done the plain way). Checks that the
// remap finds exactly as many distinct vertices as the mesh has.
//
//   mesh_bench FILE.obj [--flat|--smooth] [--texture] [--runs N]
//
// Without mode options the mesh holds normals and texture coordinates (--smooth --texture). Each
// time is the best of N runs (default 5; the read, best of 3), and the first zelMakeMesh of the
// process is shown on its own. Build with -DZEL_BUILD_BENCH=ON;
// bench/gen_obj writes the usual input: gen_obj vtn /tmp/vtn-100.obj 100.
#include <meshoptimizer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "mesh.h"
#include "zel.h"

namespace {

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double best(int runs, const std::function<void()>& work) {
    double fastest = 1e30;
    for (int i = 0; i < runs; i++) fastest = std::min(fastest, seconds(work));
    return fastest;
}

// Every corner's attributes as the mesh lays them out, in the mesh's corner order before the
// reordering (group by group): the input of the plain remap.
std::vector<float> cornerStream(const ZelModel* model, uint32_t mode, uint32_t stride) {
    std::vector<float> stream;
    stream.reserve(size_t{3} * model->trianglecount * stride);
    for (const ZelGroup* group = model->groups; group; group = group->next)
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const ZelTriangle& t = model->triangles[group->triangleidx[e]];
            for (int k = 0; k < 3; k++) {
                const float* v = &model->vertices[3 * size_t{t.vertexidx[k]}];
                stream.insert(stream.end(), v, v + 3);
                if (mode & ZEL_FLAT) {
                    const float* n = &model->facetnorms[3 * size_t{t.facetidx}];
                    stream.insert(stream.end(), n, n + 3);
                } else if (mode & ZEL_SMOOTH) {
                    const float* n = &model->normals[3 * size_t{t.normalidx[k]}];
                    stream.insert(stream.end(), n, n + 3);
                }
                if (mode & ZEL_TEXTURE) {
                    const float* uv = &model->texcoords[2 * size_t{t.texcoordidx[k]}];
                    stream.insert(stream.end(), uv, uv + 2);
                }
            }
        }
    return stream;
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: mesh_bench FILE.obj [--flat|--smooth] [--texture] [--runs N]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) usage();
    const char* path = argv[1];
    uint32_t mode = 0;
    int runs = 5;
    for (int i = 2; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--flat")
            mode |= ZEL_FLAT;
        else if (arg == "--smooth")
            mode |= ZEL_SMOOTH;
        else if (arg == "--texture")
            mode |= ZEL_TEXTURE;
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            usage();
    }
    if (mode == 0) mode = ZEL_SMOOTH | ZEL_TEXTURE;

    ZelModel* model = nullptr;
    const double firstRead = seconds([&] { model = zelReadOBJ(path); });
    const double read = std::min(firstRead, best(2, [&] {
                                     zelFreeModel(model);
                                     model = zelReadOBJ(path);
                                 }));
    if ((mode & ZEL_FLAT) && !model->facetnorms) zelComputeFacetNormals(model);

    ZelMesh* mesh = nullptr;
    // The first call finds no freed memory to reuse: every page it writes is new to the process.
    const double first = seconds([&] { mesh = zelMakeMesh(model, mode); });
    auto make = [&](uint32_t threads) {
        zel::MeshOptions options;
        options.threads = threads;
        return best(runs, [&] {
            if (mesh) zelFreeMesh(mesh);
            mesh = zel::makeMesh(model, mode, options);
        });
    };
    const double oneThread = make(1);
    const double everyThread = make(0);
    const uint32_t stride = mesh->stride;
    mode = mesh->mode;

    const std::vector<float> stream = cornerStream(model, mode, stride);
    const size_t corners = stream.size() / stride;
    std::vector<unsigned> remap(corners);
    size_t unique = 0;
    const double remapTime = best(runs, [&] {
        unique = meshopt_generateVertexRemap(remap.data(), nullptr, corners, stream.data(), corners,
                                             stride * sizeof(float));
    });
    std::vector<unsigned> indices(corners), ordered(corners);
    const double plain =
        remapTime + best(runs, [&] {
            for (size_t i = 0; i < corners; i++) indices[i] = remap[i];
            for (uint32_t g = 0; g < mesh->groupcount; g++)
                meshopt_optimizeVertexCacheFifo(ordered.data() + mesh->groups[g].first,
                                                indices.data() + mesh->groups[g].first,
                                                mesh->groups[g].count, unique, ZEL_MESH_CACHE_SIZE);
        });

    const meshopt_VertexCacheStatistics cache = meshopt_analyzeVertexCache(
        mesh->indices, mesh->indexcount, mesh->vertexcount, ZEL_MESH_CACHE_SIZE, 0, 0);
    std::printf("file: %s\n", path);
    std::printf(
        "model: %u triangles, %u vertices; mesh (%s%s%s): %u vertices of %u floats, %u "
        "indices, ACMR %.3f (FIFO cache of %u)\n",
        model->trianglecount, model->vertexcount,
        (mode & ZEL_FLAT)     ? "flat"
        : (mode & ZEL_SMOOTH) ? "smooth"
                              : "positions",
        (mode & ZEL_TEXTURE) ? " " : "", (mode & ZEL_TEXTURE) ? "texture" : "", mesh->vertexcount,
        stride, mesh->indexcount, cache.acmr, ZEL_MESH_CACHE_SIZE);
    std::printf("best of %d runs (read: of 3)\n\n", runs);
    std::printf("%-52s %9s %12s\n", "", "seconds", "x read");
    auto row = [&](const char* what, double s) {
        std::printf("%-52s %9.4f %12.3f\n", what, s, s / read);
    };
    row("zelReadOBJ", read);
    row("zelReadOBJ, first call in the process", firstRead);
    row("zelMakeMesh, first call in the process", first);
    row("zelMakeMesh, one thread", oneThread);
    row("zelMakeMesh, every processor", everyThread);
    row("meshopt_generateVertexRemap over every corner", remapTime);
    row("  ... then meshopt_optimizeVertexCacheFifo per group", plain);
    std::printf(
        "\nzelMakeMesh takes %.2fx the time of the remap alone and %.2fx the remap with the "
        "ordering\n",
        everyThread / remapTime, everyThread / plain);
    std::printf("target: zelMakeMesh <= 0.25 x read: %s (%.3f; first calls: %.3f)\n",
                everyThread <= 0.25 * read ? "met" : "NOT met", everyThread / read,
                first / firstRead);

    const bool agree = unique == mesh->vertexcount;
    std::printf("distinct vertices: mesh %u, remap %zu: %s\n", mesh->vertexcount, unique,
                agree ? "agree" : "DISAGREE");
    zelFreeMesh(mesh);
    zelFreeModel(model);
    return agree ? 0 : 1;
}
