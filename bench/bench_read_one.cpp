// Reads one OBJ file with one reader and reports how long it took and how much memory the process
// needed; run in a fresh process per measurement by bench/run_read_bench.sh:
//
//   bench_read_one <reader> <file.obj>
//   bench_read_one --readers          (lists the readers this build has, one a line)
//
// The readers are zel, zel-whole and zel-concave (zelLoadOBJ with ZEL_LOAD_WHOLE_KEYWORDS or
// ZEL_LOAD_CONCAVE_POLYGONS), reference (the tests' plain stdio reader), and the peers this build
// found:
// tinyobjloader, assimp, fast_obj and rapidobj.
//
// Prints one line: "<reader> seconds <s> peak_kib <k> start_kib <k> model_bytes <b> faces <n>",
// where peak_kib is the process's peak resident size (getrusage ru_maxrss), start_kib the same just
// before reading, and model_bytes the size of the arrays the zel model holds, its smoothing groups
// and shapes included (0 for the peers).
// faces is counted the way each reader gives it, as a sanity figure: triangles for zel, reference,
// tinyobjloader (asked to triangulate) and assimp (aiProcess_Triangulate); the polygons as written
// for fast_obj and rapidobj. Nothing is freed: what a reader returns lives to the process's end, so
// that freeing is never timed.
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
#ifdef ZEL_BENCH_FAST_OBJ
#include <fast_obj.h>
#endif
#ifdef ZEL_BENCH_RAPIDOBJ
#include <rapidobj.hpp>
#endif

namespace {

const char* const kReaders[] = {
    "zel",           "zel-whole", "zel-concave", "reference",
#ifdef ZEL_BENCH_TINYOBJLOADER
    "tinyobjloader",
#endif
#ifdef ZEL_BENCH_ASSIMP
    "assimp",
#endif
#ifdef ZEL_BENCH_FAST_OBJ
    "fast_obj",
#endif
#ifdef ZEL_BENCH_RAPIDOBJ
    "rapidobj",
#endif
};

long peakKib() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Everything the zel model owns, in bytes.
size_t modelBytes(const ZelModel* model) {
    size_t bytes = sizeof(ZelModel) + std::strlen(model->path) + 1;
    bytes += sizeof(float) * 3 * (model->vertexcount + 1);
    if (model->colors) bytes += sizeof(float) * 3 * (model->vertexcount + 1);
    if (model->normals) bytes += sizeof(float) * 3 * (model->normalcount + 1);
    if (model->texcoords) bytes += sizeof(float) * 2 * (model->texcoordcount + 1);
    if (model->facetnorms) bytes += sizeof(float) * 3 * (model->facetnormcount + 1);
    bytes += sizeof(ZelTriangle) * model->trianglecount;
    if (model->smoothinggroups) bytes += sizeof(uint32_t) * model->trianglecount;
    bytes += sizeof(ZelMaterial) * model->materialcount;
    for (uint32_t i = 0; i < model->materialcount; i++)
        bytes += std::strlen(model->materials[i].name) + 1;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        bytes += sizeof(ZelGroup) + std::strlen(group->name) + 1 +
                 sizeof(uint32_t) * group->trianglecount;
        if (group->polygoncount)
            bytes += sizeof(uint32_t) * (2 * size_t{group->polygoncount} + 1) +
                     sizeof(ZelCorner) * group->polygonstart[group->polygoncount];
        if (group->linecount)
            bytes += sizeof(uint32_t) * (size_t{group->linecount} + 1) +
                     sizeof(ZelCorner) * group->linestart[group->linecount];
        bytes += sizeof(uint32_t) * group->pointcount;
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--readers") == 0) {
        for (const char* name : kReaders) std::printf("%s\n", name);
        return 0;
    }
    if (argc != 3) {
        std::string names;
        for (const char* name : kReaders) names += (names.empty() ? "" : "|") + std::string(name);
        std::fprintf(stderr, "usage: %s %s <file.obj>\n       %s --readers\n", argv[0],
                     names.c_str(), argv[0]);
        return 2;
    }
    std::string reader = argv[1];
    const char* path = argv[2];
    long startKib = peakKib();
    size_t bytes = 0;
    unsigned long long faces = 0;

#ifdef ZEL_BENCH_TINYOBJLOADER
    // Kept to the end of main, so that freeing them is not timed.
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
#endif

    auto start = std::chrono::steady_clock::now();
    if (reader == "zel" || reader == "zel-whole" || reader == "zel-concave" ||
        reader == "reference") {
        ZelLoadOptions flagged{};
        flagged.flags = reader == "zel-whole"     ? ZEL_LOAD_WHOLE_KEYWORDS
                        : reader == "zel-concave" ? ZEL_LOAD_CONCAVE_POLYGONS
                                                  : 0;
        ZelModel* model = reader == "reference" ? zeltest::referenceReadOBJ(path)
                          : flagged.flags       ? zelLoadOBJ(path, &flagged, nullptr)
                                                : zelReadOBJ(path);
        if (!model) {
            std::fprintf(stderr, "%s: %s could not read \"%s\"\n", argv[0], reader.c_str(), path);
            return 1;
        }
        faces = model->trianglecount;
        bytes = modelBytes(model);
    }
#ifdef ZEL_BENCH_TINYOBJLOADER
    else if (reader == "tinyobjloader") {
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path, nullptr, true)) {
            std::fprintf(stderr, "%s: tinyobjloader failed: %s\n", argv[0], err.c_str());
            return 1;
        }
        for (const tinyobj::shape_t& shape : shapes) faces += shape.mesh.num_face_vertices.size();
    }
#endif
#ifdef ZEL_BENCH_ASSIMP
    else if (reader == "assimp") {
        const aiScene* scene = aiImportFile(path, aiProcess_Triangulate);
        if (!scene) {
            std::fprintf(stderr, "%s: assimp failed: %s\n", argv[0], aiGetErrorString());
            return 1;
        }
        for (unsigned i = 0; i < scene->mNumMeshes; i++) faces += scene->mMeshes[i]->mNumFaces;
    }
#endif
#ifdef ZEL_BENCH_FAST_OBJ
    else if (reader == "fast_obj") {
        fastObjMesh* mesh = fast_obj_read(path);
        if (!mesh) {
            std::fprintf(stderr, "%s: fast_obj could not read \"%s\"\n", argv[0], path);
            return 1;
        }
        faces = mesh->face_count;
    }
#endif
#ifdef ZEL_BENCH_RAPIDOBJ
    else if (reader == "rapidobj") {
        // Made with new and never deleted, so that its destructor does not run inside the timing.
        auto* result =
            new rapidobj::Result(rapidobj::ParseFile(path, rapidobj::MaterialLibrary::Ignore()));
        if (result->error) {
            std::fprintf(stderr, "%s: rapidobj failed: %s (line %zu)\n", argv[0],
                         result->error.code.message().c_str(), result->error.line_num);
            return 1;
        }
        for (const rapidobj::Shape& shape : result->shapes)
            faces += shape.mesh.num_face_vertices.size();
    }
#endif
    else {
        std::fprintf(stderr, "%s: unknown or unavailable reader \"%s\"\n", argv[0], reader.c_str());
        return 2;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The models are left to the process's end: freeing them is no part of reading.
    std::printf("%s seconds %.4f peak_kib %ld start_kib %ld model_bytes %zu faces %llu\n",
                reader.c_str(), seconds, peakKib(), startKib, bytes, faces);
    return 0;
}
