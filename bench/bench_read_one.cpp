// Reads one OBJ file with one reader and reports how long it took and how much memory the process
// needed; run in a fresh process per measurement by bench/run_read_bench.sh:
//
//   bench_read_one zel|reference|tinyobjloader|assimp <file.obj>
//
// Prints one line: "<reader> seconds <s> peak_kib <k> start_kib <k> model_bytes <b> triangles <n>",
// where peak_kib is the process's peak resident size (getrusage ru_maxrss), start_kib the same just
// before reading, and model_bytes the size of the arrays the zel model holds (0 for the peers).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "reference_reader.h"
#include "zel.h"

#ifdef ZEL_BENCH_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif
#ifdef ZEL_BENCH_ASSIMP
#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

namespace {

long peakKib() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Everything the zel model owns, in bytes.
size_t modelBytes(const ZelModel* model) {
    size_t bytes = sizeof(ZelModel) + std::strlen(model->path) + 1;
    bytes += sizeof(float) * 3 * (model->vertexcount + 1);
    if (model->normals) bytes += sizeof(float) * 3 * (model->normalcount + 1);
    if (model->texcoords) bytes += sizeof(float) * 2 * (model->texcoordcount + 1);
    if (model->facetnorms) bytes += sizeof(float) * 3 * (model->facetnormcount + 1);
    bytes += sizeof(ZelTriangle) * model->trianglecount;
    bytes += sizeof(ZelMaterial) * model->materialcount;
    for (uint32_t i = 0; i < model->materialcount; i++)
        bytes += std::strlen(model->materials[i].name) + 1;
    for (const ZelGroup* group = model->groups; group; group = group->next)
        bytes += sizeof(ZelGroup) + std::strlen(group->name) + 1 +
                 sizeof(uint32_t) * group->trianglecount;
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s zel|reference|tinyobjloader|assimp <file.obj>\n", argv[0]);
        return 2;
    }
    std::string reader = argv[1];
    const char* path = argv[2];
    long startKib = peakKib();
    size_t bytes = 0;
    unsigned long triangles = 0;

#ifdef ZEL_BENCH_TINYOBJLOADER
    // Kept to the end of main, so that freeing them is not timed.
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
#endif

    auto start = std::chrono::steady_clock::now();
    if (reader == "zel" || reader == "reference") {
        ZelModel* model = reader == "zel" ? zelReadOBJ(path) : zeltest::referenceReadOBJ(path);
        if (!model) {
            std::fprintf(stderr, "%s: %s could not read \"%s\"\n", argv[0], reader.c_str(), path);
            return 1;
        }
        triangles = model->trianglecount;
        bytes = modelBytes(model);
    }
#ifdef ZEL_BENCH_TINYOBJLOADER
    else if (reader == "tinyobjloader") {
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path, nullptr, true)) {
            std::fprintf(stderr, "%s: tinyobjloader failed: %s\n", argv[0], err.c_str());
            return 1;
        }
        for (const tinyobj::shape_t& shape : shapes)
            triangles += shape.mesh.num_face_vertices.size();
    }
#endif
#ifdef ZEL_BENCH_ASSIMP
    else if (reader == "assimp") {
        const aiScene* scene = aiImportFile(path, aiProcess_Triangulate);
        if (!scene) {
            std::fprintf(stderr, "%s: assimp failed: %s\n", argv[0], aiGetErrorString());
            return 1;
        }
        for (unsigned i = 0; i < scene->mNumMeshes; i++) triangles += scene->mMeshes[i]->mNumFaces;
    }
#endif
    else {
        std::fprintf(stderr, "%s: unknown or unavailable reader \"%s\"\n", argv[0], reader.c_str());
        return 2;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The models are left to the process's end: freeing them is no part of reading.
    std::printf("%s seconds %.4f peak_kib %ld start_kib %ld model_bytes %zu triangles %lu\n",
                reader.c_str(), seconds, peakKib(), startKib, bytes, triangles);
    return 0;
}
