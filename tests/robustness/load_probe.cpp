// Loads each OBJ file named with zelLoadOBJ, in one process, and prints for each the failure's
// message, or "loaded" and the model's counts ("vertices: N" ...). Then "went on", to show that no
// failure ended the process. The library itself must print nothing but what the options ask of it.
// For the bad-input matrix.
//
//     load_probe [--flags N] [--max-bytes N] [--limit MIB] [--read] [--mesh] FILE...
//
//   --flags N      ZelLoadOptions.flags (the ZEL_LOAD_* bits)
//   --max-bytes N  ZelLoadOptions.maxbytes
//   --limit MIB    first limits the process's address space (RLIMIT_AS) to MIB mebibytes
//   --read         reads with zelReadOBJ instead, which ends the process on a failure
//   --mesh         makes each loaded model's flat mesh (facet normals first) and prints "mesh", or
//                  "no mesh" when zelMakeMesh returns NULL
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zel.h"

int main(int argc, char** argv) {
    ZelLoadOptions options{};
    bool read = false, mesh = false;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i++) {
        if (std::strcmp(argv[i], "--read") == 0) {
            read = true;
        } else if (std::strcmp(argv[i], "--mesh") == 0) {
            mesh = true;
        } else if (i + 1 < argc && std::strcmp(argv[i], "--flags") == 0) {
            options.flags = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (i + 1 < argc && std::strcmp(argv[i], "--max-bytes") == 0) {
            options.maxbytes = std::strtoull(argv[++i], nullptr, 0);
        } else if (i + 1 < argc && std::strcmp(argv[i], "--limit") == 0) {
            const rlim_t bytes = static_cast<rlim_t>(std::strtoull(argv[++i], nullptr, 0)) << 20;
            const struct rlimit limit = {bytes, bytes};
            if (setrlimit(RLIMIT_AS, &limit) != 0) {
                std::perror("setrlimit");
                return 2;
            }
        } else {
            std::fprintf(stderr, "load_probe: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    for (; i < argc; i++) {
        ZelError error;
        ZelModel* model = read ? zelReadOBJ(argv[i]) : zelLoadOBJ(argv[i], &options, &error);
        if (!model) {
            std::printf("%s\n", error.message);
            continue;
        }
        std::printf("loaded\nvertices: %u\ncolors: %d\ntriangles: %u\ngroups: %u\nmaterials: %u\n",
                    model->vertexcount, model->colors != nullptr, model->trianglecount,
                    model->groupcount, model->materialcount);
        if (mesh) {
            zelComputeFacetNormals(model);
            ZelMesh* made = zelMakeMesh(model, ZEL_FLAT);
            std::printf(made ? "mesh\n" : "no mesh\n");
            zelFreeMesh(made);
        }
        zelFreeModel(model);
    }
    std::printf("went on\n");
    return 0;
}
