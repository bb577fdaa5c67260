// Memory that runs out in the operations that end the process: one line and exit status 1, never a
// crash. Each runs in a death test's child whose address space is capped just above what it
// already holds. (The loads and meshes are in the bad-input matrix.) AddressSanitizer reserves far
// more address space than such a cap allows, so the cases are left out under it.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "hand_models.h"
#include "zel.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZEL_NO_MEMORY_CAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZEL_NO_MEMORY_CAP 1
#endif
#endif

namespace {

// Caps the address space at what the process maps now plus `more` bytes.
[[maybe_unused]] void capAddressSpace(size_t more) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t bytes =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + more;
    const struct rlimit limit = {bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

TEST(OutOfMemoryDeathTest, OperationsThatEndTheProcessPrintOneLine) {
#ifdef ZEL_NO_MEMORY_CAP
    GTEST_SKIP() << "no address-space cap under the sanitizers";
#else
    // Large blocks are mapped for each allocation and unmapped when freed, so that none of what the
    // set-up freed is still at hand when the cap comes.
    mallopt(M_MMAP_THRESHOLD, 1 << 16);
    mallopt(M_TRIM_THRESHOLD, 1 << 16);
    // Two million triangles over one vertex strip: every operation below needs tens of MiB.
    const uint32_t triangles = 2000000;
    std::vector<zeltest::Vec3> positions;
    std::vector<zeltest::Corners> corners;
    for (uint32_t i = 0; i < triangles + 2; i++)
        positions.push_back({static_cast<float>(i), static_cast<float>(i % 7), 0.0f});
    for (uint32_t i = 0; i < triangles; i++) corners.push_back({i + 1, i + 2, i + 3});
    ZelModel* model = zeltest::handModel(positions, corners);
    zelComputeFacetNormals(model);
    zelVertexNormals(model, 90.0f);

    struct Case {
        const char* operation;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"zelComputeFacetNormals", [&] { zelComputeFacetNormals(model); }},
        {"zelVertexNormals", [&] { zelVertexNormals(model, 45.0f); }},
        {"zelPlanarTexCoords", [&] { zelPlanarTexCoords(model); }},
        {"zelSphereTexCoords", [&] { zelSphereTexCoords(model); }},
        {"zelWeldVertices", [&] { zelWeldVertices(model, 0.5f); }},
        // The quiet mesh build returns what zelMakeMesh prints; the child prints it and exits.
        {"zelMakeMesh",
         [&] {
             ZelError error;
             if (zelBuildMesh(model, ZEL_SMOOTH, nullptr, &error) || !error.outofmemory) return;
             std::fprintf(stderr, "%s\n", error.message);
             std::exit(1);
         }},
    };
    for (const Case& c : cases) {
        const std::string line = std::string(c.operation) + "\\(\\) failed: out of memory\\.\n";
        EXPECT_EXIT(
            {
                capAddressSpace(size_t{1} << 20);
                c.run();
            },
            ::testing::ExitedWithCode(1), "^" + line + "$")
            << c.operation;
    }
    zelFreeModel(model);
#endif
}

}  // namespace
