// Facet normals, angle-limited vertex normals and the vector helpers they use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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
using zeltest::setFacetNormals;
using zeltest::Vec3;

// Float triples compared bit for bit (so -0 and 0 differ, and NaN fails).
void expectVec(const float* actual, float x, float y, float z) {
    const float expected[3] = {x, y, z};
    for (int k = 0; k < 3; k++) {
        uint32_t a, e;
        std::memcpy(&a, &actual[k], 4);
        std::memcpy(&e, &expected[k], 4);
        EXPECT_EQ(a, e) << "component " << k << ": " << actual[k] << " != " << expected[k];
    }
}

bool sameBits(const float* a, const float* b, size_t floats) {
    return std::memcmp(a, b, floats * sizeof(float)) == 0;
}

const float* normalAt(const ZelModel* m, uint32_t i) {
    return m->normals + 3 * size_t(i);
}
const float* facetAt(const ZelModel* m, uint32_t i) {
    return m->facetnorms + 3 * size_t(i);
}

// ---- Vector helpers
// ------------------------------------------------------------------------------

TEST(CrossProduct, FollowsTheRightHandRule) {
    const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    float n[3];
    zel::crossProduct(x, y, n);
    expectVec(n, 0, 0, 1);
    zel::crossProduct(y, z, n);
    expectVec(n, 1, 0, 0);
    zel::crossProduct(z, x, n);
    expectVec(n, 0, 1, 0);
    zel::crossProduct(y, x, n);
    expectVec(n, 0, 0, -1);
}

TEST(CrossProduct, RoundsEachComponentOnceFromDouble) {
    // (1 + 2^-12)^2 - 1 = 2^-11 + 2^-24 is exact in double; float products would drop the 2^-24.
    const float e = 1.0f + 0x1p-12f;
    const float u[3] = {0, e, 1}, v[3] = {0, 1, e};
    float n[3];
    zel::crossProduct(u, v, n);
    expectVec(n, 0x1p-11f + 0x1p-24f, 0, 0);
}

TEST(CrossProduct, OutputMayAliasAnInput) {
    float u[3] = {1, 2, 3};
    const float v[3] = {4, 5, 6};
    zel::crossProduct(u, v, u);
    expectVec(u, -3, 6, -3);
}

TEST(DotProduct, SumsTheProducts) {
    const float u[3] = {1, 2, 3}, v[3] = {4, -5, 6};
    EXPECT_EQ(zel::dotProduct(u, v), 12.0f);
}

TEST(DotProduct, RoundsOnceFromDouble) {
    const float e = 1.0f + 0x1p-12f;
    const float u[3] = {e, 1, 0}, v[3] = {e, -1, 0};
    EXPECT_EQ(zel::dotProduct(u, v), 0x1p-11f + 0x1p-24f);
}

TEST(NormalizeVec, GivesUnitLength) {
    float v[3] = {3, 0, -4};
    zel::normalizeVec(v);
    expectVec(v, 0.6f, 0, -0.8f);
}

TEST(NormalizeVec, DividesByTheLengthHeldAsAFloat) {
    // sqrt(426) held as a float, then each component divided by it (dividing by the double length
    // would give -0.532951713, -0.823652685, -0.193800628).
    float v[3] = {-11, -17, -4};
    zel::normalizeVec(v);
    expectVec(v, -0.532951772f, -0.823652744f, -0.193800643f);
}

TEST(NormalizeVec, SumsTheSquaresInDouble) {
    // Summed in float, the squares give a length one ulp shorter and different quotients.
    float v[3] = {-0x1.14e9b6p-1f, -0x1.e3f482p-1f, 0x1.19eb4p-4f};
    zel::normalizeVec(v);
    expectVec(v, -0x1.fb8ab4p-2f, -0x1.bb82ap-1f, 0x1.025bcap-4f);
}

TEST(NormalizeVec, LeavesAZeroVectorZero) {
    float v[3] = {0, -0.0f, 0};
    zel::normalizeVec(v);
    expectVec(v, 0, -0.0f, 0);
}

