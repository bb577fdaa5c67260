// Cutting faces into triangles: every cut must cover its polygon exactly once (checked by sampling
// points: each point inside lies in exactly one triangle, each point outside in none), with
// count - 2 triangles winding as the face; convex and degenerate faces must give the fan.
#include "polygon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct P2 {
    double x, y;
};

double cross(P2 o, P2 a, P2 b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double signedArea(const std::vector<P2>& poly) {
    double area = 0;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
        area += poly[j].x * poly[i].y - poly[i].x * poly[j].y;
    return area / 2;
}

bool insidePolygon(const std::vector<P2>& poly, P2 p) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
        if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
            p.x < poly[j].x + (p.y - poly[j].y) * (poly[i].x - poly[j].x) / (poly[i].y - poly[j].y))
            in = !in;
    return in;
}

double segmentDistance(P2 p, P2 a, P2 b) {
    const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
    double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Places the plane's (x, y) in space: the xy plane, two other axis planes and a tilted plane, each
// with a height that bends the face out of its plane by `bend` times x * y, and every other corner
// by `bend` more.
std::vector<float> place(const std::vector<P2>& poly, int plane, double bend) {
    std::vector<float> out;
    for (size_t i = 0; i < poly.size(); i++) {
        const P2 p = poly[i];
        const double h = bend * (p.x * p.y + static_cast<double>(i % 2));
        double xyz[3];
        switch (plane) {
            case 0:
                xyz[0] = p.x, xyz[1] = p.y, xyz[2] = h;
                break;
            case 1:
                xyz[0] = h, xyz[1] = p.x, xyz[2] = p.y;
                break;
            case 2:
                xyz[0] = p.y, xyz[1] = h, xyz[2] = p.x;
                break;
            default:  // tilted: rows of a rotation
                xyz[0] = 0.8 * p.x - 0.36 * p.y + 0.48 * h;
                xyz[1] = 0.6 * p.x + 0.48 * p.y - 0.64 * h;
                xyz[2] = 0.8 * p.y + 0.6 * h;
        }
        out.insert(out.end(), {float(xyz[0]), float(xyz[1]), float(xyz[2])});
    }
    return out;
}

// Checks a cut of a simple polygon against the polygon in its own plane.
void expectCovers(const std::vector<P2>& poly, const std::vector<uint32_t>& tris,
                  const std::string& what) {
    const double area = signedArea(poly), sign = area > 0 ? 1 : -1;
    double sum = 0;
    for (size_t t = 0; t < tris.size(); t += 3) {
        const double a = cross(poly[tris[t]], poly[tris[t + 1]], poly[tris[t + 2]]) / 2;
        EXPECT_GE(a * sign, -1e-6 * std::fabs(area))
            << what << ": triangle " << t / 3 << " flipped";
        sum += a;
    }
    EXPECT_NEAR(sum, area, 1e-6 * std::fabs(area)) << what;
    double lowX = poly[0].x, highX = lowX, lowY = poly[0].y, highY = lowY;
    for (P2 p : poly) {
        lowX = std::min(lowX, p.x), highX = std::max(highX, p.x);
        lowY = std::min(lowY, p.y), highY = std::max(highY, p.y);
    }
    const double margin = 1e-4 * std::max(highX - lowX, highY - lowY);
    const int kSteps = 53;
    int wrong = 0;
    for (int i = 0; i <= kSteps; i++)
        for (int j = 0; j <= kSteps; j++) {
            P2 p{lowX + (highX - lowX) * (i + 0.37) / (kSteps + 1),
                 lowY + (highY - lowY) * (j + 0.61) / (kSteps + 1)};
            double nearest = INFINITY;
            for (size_t k = 0, l = poly.size() - 1; k < poly.size(); l = k++)
                nearest = std::min(nearest, segmentDistance(p, poly[l], poly[k]));
            if (nearest < margin) continue;
            // A point near a triangle's edge (a diagonal) is not counted either way.
            int covering = 0;
            bool near = false;
            for (size_t t = 0; t < tris.size() && !near; t += 3) {
                double least = INFINITY;
                for (int k = 0; k < 3; k++) {
                    P2 a = poly[tris[t + k]], b = poly[tris[t + (k + 1) % 3]];
                    const double length = std::hypot(b.x - a.x, b.y - a.y);
                    least = std::min(least, length > 0 ? cross(a, b, p) * sign / length : 0.0);
                }
                covering += least > margin;
                near = std::fabs(least) <= margin;
            }
            if (!near) wrong += covering != (insidePolygon(poly, p) ? 1 : 0);
        }
    EXPECT_EQ(wrong, 0) << what << ": sample points covered other than once";
}

std::vector<P2> reversed(std::vector<P2> poly) {
    std::reverse(poly.begin(), poly.end());
    return poly;
}

std::vector<P2> star(int spikes, double inner) {
    std::vector<P2> poly;
    for (int i = 0; i < 2 * spikes; i++) {
        const double angle = M_PI * i / spikes, r = i % 2 ? inner : 1;
        poly.push_back({r * std::cos(angle), r * std::sin(angle)});
    }
    return poly;
}

std::vector<P2> spiral(int turns) {
    std::vector<P2> outer, inner;
    for (int i = 0; i <= 12 * turns; i++) {
        const double angle = M_PI * i / 6, r = 1 + 0.5 * angle;
        outer.push_back({r * std::cos(angle), r * std::sin(angle)});
        inner.push_back({(r - 0.8) * std::cos(angle), (r - 0.8) * std::sin(angle)});
    }
    outer.insert(outer.end(), inner.rbegin(), inner.rend());
    return outer;
}

// Teeth 1 wide and 4 long on a band 1 high.
std::vector<P2> comb(int teeth) {
    std::vector<P2> poly{{0, 0}, {2.0 * teeth - 1, 0}};
    for (int i = teeth; i-- > 0;) {
        poly.insert(poly.end(), {{2.0 * i + 1, 5}, {2.0 * i, 5}});
        if (i > 0) poly.insert(poly.end(), {{2.0 * i, 1}, {2.0 * i - 1, 1}});
    }
    return poly;
}

std::vector<uint32_t> cutOf(const std::vector<P2>& poly, int plane, double bend, bool* fan) {
    std::vector<float> positions = place(poly, plane, bend);
    std::vector<uint32_t> tris(3 * (poly.size() - 2));
    zel::PolygonCutter cutter;
    *fan = cutter.cut(positions.data(), static_cast<uint32_t>(poly.size()), tris.data());
    return tris;
}

std::vector<uint32_t> fanOf(size_t count) {
    std::vector<uint32_t> fan;
    for (uint32_t i = 1; i + 1 < count; i++) fan.insert(fan.end(), {0, i, i + 1});
    return fan;
}

TEST(PolygonCut, CoversEverySimplePolygonExactlyOnceInAnyPlaneAndWinding) {
    struct Case {
        const char* name;
        std::vector<P2> poly;
        double bend;  // out of the plane: the face is cut in its projection
    };
    const std::vector<Case> cases = {
        {"L", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}, 0},
        {"U", {{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}, 0},
        {"star", star(7, 0.3), 0},
        {"spiral", spiral(3), 0},
        {"comb", comb(12), 0},
        {"hole touched by a bridge",
         {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {4, 4}, {4, 6}, {6, 6}, {6, 4}, {4, 4}},
         0},
        {"non-planar L", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}, 0.05},
        {"collinear and repeated corners",
         {{0, 0},
          {1, 0},
          {2, 0},
          {2, 0},
          {2, 1},
          {1.5, 1},
          {1, 1},
          {1, 2},
          {1, 3},
          {0, 3},
          {0, 1.5}},
         0},
        {"notch in a long edge", {{0, 0}, {4, 0}, {4, 1}, {2.1, 1}, {2, 0.5}, {1.9, 1}, {0, 1}}, 0},
    };
    for (const Case& c : cases)
        for (bool clockwise : {false, true})
            for (int plane = 0; plane < 4; plane++) {
                const std::vector<P2> poly = clockwise ? reversed(c.poly) : c.poly;
                const std::string what = std::string(c.name) + (clockwise ? " cw" : " ccw") +
                                         " plane " + std::to_string(plane);
                bool fan;
                std::vector<uint32_t> tris = cutOf(poly, plane, c.bend, &fan);
                EXPECT_FALSE(fan) << what;
                expectCovers(poly, tris, what);
            }
}

