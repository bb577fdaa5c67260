// Vertex welding: the box test, the lowest-index rule, the model update, and the grid-based weld
// against the plain linear scan.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "geometry_reference.h"
#include "hand_models.h"
#include "test_models.h"
#include "zel_internal.h"

namespace {

using zeltest::Corners;
using zeltest::handModel;
using zeltest::Vec3;

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A 1-based position array (slot 0 zero) from the given positions.
std::vector<float> positionArray(const std::vector<Vec3>& points) {
    std::vector<float> a(3 * (points.size() + 1), 0.0f);
    for (size_t i = 0; i < points.size(); i++) {
        a[3 * (i + 1)] = points[i].x;
        a[3 * (i + 1) + 1] = points[i].y;
        a[3 * (i + 1) + 2] = points[i].z;
    }
    return a;
}

struct Welded {
    std::vector<float> positions;  // 1-based welded positions, slot 0 included
    std::vector<float> carriers;   // the x entries of the input afterwards, 1-based
};

Welded weld(std::vector<Vec3> points, float epsilon) {
    std::vector<float> in = positionArray(points);
    uint32_t count = static_cast<uint32_t>(points.size());
    float* out = zelWeldPositions(in.data(), &count, epsilon);
    Welded w;
    w.positions.assign(out, out + 3 * (size_t(count) + 1));
    std::free(out);
    w.carriers.push_back(0);
    for (size_t i = 1; i <= points.size(); i++) w.carriers.push_back(in[3 * i]);
    return w;
}

size_t weldedCount(const Welded& w) {
    return w.positions.size() / 3 - 1;
}

void expectPosition(const Welded& w, size_t i, Vec3 p) {
    ASSERT_LE(i, weldedCount(w));
    const float expected[3] = {p.x, p.y, p.z};
    EXPECT_EQ(0, std::memcmp(&w.positions[3 * i], expected, sizeof expected))
        << "welded position " << i << " is (" << w.positions[3 * i] << ", "
        << w.positions[3 * i + 1] << ", " << w.positions[3 * i + 2] << ")";
}

// ---- The box test ------------------------------------------------------------------------------

struct NearCase {
    Vec3 u, v;
    float epsilon;
    bool near;
};

void PrintTo(const NearCase& c, std::ostream* os) {
    *os << "(" << c.u.x << ", " << c.u.y << ", " << c.u.z << ") and (" << c.v.x << ", " << c.v.y
        << ", " << c.v.z << ") within " << c.epsilon;
}

class NearlyEqualCases : public testing::TestWithParam<NearCase> {};

TEST_P(NearlyEqualCases, AreDecidedPerAxisAndStrictly) {
    const NearCase c = GetParam();
    const float u[3] = {c.u.x, c.u.y, c.u.z}, v[3] = {c.v.x, c.v.y, c.v.z};
    EXPECT_EQ(zel::nearlyEqual(u, v, c.epsilon), c.near);
    EXPECT_EQ(zel::nearlyEqual(v, u, c.epsilon), c.near);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, NearlyEqualCases,
    testing::Values(NearCase{{0, 0, 0}, {0.05f, 0.05f, 0.05f}, 0.06f, true},  // corner of the box
                    NearCase{{0, 0, 0}, {0.5f, 0, 0}, 0.5f, false},           // exactly epsilon
                    NearCase{{0, 0, 0}, {0, 0.5f, 0}, 0.5f, false},
                    NearCase{{0, 0, 0}, {0, 0, 0.5f}, 0.5f, false},
                    NearCase{{0, 0, 0}, {0, 0, std::nextafter(0.5f, 0.0f)}, 0.5f, true},
                    NearCase{{1, 2, 3}, {1, 2, 3}, 0.0f, false},  // epsilon 0: nothing is near
                    NearCase{{1, 2, 3}, {1, 2, 3}, -1.0f, false},
                    NearCase{{1, 2, 3}, {1, 2, 3}, kNaN, false},
                    NearCase{{0, 0, 0}, {-0.0f, 0, -0.0f}, 1e-30f, true},
                    NearCase{{kNaN, 0, 0}, {kNaN, 0, 0}, 1.0f, false},
                    NearCase{{kInf, 0, 0}, {kInf, 0, 0}, kInf, false},  // inf - inf is NaN
                    NearCase{{0, 0, 0}, {1e30f, 0, 0}, kInf, true},
                    NearCase{{FLT_MAX, 0, 0}, {-FLT_MAX, 0, 0}, kInf, false},  // overflows
                    // 1 - 0.99999994 = 5.96e-8 exactly; below 6e-8 on x, y and z.
                    NearCase{{1, 1, 1}, {0.99999994f, 0.99999994f, 0.99999994f}, 6e-8f, true}));

TEST(NearlyEqual, FloatDifferenceIsTestedNotTheRealOne) {
    // 1 - 2^-25 lies below 1 but rounds to the float 1, which is not below an epsilon of 1.
    const float u[3] = {1, 0, 0}, v[3] = {0x1p-25f, 0, 0};
    EXPECT_FALSE(zel::nearlyEqual(u, v, 1.0f));
    EXPECT_TRUE(zel::nearlyEqual(u, v, std::nextafter(1.0f, 2.0f)));
}

// ---- zelWeldPositions: the documented examples -------------------------------------------------

TEST(WeldPositions, LaterPositionGoesToTheFirstOfItsCluster) {
    const Welded w = weld({{0, 0, 0}, {0.05f, 0, 0}, {0.09f, 0, 0}}, 0.06f);
    ASSERT_EQ(weldedCount(w), 2u);
    expectPosition(w, 1, {0, 0, 0});
    expectPosition(w, 2, {0.09f, 0, 0});  // 0.04 from the dropped 0.05, but 0.09 from the first
    EXPECT_EQ(w.carriers[1], 1.0f);
    EXPECT_EQ(w.carriers[2], 1.0f);
    EXPECT_EQ(w.carriers[3], 2.0f);
}

TEST(WeldPositions, ToleranceIsABoxNotASphere) {
    const Welded w = weld({{0, 0, 0}, {0.05f, 0.05f, 0.05f}}, 0.06f);
    EXPECT_EQ(weldedCount(w), 1u);
    EXPECT_EQ(w.carriers[2], 1.0f);
}

TEST(WeldPositions, DifferenceOfExactlyEpsilonKeepsPositionsApart) {
    const Welded w = weld({{0, 0, 0}, {0.5f, 0, 0}}, 0.5f);
    ASSERT_EQ(weldedCount(w), 2u);
    expectPosition(w, 2, {0.5f, 0, 0});
}

TEST(WeldPositions, GoesToTheLowestNumberedWeldedPositionInRange) {
    // Welded 1 at 0 and welded 2 at 1.5 (epsilon 1): 0.9 is within range of both, nearer to 2, and
    // goes to 1; 1.0 is exactly 1 from welded 1 and goes to 2.
    const Welded w =
        weld({{0, 0, 0}, {1.5f, 0, 0}, {0.9f, 0, 0}, {1.0f, 0, 0}, {2.0f, 0, 0}}, 1.0f);
    ASSERT_EQ(weldedCount(w), 2u);
    EXPECT_EQ(w.carriers[3], 1.0f);
    EXPECT_EQ(w.carriers[4], 2.0f);
    EXPECT_EQ(w.carriers[5], 2.0f);
}

TEST(WeldPositions, CountOfZeroGivesOnlySlotZero) {
    std::vector<float> in(3, 7.0f);
    uint32_t count = 0;
    float* out = zelWeldPositions(in.data(), &count, 0.1f);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out[0], 7.0f);  // slot 0 copied, as the plain weld does
    std::free(out);
}