TEST(NormalizeVec, ScalesSubnormalVectorsUp) {
    float v[3] = {0, 0x1p-149f, 0};
    zel::normalizeVec(v);
    expectVec(v, 0, 1, 0);
}

TEST(VectorHelpersDeathTest, NullArgumentsAreNamed) {
    float a[3] = {1, 0, 0};
    EXPECT_DEATH(zel::crossProduct(nullptr, a, a), "Assertion `u' failed");
    EXPECT_DEATH(zel::crossProduct(a, nullptr, a), "Assertion `v' failed");
    EXPECT_DEATH(zel::crossProduct(a, a, nullptr), "Assertion `n' failed");
    EXPECT_DEATH(zel::normalizeVec(nullptr), "Assertion `v' failed");
    EXPECT_DEATH(zel::dotProduct(nullptr, a), "Assertion `u' failed");
    EXPECT_DEATH(zel::dotProduct(a, nullptr), "Assertion `v' failed");
}

// ---- Facet normals -----------------------------------------------------------------------------

TEST(FacetNormals, CounterClockwiseFromPlusZPointsUp) {
    ZelModel* m = zeltest::modelFromObj("v 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\nf 1 3 2\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    ASSERT_EQ(m->facetnormcount, 2u);
    expectVec(facetAt(m, 1), 0, 0, 1);
    expectVec(facetAt(m, 2), 0, 0, -1);
    zelFreeModel(m);
}

TEST(FacetNormals, AreUnitLengthInAnyOrientation) {
    ZelModel* m = zeltest::modelFromObj("v 1 1 1\nv 4 1 1\nv 1 1 5\nf 1 2 3\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    // a = (3, 0, 0), b = (0, 0, 4): a x b = (0, -12, 0).
    expectVec(facetAt(m, 1), 0, -1, 0);
    zelFreeModel(m);
}

TEST(FacetNormals, EachTriangleGetsItsOwnFacetIndex) {
    ZelModel* m = zeltest::modelFromObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3 4\nf 4 3 2\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    EXPECT_EQ(m->facetnormcount, m->trianglecount);
    for (uint32_t t = 0; t < m->trianglecount; t++) EXPECT_EQ(m->triangles[t].facetidx, t + 1);
    zelFreeModel(m);
}

TEST(FacetNormals, ReplaceEarlierOnes) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}});
    setFacetNormals(m, {{9, 9, 9}, {8, 8, 8}, {7, 7, 7}});
    zelComputeFacetNormals(m);
    EXPECT_EQ(m->facetnormcount, 1u);
    expectVec(facetAt(m, 1), 0, 0, 1);
    zelFreeModel(m);
}

TEST(FacetNormals, DegenerateTriangleGetsTheZeroVector) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {{1, 2, 3}, {1, 1, 2}, {3, 3, 3}});
    zelComputeFacetNormals(m);
    for (uint32_t i = 1; i <= 3; i++) expectVec(facetAt(m, i), 0, 0, 0);
    zelFreeModel(m);
}

TEST(FacetNormals, VertexIndexOutsideTheArrayGivesTheZeroVector) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 4}, {0, 2, 3}, {1, 2, 3}});
    zelComputeFacetNormals(m);
    expectVec(facetAt(m, 1), 0, 0, 0);
    expectVec(facetAt(m, 2), 0, 0, 0);
    expectVec(facetAt(m, 3), 0, 0, 1);
    zelFreeModel(m);
}

TEST(FacetNormalsDeathTest, PreconditionsAreNamed) {
    EXPECT_DEATH(zelComputeFacetNormals(nullptr), "Assertion `model' failed");
    ZelModel* m = handModel({}, {});
    std::free(m->vertices);
    m->vertices = nullptr;
    EXPECT_DEATH(zelComputeFacetNormals(m), "Assertion `model->vertices' failed");
    zelFreeModel(m);
}

// ---- Vertex normals: the angle threshold -------------------------------------------------------