TEST(PolygonCut, ConvexAndDegenerateFacesGiveTheFan) {
    struct Case {
        const char* name;
        std::vector<P2> poly;
        double bend;
    };
    const std::vector<Case> cases = {
        {"triangle", {{0, 0}, {1, 0}, {0, 1}}, 0},
        {"square", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0},
        {"skew quad", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 3},
        {"convex with a straight corner", {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}}, 0},
        {"regular 40-gon", star(20, 1), 0},
        {"bow tie (edges cross)", {{0, 0}, {2, 2}, {2, 0}, {0, 2}}, 0},
        {"figure eight", {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1.5, 2}, {1.5, -1}, {0, -1}}, 0},
        {"no area", {{0, 0}, {1, 0}, {2, 0}, {1, 0}}, 0},
        {"one point", {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}}, 0},
        {"star folded far out of its plane (a crown)", star(5, 0.4), 40},
    };
    for (const Case& c : cases)
        for (int plane = 0; plane < 4; plane++) {
            bool fan;
            std::vector<uint32_t> tris = cutOf(c.poly, plane, c.bend, &fan);
            EXPECT_TRUE(fan) << c.name << " plane " << plane;
            EXPECT_EQ(tris, fanOf(c.poly.size())) << c.name << " plane " << plane;
        }
    // Non-finite corners never reach the clipping.
    const float nan = NAN;
    std::vector<float> positions = {0, 0, 0, 2, 0, 0, 1, 1, 0, nan, 2, 0, 0, 2, 0};
    std::vector<uint32_t> tris(9);
    EXPECT_TRUE(zel::PolygonCutter().cut(positions.data(), 5, tris.data()));
    EXPECT_EQ(tris, fanOf(5));
}