TEST(WeldPositions, DistantPositionsStayInInputOrder) {
    const Welded w = weld({{5, 5, 5}, {-5, 0, 1}}, 0.01f);
    ASSERT_EQ(weldedCount(w), 2u);
    expectPosition(w, 1, {5, 5, 5});
    expectPosition(w, 2, {-5, 0, 1});
    EXPECT_EQ(w.carriers[1], 1.0f);
    EXPECT_EQ(w.carriers[2], 2.0f);
}

TEST(WeldPositions, LeavesYAndZOfTheInputAlone) {
    std::vector<float> in = positionArray({{1, 2, 3}, {1, 2, 3}});
    uint32_t count = 2;
    std::free(zelWeldPositions(in.data(), &count, 0.5f));
    EXPECT_EQ(in[4], 2.0f);
    EXPECT_EQ(in[5], 3.0f);
    EXPECT_EQ(in[7], 2.0f);
    EXPECT_EQ(in[8], 3.0f);
}

class NonPositiveEpsilon : public testing::TestWithParam<float> {};

TEST_P(NonPositiveEpsilon, MergesNothingNotEvenIdenticalPositions) {
    const Welded w = weld({{1, 1, 1}, {1, 1, 1}, {-0.0f, 0, 0}, {0, 0, 0}}, GetParam());
    ASSERT_EQ(weldedCount(w), 4u);
    for (size_t i = 1; i <= 4; i++) EXPECT_EQ(w.carriers[i], float(i));
    expectPosition(w, 3, {-0.0f, 0, 0});
}