// Two triangles share vertex 1; triangle 1 is the reference there with facet (0, 0, 1), and
// triangle 0's facet has z = dot, so its dot product with the reference is exactly `dot`. Returns
// whether the two corners at vertex 1 share a normal; when they do not, the reference's own normal
// there must be its facet alone, untouched by the other one.
bool sharedVertexIsAveraged(float angle, float dot) {
    ZelModel* m =
        handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 1, 1}}, {{1, 2, 3}, {1, 4, 5}});
    setFacetNormals(m, {{0, 1, dot}, {0, 0, 1}});
    zelVertexNormals(m, angle);
    const bool shared = m->triangles[0].normalidx[0] == m->triangles[1].normalidx[0];
    if (!shared) expectVec(normalAt(m, m->triangles[1].normalidx[0]), 0, 0, 1);
    zelFreeModel(m);
    return shared;
}

struct Threshold {
    float angle;
    float cosine;  // the single-precision cosine of the angle
};

void PrintTo(const Threshold& t, std::ostream* os) {
    *os << t.angle << " degrees, cosine " << t.cosine;
}

class VertexNormalThreshold : public testing::TestWithParam<Threshold> {};

TEST_P(VertexNormalThreshold, AveragesOnlyDotProductsAboveTheCosine) {
    const Threshold t = GetParam();
    EXPECT_FALSE(sharedVertexIsAveraged(t.angle, t.cosine));
    EXPECT_TRUE(sharedVertexIsAveraged(t.angle, std::nextafter(t.cosine, 2.0f)));
}

INSTANTIATE_TEST_SUITE_P(Angles, VertexNormalThreshold,
                         testing::Values(Threshold{60, 0.49999997f}, Threshold{90, -4.371139e-08f},
                                         Threshold{120, -0.50000006f}, Threshold{180, -1.0f},
                                         Threshold{45, 0.70710677f}));

TEST(VertexNormalThresholdCases, ExactSixtyNinetyAndOneTwentyDegreesAreAveraged) {
    EXPECT_TRUE(sharedVertexIsAveraged(60, 0.5f));
    EXPECT_TRUE(sharedVertexIsAveraged(90, 0.0f));
    EXPECT_TRUE(sharedVertexIsAveraged(120, -0.5f));
    EXPECT_FALSE(sharedVertexIsAveraged(180, -1.0f));
    EXPECT_FALSE(sharedVertexIsAveraged(59.99f, 0.5f));
}

// ---- Vertex normals: layout and order ----------------------------------------------------------

