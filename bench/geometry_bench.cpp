// Geometry benchmark: the grid weld against the linear-scan weld, and vertex normals built on one
// sorted corner array against the per-node linked lists. Every fast result is checked against its
// baseline (same count, same bits) before its time is printed.
//
// Usage: geometry_bench [positions] [triangles]   (defaults 1000000 and 2000000)
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "geometry_reference.h"
#include "zel_internal.h"

namespace {

// This machine is shared: the figures are the thread's CPU time (best of a few runs), which other
// processes disturb far less than the wall time they are also shown with.
struct Time {
    double cpu = 1e30;
    double wall = 1e30;
};

double cpuNow() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Best times of `runs` runs of `work`.
Time best(int runs, const std::function<void()>& work) {
    Time t;
    for (int r = 0; r < runs; r++) {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = cpuNow();
        work();
        t.cpu = std::min(t.cpu, cpuNow() - cpuStart);
        t.wall = std::min(
            t.wall,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
    }
    return t;
}

void row(const std::string& what, size_t n, const char* method, Time t, const Time* baseline) {
    char ratio[16] = "";
    if (baseline) std::snprintf(ratio, sizeof ratio, "%.1f", baseline->cpu / t.cpu);
    std::printf("| %-38s | %9zu | %-23s | %9.1f | %9.1f | %8s |\n", what.c_str(), n, method,
                t.cpu * 1e3, t.wall * 1e3, ratio);
}

[[noreturn]] void mismatch(const char* what) {
    std::fprintf(stderr, "MISMATCH: %s\n", what);
    std::exit(1);
}

// ---- Weld inputs
// ---------------------------------------------------------------------------------

// A triangle soup of a wavy grid: six corners per quad, so every inner vertex appears six times;
// one corner in four is moved by up to epsilon / 4. In mesh order, 1-based, slot 0 zero.
std::vector<float> soup(size_t n, float epsilon, std::mt19937& rng) {
    const size_t side = static_cast<size_t>(std::sqrt(n / 6.0)) + 2;
    std::uniform_real_distribution<float> jitter(-epsilon / 4, epsilon / 4);
    std::vector<float> p(3);
    auto corner = [&](size_t i, size_t j) {
        const float x = float(i) / side, z = float(j) / side;
        float y = 0.1f * std::sin(7 * x) * std::cos(5 * z);
        const bool move = rng() % 4 == 0;
        p.push_back(x + (move ? jitter(rng) : 0));
        p.push_back(y + (move ? jitter(rng) : 0));
        p.push_back(z + (move ? jitter(rng) : 0));
    };
    for (size_t i = 0; i < side && p.size() / 3 - 1 < n; i++)
        for (size_t j = 0; j < side && p.size() / 3 - 1 < n; j++) {
            const size_t quad[6][2] = {{i, j}, {i + 1, j},     {i + 1, j + 1},
                                       {i, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& c : quad)
                if (p.size() / 3 - 1 < n) corner(c[0], c[1]);
        }
    return p;
}

// A shuffled cloud: points uniform in the unit cube, each appearing one to four times within
// epsilon / 3 of itself.
std::vector<float> cloud(size_t n, float epsilon, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0, 1), jitter(-epsilon / 3, epsilon / 3);
    std::vector<std::array<float, 3>> points;
    while (points.size() < n) {
        const std::array<float, 3> base = {unit(rng), unit(rng), unit(rng)};
        const int copies = 1 + int(rng() % 4);
        for (int c = 0; c < copies && points.size() < n; c++)
            points.push_back({base[0] + jitter(rng), base[1] + jitter(rng), base[2] + jitter(rng)});
    }
    std::shuffle(points.begin(), points.end(), rng);
    std::vector<float> p(3, 0.0f);
    for (const auto& q : points) p.insert(p.end(), q.begin(), q.end());
    return p;
}

void benchWeld(const char* name, const std::vector<float>& all, size_t linearSize, float epsilon) {
    const size_t n = all.size() / 3 - 1;
    const size_t small = std::min(linearSize, n);

    // The same prefix through both welds; results must agree bit for bit.
    std::vector<float> slowIn(all.begin(), all.begin() + 3 * (small + 1));
    std::vector<float> fastIn = slowIn;
    uint32_t slowCount = uint32_t(small), fastCount = uint32_t(small);
    float* slowOut = nullptr;
    const Time slow = best(
        1, [&] { slowOut = zeltest::referenceWeldPositions(slowIn.data(), &slowCount, epsilon); });
    float* fastOut = nullptr;
    const Time fast = best(3, [&] {
        std::free(fastOut);
        std::vector<float> in(all.begin(), all.begin() + 3 * (small + 1));
        fastCount = uint32_t(small);
        fastOut = zelWeldPositions(in.data(), &fastCount, epsilon);
        fastIn.swap(in);
    });
    if (fastCount != slowCount ||
        std::memcmp(fastOut + 3, slowOut + 3, size_t(fastCount) * 3 * sizeof(float)) != 0 ||
        fastIn != slowIn)
        mismatch(name);
    std::free(slowOut);
    std::free(fastOut);

    std::string what = std::string("weld ") + name + " (" + std::to_string(slowCount) + " kept)";
    row(what, small, "linear scan (baseline)", slow, &slow);
    row(what, small, "hash grid", fast, &slow);

    uint32_t count = uint32_t(n);
    const Time full = best(3, [&] {
        std::vector<float> in = all;
        count = uint32_t(n);
        std::free(zelWeldPositions(in.data(), &count, epsilon));
    });
    what = std::string("weld ") + name + " (" + std::to_string(count) + " kept)";
    row(what, n, "hash grid", full, nullptr);
}

// ---- Normals input
// -------------------------------------------------------------------------------

// A bumpy height field of side x side quads, two triangles each.
ZelModel* terrain(size_t triangles) {
    const size_t side = static_cast<size_t>(std::sqrt(triangles / 2.0));
    ZelModel* m = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
    m->vertexcount = uint32_t((side + 1) * (side + 1));
    m->vertices = static_cast<float*>(std::calloc((size_t(m->vertexcount) + 1) * 3, sizeof(float)));
    for (size_t i = 0; i <= side; i++)
        for (size_t j = 0; j <= side; j++) {
            float* v = m->vertices + 3 * (1 + i * (side + 1) + j);
            const float x = float(i) / side, z = float(j) / side;
            v[0] = x;
            v[1] = 0.05f * std::sin(40 * x) * std::cos(30 * z) +
                   (((i * 7 + j * 13) % 5 == 0) ? 0.01f : 0);
            v[2] = z;
        }
    m->trianglecount = uint32_t(2 * side * side);
    m->triangles = static_cast<ZelTriangle*>(std::calloc(m->trianglecount, sizeof(ZelTriangle)));
    size_t t = 0;
    for (size_t i = 0; i < side; i++)
        for (size_t j = 0; j < side; j++) {
            const uint32_t a = uint32_t(1 + i * (side + 1) + j), b = a + 1;
            const uint32_t c = a + uint32_t(side + 1), d = c + 1;
            const uint32_t tri[2][3] = {{a, b, d}, {a, d, c}};
            for (const auto& corners : tri) {
                std::memcpy(m->triangles[t].vertexidx, corners, sizeof corners);
                t++;
            }
        }
    return m;
}

void benchNormals(size_t triangles, float angle) {
    ZelModel* fast = terrain(triangles);
    ZelModel* slow = terrain(triangles);
    const Time facets = best(3, [&] { zelComputeFacetNormals(fast); });
    zelComputeFacetNormals(slow);

    const Time baseline = best(1, [&] { zeltest::referenceVertexNormals(slow, angle); });
    const Time grouped = best(3, [&] { zelVertexNormals(fast, angle); });

    if (fast->normalcount != slow->normalcount ||
        std::memcmp(fast->normals + 3, slow->normals + 3,
                    size_t(fast->normalcount) * 3 * sizeof(float)) != 0)
        mismatch("vertex normals");
    for (uint32_t t = 0; t < fast->trianglecount; t++)
        if (std::memcmp(fast->triangles[t].normalidx, slow->triangles[t].normalidx,
                        sizeof fast->triangles[t].normalidx) != 0)
            mismatch("normal indices");

    char what[80];
    row("facet normals", fast->trianglecount, "one pass", facets, nullptr);
    std::snprintf(what, sizeof what, "vertex normals %g deg (%u made)", angle, fast->normalcount);
    row(what, fast->trianglecount, "linked lists (baseline)", baseline, &baseline);
    row(what, fast->trianglecount, "sorted corners", grouped, &baseline);
    zelFreeModel(fast);
    zelFreeModel(slow);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t positions = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    const size_t triangles = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000000;
    std::mt19937 rng(12345);

    std::printf("| %-38s | %9s | %-23s | %9s | %9s | %8s |\n", "operation", "size", "method",
                "cpu ms", "wall ms", "speed-up");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(40, '-').c_str(), std::string(11, '-').c_str(),
                std::string(25, '-').c_str(), std::string(11, '-').c_str(),
                std::string(11, '-').c_str(), std::string(10, '-').c_str());
    const float epsilon = 1e-4f;
    benchWeld("soup", soup(positions, epsilon, rng), 40000, epsilon);
    benchWeld("cloud", cloud(positions, epsilon, rng), 20000, epsilon);
    benchNormals(triangles, 90);
    benchNormals(triangles, 30);
    return 0;
}
