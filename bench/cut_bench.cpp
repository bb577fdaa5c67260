// Cutting benchmark: single concave faces of many corners (a star, a comb, a spiral, a random
// star-shaped face), and the quick path of convex quads against writing their fan alone. A face
// the cutter gives up on (its ear tests past their bound) is shown as such.
//
// Usage: cut_bench [corners]   (default 100000)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "polygon.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Face {
    const char* name;
    std::vector<float> positions;
};

void add(std::vector<float>& out, double x, double y) {
    out.insert(out.end(), {static_cast<float>(x), static_cast<float>(y), 0.0f});
}

std::vector<Face> faces(uint32_t corners) {
    std::vector<Face> out;
    Face star{"star", {}};
    for (uint32_t i = 0; i < corners; i++) {
        const double angle = 2 * M_PI * i / corners, r = i % 2 ? 0.9 : 1.0;
        add(star.positions, r * std::cos(angle), r * std::sin(angle));
    }
    out.push_back(star);
    Face comb{"comb", {}};
    const uint32_t teeth = corners / 4;
    add(comb.positions, 0, 0);
    add(comb.positions, 2.0 * teeth - 1, 0);
    for (uint32_t i = teeth; i-- > 0;) {
        add(comb.positions, 2.0 * i + 1, 5);
        add(comb.positions, 2.0 * i, 5);
        if (i > 0) {
            add(comb.positions, 2.0 * i, 1);
            add(comb.positions, 2.0 * i - 1, 1);
        }
    }
    out.push_back(comb);
    Face spiral{"spiral", {}};
    std::vector<float> inner;
    for (uint32_t i = 0; i < corners / 2; i++) {
        const double angle = 0.01 * i, r = 1 + 0.5 * angle;
        add(spiral.positions, r * std::cos(angle), r * std::sin(angle));
        add(inner, (r - 0.5) * std::cos(angle), (r - 0.5) * std::sin(angle));
    }
    for (size_t i = inner.size(); i >= 3; i -= 3)
        spiral.positions.insert(spiral.positions.end(), &inner[i - 3], &inner[i]);
    out.push_back(spiral);
    Face random{"random star-shaped", {}};
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (uint32_t i = 0; i < corners; i++) {
        const double angle = 2 * M_PI * i / corners, r = 0.2 + unit(generator);
        add(random.positions, r * std::cos(angle), r * std::sin(angle));
    }
    out.push_back(random);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t corners = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 100000;
    zel::PolygonCutter cutter;
    std::printf("one concave face of about %u corners, cut by ear clipping:\n", corners);
    for (const Face& face : faces(corners)) {
        const uint32_t count = static_cast<uint32_t>(face.positions.size() / 3);
        std::vector<uint32_t> triangles(3 * size_t{count - 2});
        double best = 1e30;
        bool fan = false;
        for (int run = 0; run < 3; run++) {
            const Clock::time_point start = Clock::now();
            fan = cutter.cut(face.positions.data(), count, triangles.data());
            best = std::min(best, secondsSince(start));
        }
        std::printf("  %-20s %7u corners  %8.1f ms%s\n", face.name, count, best * 1e3,
                    fan ? "  (past the ear test bound: the fan)" : "");
    }

    // Convex quads: what the cutter's convexity test adds to writing the fan.
    const uint32_t quads = 1000000;
    std::vector<float> positions;
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    for (uint32_t q = 0; q < quads; q++) {
        add(positions, jitter(generator), jitter(generator));
        add(positions, 1 + jitter(generator), jitter(generator));
        add(positions, 1 + jitter(generator), 1 + jitter(generator));
        add(positions, jitter(generator), 1 + jitter(generator));
    }
    std::vector<uint32_t> triangles(6 * size_t{quads});
    Clock::time_point start = Clock::now();
    uint32_t fans = 0;
    for (uint32_t q = 0; q < quads; q++)
        fans += cutter.cut(&positions[12 * size_t{q}], 4, &triangles[6 * size_t{q}]);
    const double cut = secondsSince(start);
    start = Clock::now();
    for (uint32_t q = 0; q < quads; q++) {
        uint32_t* t = &triangles[6 * size_t{q}];
        t[0] = 0, t[1] = 1, t[2] = 2, t[3] = 0, t[4] = 2, t[5] = 3;
    }
    const double fanOnly = secondsSince(start);
    std::printf(
        "%u convex quads: %.1f ns each through the cutter (%u fans), %.1f ns writing "
        "the fan alone\n",
        quads, cut * 1e9 / quads, fans, fanOnly * 1e9 / quads);
    return fans == quads ? 0 : 1;
}