TEST(VertexNormals, SingleTriangleGetsItsFacetNormalAtEachCorner) {
    ZelModel* m = zeltest::modelFromObj("v 0 0 0\nv 3 0 0\nv 0 0 -7\nf 1 2 3\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    expectVec(facetAt(m, 1), -0.0f, 1, 0);  // 0 * -7 - 0 * 0 is -0
    zelVertexNormals(m, 90);
    ASSERT_EQ(m->normalcount, 3u);
    EXPECT_EQ(m->triangles[0].normalidx[0], 1u);
    EXPECT_EQ(m->triangles[0].normalidx[1], 2u);
    EXPECT_EQ(m->triangles[0].normalidx[2], 3u);
    // Each is the facet normal summed from (0, 0, 0), which turns -0 into 0, and normalised again.
    for (uint32_t i = 1; i <= 3; i++) expectVec(normalAt(m, i), 0, 1, 0);
    zelFreeModel(m);
}

// Triangle 0 = (1, 2, 3) with facet (0, 0, 1); triangle 1 = (2, 1, 4) with a facet 60 degrees away.
const char* const kTwoTriangles = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 -1 1.7320508\nf 1 2 3\nf 2 1 4\n";

TEST(VertexNormals, TwoTrianglesWithinTheAngleShareTheirEdgeNormals) {
    ZelModel* m = zeltest::modelFromObj(kTwoTriangles);
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    const float* f0 = facetAt(m, 1);
    const float* f1 = facetAt(m, 2);
    EXPECT_NEAR(zel::dotProduct(f0, f1), 0.5f, 1e-6f);
    zelVertexNormals(m, 90);

    ASSERT_EQ(m->normalcount, 4u);
    const ZelTriangle& t0 = m->triangles[0];
    const ZelTriangle& t1 = m->triangles[1];
    EXPECT_EQ(t0.normalidx[0], 1u);  // vertex 1
    EXPECT_EQ(t1.normalidx[1], 1u);
    EXPECT_EQ(t0.normalidx[1], 2u);  // vertex 2
    EXPECT_EQ(t1.normalidx[0], 2u);
    EXPECT_EQ(t0.normalidx[2], 3u);  // vertex 3
    EXPECT_EQ(t1.normalidx[2], 4u);  // vertex 4

    float sum[3] = {f1[0] + f0[0], f1[1] + f0[1], f1[2] + f0[2]};
    zel::normalizeVec(sum);
    float once0[3] = {f0[0], f0[1], f0[2]}, once1[3] = {f1[0], f1[1], f1[2]};
    zel::normalizeVec(once0);
    zel::normalizeVec(once1);
    expectVec(normalAt(m, 1), sum[0], sum[1], sum[2]);
    expectVec(normalAt(m, 2), sum[0], sum[1], sum[2]);
    expectVec(normalAt(m, 3), once0[0], once0[1], once0[2]);
    expectVec(normalAt(m, 4), once1[0], once1[1], once1[2]);
    EXPECT_NEAR(normalAt(m, 1)[1], 0.5f, 1e-6f);
    EXPECT_NEAR(normalAt(m, 1)[2], 0.8660254f, 1e-6f);
    zelFreeModel(m);
}

TEST(VertexNormals, TwoTrianglesBeyondTheAngleKeepTheirFacetNormals) {
    ZelModel* m = zeltest::modelFromObj(kTwoTriangles);
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    zelVertexNormals(m, 45);

    ASSERT_EQ(m->normalcount, 6u);
    const ZelTriangle& t0 = m->triangles[0];
    const ZelTriangle& t1 = m->triangles[1];
    // Vertex 1: the reference (triangle 1) is averaged on its own, then triangle 0 gets a copy.
    EXPECT_EQ(t1.normalidx[1], 1u);
    EXPECT_EQ(t0.normalidx[0], 2u);
    // Vertex 2 likewise, then vertex 3 and vertex 4.
    EXPECT_EQ(t1.normalidx[0], 3u);
    EXPECT_EQ(t0.normalidx[1], 4u);
    EXPECT_EQ(t0.normalidx[2], 5u);
    EXPECT_EQ(t1.normalidx[2], 6u);

    const float* f0 = facetAt(m, 1);
    const float* f1 = facetAt(m, 2);
    float once0[3] = {f0[0], f0[1], f0[2]}, once1[3] = {f1[0], f1[1], f1[2]};
    zel::normalizeVec(once0);
    zel::normalizeVec(once1);
    expectVec(normalAt(m, 1), once1[0], once1[1], once1[2]);
    expectVec(normalAt(m, 2), f0[0], f0[1], f0[2]);  // a plain copy
    expectVec(normalAt(m, 3), once1[0], once1[1], once1[2]);
    expectVec(normalAt(m, 4), f0[0], f0[1], f0[2]);
    expectVec(normalAt(m, 5), once0[0], once0[1], once0[2]);
    expectVec(normalAt(m, 6), once1[0], once1[1], once1[2]);
    zelFreeModel(m);
}

TEST(VertexNormals, EveryFacetIsComparedWithTheReferenceNotItsNeighbour) {
    // Around vertex 1: facets at 0, 40 and 80 degrees from the reference (the last triangle). With
    // 50 degrees the 40 is averaged and the 80 is not, although it is 40 from the 40.
    const float c40 = std::cos(40 * 3.14159265358979 / 180),
                s40 = std::sin(40 * 3.14159265358979 / 180);
    const float c80 = std::cos(80 * 3.14159265358979 / 180),
                s80 = std::sin(80 * 3.14159265358979 / 180);
    ZelModel* m =
        handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}},
                  {{1, 2, 3}, {1, 4, 5}, {1, 6, 7}});
    setFacetNormals(m, {{0, s80, c80}, {0, s40, c40}, {0, 0, 1}});
    zelVertexNormals(m, 50);
    EXPECT_EQ(m->triangles[2].normalidx[0], 1u);
    EXPECT_EQ(m->triangles[1].normalidx[0], 1u);
    EXPECT_EQ(m->triangles[0].normalidx[0], 2u);
    zelFreeModel(m);
}