void cutRandomPolygons(int rounds) {
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    zel::PolygonCutter cutter;
    for (int round = 0; round < rounds; round++) {
        std::vector<P2> poly;
        const int n = 4 + static_cast<int>(unit(random) * 60);
        if (round % 2 == 0) {
            std::vector<double> angles;
            for (int i = 0; i < n; i++) angles.push_back(unit(random) * 2 * M_PI);
            std::sort(angles.begin(), angles.end());
            for (double a : angles) {
                const double r = 0.1 + unit(random);
                poly.push_back({r * std::cos(a), r * std::sin(a)});
            }
        } else {  // a histogram: columns of random heights on a base
            poly.push_back({0, 0});
            poly.push_back({double(n), 0});
            for (int i = n; i > 0; i--) {
                const double h = 1 + std::floor(unit(random) * 8);
                poly.push_back({double(i), h});
                poly.push_back({double(i - 1), h});
            }
        }
        if (round % 3 == 0) poly = reversed(poly);
        const std::string what = "round " + std::to_string(round);
        std::vector<float> positions = place(poly, round % 4, 0);
        std::vector<uint32_t> tris(3 * (poly.size() - 2));
        cutter.cut(positions.data(), static_cast<uint32_t>(poly.size()), tris.data());
        expectCovers(poly, tris, what);
    }
}

TEST(PolygonCut, RandomStarShapedAndOrthogonalPolygons) {
    cutRandomPolygons(200);
}

}  // namespace