INSTANTIATE_TEST_SUITE_P(Epsilons, NonPositiveEpsilon,
                         testing::Values(0.0f, -0.0f, -1.0f, -kInf, kNaN));

// ---- zelWeldPositions: extreme values ----------------------------------------------------------

TEST(WeldPositionsSoundness, NegativeZeroWeldsWithZero) {
    const Welded w = weld({{0, -0.0f, 0}, {-0.0f, 0, 0}}, 1e-30f);
    ASSERT_EQ(weldedCount(w), 1u);
    expectPosition(w, 1, {0, -0.0f, 0});
}

TEST(WeldPositionsSoundness, NaNAndInfinitePositionsNeverWeld) {
    const Welded w = weld({{kNaN, 0, 0},
                           {kNaN, 0, 0},
                           {kInf, 0, 0},
                           {kInf, 0, 0},
                           {0, -kInf, 0},
                           {0, 0, 0},
                           {0, 0, 0}},
                          1.0f);
    ASSERT_EQ(weldedCount(w), 6u);
    for (size_t i = 1; i <= 5; i++) EXPECT_EQ(w.carriers[i], float(i));
    EXPECT_EQ(w.carriers[6], 6.0f);
    EXPECT_EQ(w.carriers[7], 6.0f);
}

TEST(WeldPositionsSoundness, TinyEpsilonAgainstHugeCoordinates) {
    // Cell numbers of 3e38 / 1e-45 would overflow any integer; equal huge coordinates still weld
    // and neighbouring floats (2e31 apart) do not.
    const float big = 3e38f, next = std::nextafter(big, kInf);
    const Welded w =
        weld({{big, -big, 1}, {next, -big, 1}, {big, -big, 1}, {big, -big, 0x1p-149f}}, 0x1p-149f);
    ASSERT_EQ(weldedCount(w), 3u);
    EXPECT_EQ(w.carriers[3], 1.0f);
    EXPECT_EQ(w.carriers[4], 3.0f);  // 1 - 2^-149 on z is not below 2^-149
}

TEST(WeldPositionsSoundness, InfiniteEpsilonWeldsAllButOverflowingDifferences) {
    const Welded w = weld({{FLT_MAX, 0, 0}, {-FLT_MAX, 0, 0}, {1, 2, 3}, {-1e38f, 0, 0}}, kInf);
    ASSERT_EQ(weldedCount(w), 2u);
    EXPECT_EQ(w.carriers[2], 2.0f);
    EXPECT_EQ(w.carriers[3], 1.0f);
    EXPECT_EQ(w.carriers[4], 2.0f);  // FLT_MAX + 1e38 overflows; -FLT_MAX + 1e38 does not
}

// ---- zelWeldVertices
// -----------------------------------------------------------------------------