TEST(VertexNormals, SumIsTakenInListOrderFromTheHighestTriangle) {
    // Float addition is not associative: 1 + 2^-24 + 2^-24 stays 1 from the front, while from the
    // back it gives 1 + 2^-23. The list runs triangle 2, 1, 0, so the sum is (1, 1, 0) and
    // normalises to (0.70710677, 0.70710677, 0); the other order would give 0.7071068, 0.7071067.
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}});
    setFacetNormals(m, {{0x1p-24f, 0, 0}, {0x1p-24f, 0, 0}, {1, 1, 0}});
    zelVertexNormals(m, 90);
    const uint32_t n = m->triangles[0].normalidx[0];
    EXPECT_EQ(n, 1u);
    expectVec(normalAt(m, n), 0.70710677f, 0.70710677f, 0);
    zelFreeModel(m);
}

TEST(VertexNormals, UnusedVertexIsReportedOnceAndGetsNoNormal) {
    ZelModel* m = zeltest::modelFromObj("v 0 0 0\nv 5 5 5\nv 1 0 0\nv 0 1 0\nf 1 3 4\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    testing::internal::CaptureStderr();
    zelVertexNormals(m, 90);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zelVertexNormals(): vertex w/o a triangle\n");
    EXPECT_EQ(m->normalcount, 3u);
    EXPECT_EQ(m->triangles[0].normalidx[0], 1u);
    EXPECT_EQ(m->triangles[0].normalidx[1], 2u);
    EXPECT_EQ(m->triangles[0].normalidx[2], 3u);
    zelFreeModel(m);
}

TEST(VertexNormals, RunningTwiceGivesTheSameResult) {
    ZelModel* m = zeltest::modelFromObj(kTwoTriangles);
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    zelVertexNormals(m, 70);
    const uint32_t count = m->normalcount;
    std::vector<float> first(m->normals + 3, m->normals + 3 * (count + 1));
    std::vector<ZelTriangle> tris(m->triangles, m->triangles + m->trianglecount);
    zelVertexNormals(m, 70);
    ASSERT_EQ(m->normalcount, count);
    EXPECT_TRUE(sameBits(m->normals + 3, first.data(), first.size()));
    for (uint32_t t = 0; t < m->trianglecount; t++)
        for (int k = 0; k < 3; k++) EXPECT_EQ(m->triangles[t].normalidx[k], tris[t].normalidx[k]);
    zelFreeModel(m);
}

TEST(VertexNormals, ModelWithoutTrianglesGetsNoNormals) {
    ZelModel* m = handModel({}, {});
    zelComputeFacetNormals(m);
    zelVertexNormals(m, 90);
    EXPECT_EQ(m->normalcount, 0u);
    zelFreeModel(m);
}

TEST(VertexNormalsDeathTest, PreconditionsAreNamed) {
    EXPECT_DEATH(zelVertexNormals(nullptr, 90), "Assertion `model' failed");
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}});
    EXPECT_DEATH(zelVertexNormals(m, 90), "Assertion `model->facetnorms' failed");
    zelFreeModel(m);
}

// ---- Vertex normals: unsound input -------------------------------------------------------------

bool hasNaN(const ZelModel* m) {
    for (uint32_t i = 1; i <= m->normalcount; i++)
        for (int k = 0; k < 3; k++)
            if (std::isnan(normalAt(m, i)[k])) return true;
    return false;
}

TEST(VertexNormalsSoundness, DegenerateTriangleGivesZeroNormalsNotNaN) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {{1, 2, 3}});
    zelComputeFacetNormals(m);
    zelVertexNormals(m, 120);
    ASSERT_EQ(m->normalcount, 3u);
    EXPECT_FALSE(hasNaN(m));
    for (uint32_t i = 1; i <= 3; i++) expectVec(normalAt(m, i), 0, 0, 0);
    zelFreeModel(m);
}

TEST(VertexNormalsSoundness, SumThatCancelsGivesAZeroNormal) {
    ZelModel* m =
        handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}},
                  {{1, 2, 3}, {1, 4, 5}, {1, 6, 7}});
    setFacetNormals(m, {{-0.5f, -0.8660254f, 0}, {-0.5f, 0.8660254f, 0}, {1, 0, 0}});
    zelVertexNormals(m, 180);
    const uint32_t n = m->triangles[0].normalidx[0];
    EXPECT_EQ(n, m->triangles[2].normalidx[0]);
    expectVec(normalAt(m, n), 0, 0, 0);
    EXPECT_FALSE(hasNaN(m));
    zelFreeModel(m);
}

TEST(VertexNormalsSoundness, VertexNamedTwiceGetsANormalAtBothCorners) {
    // Triangle 0 names vertex 1 at corners 0 and 2; triangle 1 (the reference) is 90 degrees away.
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1, 2, 1}, {1, 3, 4}});
    setFacetNormals(m, {{0, 0, 1}, {1, 0, 0}});
    for (int k = 0; k < 3; k++) m->triangles[0].normalidx[k] = 77;

    zelVertexNormals(m, 45);  // not averaged: each corner its own copy of the facet normal
    const ZelTriangle& t0 = m->triangles[0];
    EXPECT_NE(t0.normalidx[0], 77u);
    EXPECT_NE(t0.normalidx[2], 77u);
    EXPECT_NE(t0.normalidx[0], t0.normalidx[2]);
    ASSERT_LE(t0.normalidx[2], m->normalcount);
    expectVec(normalAt(m, t0.normalidx[0]), 0, 0, 1);
    expectVec(normalAt(m, t0.normalidx[2]), 0, 0, 1);
    // Every normal made is used by some corner.
    std::vector<int> uses(m->normalcount + 1, 0);
    for (uint32_t t = 0; t < m->trianglecount; t++)
        for (int k = 0; k < 3; k++) uses[m->triangles[t].normalidx[k]]++;
    for (uint32_t i = 1; i <= m->normalcount; i++) EXPECT_GT(uses[i], 0) << "normal " << i;

    zelVertexNormals(m, 100);  // averaged: both corners share the averaged normal
    EXPECT_EQ(t0.normalidx[0], t0.normalidx[2]);
    EXPECT_EQ(t0.normalidx[0], m->triangles[1].normalidx[0]);
    zelFreeModel(m);
}

TEST(VertexNormalsSoundness, VertexIndexOutsideTheArrayIsSkipped) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}, {2, 9, 0}});
    zelComputeFacetNormals(m);
    testing::internal::CaptureStderr();
    zelVertexNormals(m, 90);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const ZelTriangle& t1 = m->triangles[1];
    EXPECT_EQ(t1.normalidx[1], 0u);
    EXPECT_EQ(t1.normalidx[2], 0u);
    ASSERT_GE(t1.normalidx[0], 1u);
    ASSERT_LE(t1.normalidx[0], m->normalcount);
    EXPECT_FALSE(hasNaN(m));
    zelFreeModel(m);
}

TEST(VertexNormalsSoundness, FacetIndexOutsideTheArrayCountsAsAZeroFacet) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 2, 3}});
    setFacetNormals(m, {{0, 0, 1}});
    m->triangles[0].facetidx = 5;
    zelVertexNormals(m, 120);
    ASSERT_EQ(m->normalcount, 3u);
    for (uint32_t i = 1; i <= 3; i++) expectVec(normalAt(m, i), 0, 0, 0);
    zelFreeModel(m);
}

// ---- Vertex normals against the per-node linked-list algorithm ---------------------------------