TEST(WeldVertices, DuplicatedVertexIsMergedAndLaterIndicesMoveDown) {
    ZelModel* m = zeltest::modelFromObj(
        "v 0 0 0 0 0 0\nv 1 0 0 0.5 0 0\nv 0 1 0\nv 1 0 0.001 1 1 0\nv 1 1 0 0 0 1\nvn 0 0 1\n"
        "vt 0.5 0.5\n"
        "f 1/1/1 2/1/1 3/1/1\nf 4/1/1 5/1/1 3/1/1\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    const std::vector<ZelTriangle> before(m->triangles, m->triangles + m->trianglecount);
    const float normal[3] = {m->normals[3], m->normals[4], m->normals[5]};

    zelWeldVertices(m, 0.01f);
    ASSERT_EQ(m->vertexcount, 4u);
    const float expected[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    EXPECT_EQ(0, std::memcmp(m->vertices + 3, expected, sizeof expected));
    const uint32_t corners[2][3] = {{1, 2, 3}, {2, 4, 3}};
    for (int t = 0; t < 2; t++) {
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(m->triangles[t].vertexidx[k], corners[t][k]);
            EXPECT_EQ(m->triangles[t].normalidx[k], before[t].normalidx[k]);
            EXPECT_EQ(m->triangles[t].texcoordidx[k], before[t].texcoordidx[k]);
        }
        EXPECT_EQ(m->triangles[t].facetidx, before[t].facetidx);
    }
    EXPECT_EQ(m->normalcount, 1u);
    EXPECT_EQ(0, std::memcmp(m->normals + 3, normal, sizeof normal));
    EXPECT_EQ(m->texcoordcount, 1u);
    // Each welded vertex keeps the colour of its first vertex: 4 went into 2.
    const float colors[] = {0, 0, 0, 0.5f, 0, 0, 1, 1, 1, 0, 0, 1};
    EXPECT_EQ(0, std::memcmp(m->colors + 3, colors, sizeof colors));
    zelFreeModel(m);
}

TEST(WeldVertices, NonPositiveEpsilonChangesNothing) {
    ZelModel* m = handModel({{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {{1, 2, 3}, {3, 2, 1}});
    zelWeldVertices(m, 0.0f);
    EXPECT_EQ(m->vertexcount, 3u);
    EXPECT_EQ(m->triangles[0].vertexidx[1], 2u);
    EXPECT_EQ(m->triangles[1].vertexidx[0], 3u);
    zelFreeModel(m);
}

TEST(WeldVerticesSoundness, IndexOutsideThePositionsIsLeftAlone) {
    ZelModel* m = handModel({{0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, {{2, 9, 0}, {3, 2, 1}});
    zelWeldVertices(m, 0.5f);
    EXPECT_EQ(m->vertexcount, 2u);
    EXPECT_EQ(m->triangles[0].vertexidx[0], 1u);
    EXPECT_EQ(m->triangles[0].vertexidx[1], 9u);
    EXPECT_EQ(m->triangles[0].vertexidx[2], 0u);
    EXPECT_EQ(m->triangles[1].vertexidx[0], 2u);
    zelFreeModel(m);
}

// More than 2^24 positions: a float map would turn 16777217 into 16777216.
constexpr uint32_t kBeyondFloat = (1u << 24) + 4;

ZelModel* bigModel(uint32_t count) {
    ZelModel* m = handModel({}, {{16777217, 16777219, 16777218}, {count, 1, 16777217}});
    std::free(m->vertices);
    m->vertexcount = count;
    m->vertices = static_cast<float*>(std::malloc((size_t(count) + 1) * 3 * sizeof(float)));
    return m;
}

TEST(WeldVerticesBeyondFloatRange, IdentityMapKeepsEveryIndex) {
    ZelModel* m = bigModel(kBeyondFloat);
    std::memset(m->vertices, 0, (size_t(kBeyondFloat) + 1) * 3 * sizeof(float));
    zelWeldVertices(m, 0.0f);  // merges nothing
    EXPECT_EQ(m->vertexcount, kBeyondFloat);
    EXPECT_EQ(m->triangles[0].vertexidx[0], 16777217u);
    EXPECT_EQ(m->triangles[0].vertexidx[1], 16777219u);
    EXPECT_EQ(m->triangles[0].vertexidx[2], 16777218u);
    EXPECT_EQ(m->triangles[1].vertexidx[0], kBeyondFloat);
    zelFreeModel(m);
}

TEST(WeldVerticesBeyondFloatRange, MergesKeepEveryIndex) {
    // 2^24 NaN positions (each its own welded position, and cheap), then four finite ones that the
    // grid welds into welded positions 16777217 and 16777218.
    const uint32_t count = kBeyondFloat;
    ZelModel* m = bigModel(count);
    float* v = m->vertices;
    for (uint32_t i = 1; i <= (1u << 24); i++)
        v[3 * size_t(i)] = v[3 * size_t(i) + 1] = v[3 * size_t(i) + 2] = kNaN;
    const float tail[4][3] = {{1, 2, 3}, {5, 5, 5}, {1, 2, 3.001f}, {5, 5, 5}};
    std::memcpy(&v[3 * size_t(16777217)], tail, sizeof tail);
    zelWeldVertices(m, 0.01f);
    ASSERT_EQ(m->vertexcount, count - 2);
    EXPECT_EQ(m->triangles[0].vertexidx[0], 16777217u);
    EXPECT_EQ(m->triangles[0].vertexidx[1], 16777217u);
    EXPECT_EQ(m->triangles[0].vertexidx[2], 16777218u);
    EXPECT_EQ(m->triangles[1].vertexidx[0], 16777218u);
    EXPECT_EQ(m->triangles[1].vertexidx[1], 1u);
    EXPECT_EQ(m->triangles[1].vertexidx[2], 16777217u);
    EXPECT_EQ(0, std::memcmp(&m->vertices[3 * size_t(16777217)], tail, 2 * sizeof tail[0]));
    zelFreeModel(m);
}

// ---- The grid weld against the linear scan -----------------------------------------------------

struct Cloud {
    std::string kind;
    float epsilon;
    std::vector<Vec3> points;
};

float nudge(std::mt19937& rng, float x) {
    const int steps = int(rng() % 5) - 2;  // -2..2 ulps
    for (int s = 0; s < steps; s++) x = std::nextafter(x, kInf);
    for (int s = 0; s > steps; s--) x = std::nextafter(x, -kInf);
    return x;
}

// Coordinates on a lattice of spacing epsilon around a centre, each nudged by a few ulps, so many
// pairs lie exactly epsilon apart or one ulp either side of it, with the float rounding of large
// centres; plus copies of earlier points moved by epsilon on one axis.
Cloud latticeCloud(std::mt19937& rng, size_t n) {
    const float epsilons[] = {0.1f, 0.01f, 0.06f, 0.3f, 1e-3f, 0.5f, 1e-6f};
    const float centres[] = {0, 1000, -1e5f, 0.5f, 3e4f, 1e-3f, 7.0f};
    Cloud c;
    c.kind = "lattice";
    c.epsilon = epsilons[rng() % 7];
    const float centre = centres[rng() % 7];
    const int span = 1 + int(rng() % 6);
    std::uniform_int_distribution<int> step(-span, span);
    for (size_t i = 0; i < n; i++) {
        if (i > 0 && rng() % 4 == 0) {
            Vec3 p = c.points[rng() % i];
            float* axis = rng() % 3 == 0 ? &p.x : rng() % 2 ? &p.y : &p.z;
            *axis = nudge(rng, *axis + (rng() % 2 ? c.epsilon : -c.epsilon));
            c.points.push_back(p);
            continue;
        }
        Vec3 p;
        p.x = nudge(rng, centre + float(step(rng)) * c.epsilon);
        p.y = nudge(rng, centre + float(step(rng)) * c.epsilon);
        p.z = nudge(rng, float(step(rng)) * c.epsilon);
        c.points.push_back(p);
    }
    return c;
}

// Coordinates near powers of two, where the float spacing changes and differences round.
Cloud binadeCloud(std::mt19937& rng, size_t n) {
    Cloud c;
    c.kind = "binade";
    const int k = int(rng() % 60) - 30;
    const float base = std::ldexp(1.0f, k);
    c.epsilon = std::ldexp(1.0f, k - 22 - int(rng() % 3)) * (rng() % 2 ? 1.0f : 1.5f);
    for (size_t i = 0; i < n; i++) {
        Vec3 p;
        float* axes[3] = {&p.x, &p.y, &p.z};
        for (float* a : axes) {
            float x = base;
            const int steps = int(rng() % 17) - 8;
            for (int s = 0; s < steps; s++) x = std::nextafter(x, kInf);
            for (int s = 0; s > steps; s--) x = std::nextafter(x, 0.0f);
            *a = rng() % 8 == 0 ? -x : x;
        }
        c.points.push_back(p);
    }
    return c;
}

// Extreme values: huge and tiny coordinates, zeros of both signs, NaN and infinities, and an
// epsilon from tiny to infinite (or not positive at all).
Cloud extremeCloud(std::mt19937& rng, size_t n) {
    const float values[] = {0.0f,    -0.0f,  1e30f,   -1e30f,   std::nextafter(1e30f, kInf),
                            3e38f,   -3e38f, FLT_MAX, -FLT_MAX, 1e-45f,
                            -1e-45f, 1e-40f, FLT_MIN, 1.0f,     kInf,
                            -kInf,   kNaN,   1e38f,   -1e38f,   std::nextafter(3e38f, 0.0f)};
    const float epsilons[] = {1e-45f, 1e-30f, FLT_MIN, 1e30f, FLT_MAX,
                              kInf,   2e38f,  1.0f,    0.0f,  kNaN};
    Cloud c;
    c.kind = "extreme";
    c.epsilon = epsilons[rng() % 10];
    const size_t nv = sizeof values / sizeof values[0];
    for (size_t i = 0; i < n; i++) {
        Vec3 p{values[rng() % nv], values[rng() % nv], values[rng() % nv]};
        if (rng() % 3 == 0) p.x = nudge(rng, p.x);
        c.points.push_back(p);
    }
    return c;
}

void expectSameAsLinearScan(const Cloud& c) {
    SCOPED_TRACE(c.kind + " cloud of " + std::to_string(c.points.size()) + ", epsilon " +
                 std::to_string(c.epsilon));
    std::vector<float> fastIn = positionArray(c.points);
    std::vector<float> slowIn = fastIn;
    std::vector<float> mapIn = fastIn;
    uint32_t fastCount = uint32_t(c.points.size()), slowCount = fastCount, mapCount = fastCount;

    float* fast = zelWeldPositions(fastIn.data(), &fastCount, c.epsilon);
    float* slow = zeltest::referenceWeldPositions(slowIn.data(), &slowCount, c.epsilon);
    std::vector<uint32_t> map(c.points.size() + 1);
    float* viaMap = zel::weldPositions(mapIn.data(), &mapCount, c.epsilon, map.data());

    ASSERT_EQ(fastCount, slowCount);
    ASSERT_EQ(mapCount, slowCount);
    EXPECT_EQ(0, std::memcmp(fast + 3, slow + 3, size_t(fastCount) * 3 * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(viaMap + 3, slow + 3, size_t(fastCount) * 3 * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(fastIn.data(), slowIn.data(), fastIn.size() * sizeof(float)));
    EXPECT_EQ(
        0, std::memcmp(mapIn.data(), positionArray(c.points).data(), mapIn.size() * sizeof(float)));
    for (size_t i = 1; i <= c.points.size(); i++)
        ASSERT_EQ(float(map[i]), slowIn[3 * i]) << "position " << i;
    std::free(fast);
    std::free(slow);
    std::free(viaMap);
}

TEST(WeldOracle, LatticeCloudsWithNearBoundaryPairs) {
    std::mt19937 rng(7);
    for (int round = 0; round < 150; round++)
        expectSameAsLinearScan(latticeCloud(rng, 400 + rng() % 1200));
}

TEST(WeldOracle, CloudsAcrossPowersOfTwo) {
    std::mt19937 rng(11);
    for (int round = 0; round < 100; round++)
        expectSameAsLinearScan(binadeCloud(rng, 300 + rng() % 900));
}

TEST(WeldOracle, CloudsOfExtremeValues) {
    std::mt19937 rng(13);
    for (int round = 0; round < 200; round++)
        expectSameAsLinearScan(extremeCloud(rng, 50 + rng() % 400));
}

TEST(WeldOracle, DenseCloudOfManyPositionsPerCell) {
    // Everything within a few cells: long cell lists, where the lowest index must still win.
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> coord(-0.2f, 0.2f);
    Cloud c;
    c.kind = "dense";
    c.epsilon = 0.05f;
    for (int i = 0; i < 3000; i++) c.points.push_back({coord(rng), coord(rng), coord(rng)});
    expectSameAsLinearScan(c);
}

}  // namespace