// A random mesh on a small integer grid (many equal and right-angled facets, so dot products land
// exactly on 0, 0.5 and similar values), with unused vertices and repeated corners.
ZelModel* randomMesh(std::mt19937& rng, uint32_t vertices, uint32_t triangles) {
    std::uniform_int_distribution<int> coord(-2, 2);
    std::uniform_int_distribution<uint32_t> vertex(1, vertices);
    std::vector<Vec3> positions(vertices);
    for (Vec3& p : positions) p = {float(coord(rng)), float(coord(rng)), float(coord(rng))};
    std::vector<Corners> tris(triangles);
    for (Corners& c : tris) c = {vertex(rng), vertex(rng), vertex(rng)};
    return handModel(positions, tris);
}

TEST(VertexNormalsOracle, MatchesTheLinkedListAlgorithmOnRandomMeshes) {
    std::mt19937 rng(20240611);
    const float angles[] = {0, 30, 45, 60, 89.5f, 90, 100, 120, 180, 270, -30};
    for (int round = 0; round < 60; round++) {
        const uint32_t vertices = 1 + rng() % 300;
        const uint32_t triangles = rng() % 600;
        const float angle = angles[round % (sizeof angles / sizeof angles[0])];
        ZelModel* fast = randomMesh(rng, vertices, triangles);
        zelComputeFacetNormals(fast);
        ZelModel* slow = handModel({}, {});
        // Same geometry and facet normals for the reference.
        std::free(slow->vertices);
        slow->vertexcount = fast->vertexcount;
        slow->vertices = static_cast<float*>(std::malloc((vertices + 1) * 3 * sizeof(float)));
        std::memcpy(slow->vertices, fast->vertices, (vertices + 1) * 3 * sizeof(float));
        std::free(slow->triangles);
        slow->trianglecount = fast->trianglecount;
        slow->triangles =
            static_cast<ZelTriangle*>(std::malloc((triangles + 1) * sizeof(ZelTriangle)));
        std::memcpy(slow->triangles, fast->triangles, triangles * sizeof(ZelTriangle));
        zelComputeFacetNormals(slow);
        const uint32_t kUnset = 0xDEADBEEF;
        for (uint32_t t = 0; t < triangles; t++)
            for (int k = 0; k < 3; k++) slow->triangles[t].normalidx[k] = kUnset;

        testing::internal::CaptureStderr();
        zelVertexNormals(fast, angle);
        const std::string fastErr = testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        zeltest::referenceVertexNormals(slow, angle);
        const std::string slowErr = testing::internal::GetCapturedStderr();

        SCOPED_TRACE("round " + std::to_string(round) + ", angle " + std::to_string(angle));
        EXPECT_EQ(fastErr, slowErr);
        ASSERT_EQ(fast->normalcount, slow->normalcount);
        EXPECT_TRUE(sameBits(fast->normals + 3, slow->normals + 3, 3 * size_t(fast->normalcount)));
        for (uint32_t t = 0; t < triangles; t++) {
            for (int k = 0; k < 3; k++) {
                const uint32_t expected = slow->triangles[t].normalidx[k];
                const uint32_t actual = fast->triangles[t].normalidx[k];
                if (expected != kUnset) {
                    EXPECT_EQ(actual, expected) << "triangle " << t << " corner " << k;
                } else {
                    // A repeated corner the linked-list algorithm leaves unset: it holds the same
                    // normal as the first corner of that vertex.
                    const uint32_t v = fast->triangles[t].vertexidx[k];
                    int first = 0;
                    while (fast->triangles[t].vertexidx[first] != v) first++;
                    ASSERT_LT(first, k);
                    ASSERT_GE(actual, 1u);
                    ASSERT_LE(actual, fast->normalcount);
                    EXPECT_TRUE(sameBits(normalAt(fast, actual),
                                         normalAt(fast, fast->triangles[t].normalidx[first]), 3));
                }
            }
        }
        zelFreeModel(fast);
        zelFreeModel(slow);
    }
}

}  // namespace
