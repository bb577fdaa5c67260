// Planar and spherical texture coordinate generation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <vector>

#include "hand_models.h"
#include "test_models.h"
#include "zel_internal.h"

namespace {

using zeltest::handModel;
using zeltest::setNormals;
using zeltest::Vec3;

void expectPair(const float* actual, float u, float v) {
    uint32_t a[2], e[2];
    const float expected[2] = {u, v};
    std::memcpy(a, actual, sizeof a);
    std::memcpy(e, expected, sizeof e);
    EXPECT_EQ(a[0], e[0]) << "u: " << actual[0] << " != " << u;
    EXPECT_EQ(a[1], e[1]) << "v: " << actual[1] << " != " << v;
}

const float* texcoordAt(const ZelModel* m, uint32_t i) {
    return m->texcoords + 2 * size_t(i);
}

// ---- Planar
// --------------------------------------------------------------------------------------

TEST(PlanarTexCoords, MapsXAndZOfACentredModelIntoTheUnitSquare) {
    // Sizes: x 2, y 0.3, z 1.5, so s = 1.
    ZelModel* m =
        zeltest::modelFromObj("v -1 0 0\nv 1 0 0\nv 0.5 0.3 -0.5\nv -1 0 1\nf 1 2 3\nf 1 3 4\n");
    ASSERT_NE(m, nullptr);
    zelPlanarTexCoords(m);
    ASSERT_EQ(m->texcoordcount, 4u);
    expectPair(texcoordAt(m, 1), 0, 0.5f);
    expectPair(texcoordAt(m, 2), 1, 0.5f);
    expectPair(texcoordAt(m, 3), 0.75f, 0.25f);
    expectPair(texcoordAt(m, 4), 0, 1);
    zelFreeModel(m);
}

TEST(PlanarTexCoords, DoesNotRecentre) {
    // x spans 1 to 3: size |3| + |1| = 4, s = 0.5, and x = 0 would map to u = 0.5.
    ZelModel* m = handModel({{1, 0, 0}, {3, 0, 0}, {2, 0, -1}}, {{1, 2, 3}});
    zelPlanarTexCoords(m);
    expectPair(texcoordAt(m, 1), 0.75f, 0.5f);
    expectPair(texcoordAt(m, 2), 1.25f, 0.5f);
    expectPair(texcoordAt(m, 3), 1.0f, 0.25f);
    zelFreeModel(m);
}

TEST(PlanarTexCoords, IgnoresY) {
    ZelModel* m = handModel({{0.25f, -3, 0.5f}, {0.25f, 7, 0.5f}, {-1, 0, 1}}, {{1, 2, 3}});
    zelPlanarTexCoords(m);
    EXPECT_EQ(0, std::memcmp(texcoordAt(m, 1), texcoordAt(m, 2), 2 * sizeof(float)));
    zelFreeModel(m);
}

TEST(PlanarTexCoords, HoldsTheFactorAsAFloat) {
    // Size 3: s = 2 / 3 held as a float (0.6666667), so x = 1 maps to 0.83333337; a factor kept in
    // double would give 0.8333333.
    ZelModel* m = handModel({{1, 0, 0}, {-2, 0, 0}, {0, 0, 0}}, {{1, 2, 3}});
    zelPlanarTexCoords(m);
    expectPair(texcoordAt(m, 1), 0.83333337f, 0.5f);
    zelFreeModel(m);
}

TEST(PlanarTexCoords, CornersPointAtTheirVertexCoordinates) {
    ZelModel* m = zeltest::modelFromObj(
        "v 0 0 0\nv 1 0 0\nv 0 0 1\nv 1 0 1\nvt 0.3 0.3\nf 1/1 2/1 3/1\ng other\nf 2/1 4/1 3/1\n");
    ASSERT_NE(m, nullptr);
    zelPlanarTexCoords(m);
    EXPECT_EQ(m->texcoordcount, m->vertexcount);
    for (uint32_t t = 0; t < m->trianglecount; t++)
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(m->triangles[t].texcoordidx[k], m->triangles[t].vertexidx[k]);
    zelFreeModel(m);
}

TEST(PlanarTexCoords, ReplacesEarlierCoordinates) {
    ZelModel* m = handModel({{1, 0, 1}, {-1, 0, -1}}, {});
    m->texcoordcount = 5;
    m->texcoords = static_cast<float*>(std::calloc(12, sizeof(float)));
    for (int i = 0; i < 12; i++) m->texcoords[i] = 9;
    zelPlanarTexCoords(m);
    EXPECT_EQ(m->texcoordcount, 2u);
    expectPair(texcoordAt(m, 1), 1, 1);
    expectPair(texcoordAt(m, 2), 0, 0);
    zelFreeModel(m);
}

TEST(PlanarTexCoordsSoundness, AllVerticesAtTheOriginGiveTheCentre) {
    ZelModel* m = handModel({{0, 0, 0}, {0, 0, 0}, {-0.0f, 0, -0.0f}}, {{1, 2, 3}});
    zelPlanarTexCoords(m);
    for (uint32_t i = 1; i <= 3; i++) expectPair(texcoordAt(m, i), 0.5f, 0.5f);
    zelFreeModel(m);
}

TEST(PlanarTexCoordsSoundness, SizeTooSmallToInvertStaysFinite) {
    // 2 / 2^-148 overflows a float.
    ZelModel* m = handModel({{0x1p-149f, 0, 0x1p-149f}, {0, 0, 0}}, {});
    zelPlanarTexCoords(m);
    for (uint32_t i = 1; i <= 2; i++) {
        EXPECT_TRUE(std::isfinite(texcoordAt(m, i)[0]));
        EXPECT_TRUE(std::isfinite(texcoordAt(m, i)[1]));
    }
    expectPair(texcoordAt(m, 2), 0.5f, 0.5f);
    zelFreeModel(m);
}

TEST(PlanarTexCoordsSoundness, GroupEntryBeyondTheTrianglesIsSkipped) {
    ZelModel* m = handModel({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {{1, 2, 3}});
    m->groups->triangleidx[0] = 7;  // names no triangle
    m->triangles[0].texcoordidx[1] = 42;
    zelPlanarTexCoords(m);
    EXPECT_EQ(m->triangles[0].texcoordidx[1], 42u);
    zelFreeModel(m);
}

TEST(PlanarTexCoords, ModelWithoutVerticesGetsNoCoordinates) {
    ZelModel* m = handModel({}, {});
    zelPlanarTexCoords(m);
    EXPECT_EQ(m->texcoordcount, 0u);
    zelFreeModel(m);
}

TEST(PlanarTexCoordsDeathTest, PreconditionsAreNamed) {
    EXPECT_DEATH(zelPlanarTexCoords(nullptr), "Assertion `model' failed");
    ZelModel* m = handModel({}, {});
    std::free(m->vertices);
    m->vertices = nullptr;
    EXPECT_DEATH(zelPlanarTexCoords(m), "Assertion `model->vertices' failed");
    zelFreeModel(m);
}

// ---- Spherical
// -----------------------------------------------------------------------------------

struct SphereCase {
    Vec3 normal;
    float u, v;
};

void PrintTo(const SphereCase& c, std::ostream* os) {
    *os << "(" << c.normal.x << ", " << c.normal.y << ", " << c.normal.z << ")";
}

class SphereTexCoordValues : public testing::TestWithParam<SphereCase> {};

TEST_P(SphereTexCoordValues, MatchToTheLastDigit) {
    const SphereCase c = GetParam();
    ZelModel* m = handModel({}, {});
    setNormals(m, {c.normal});
    zelSphereTexCoords(m);
    ASSERT_EQ(m->texcoordcount, 1u);
    expectPair(texcoordAt(m, 1), c.u, c.v);
    zelFreeModel(m);
}

INSTANTIATE_TEST_SUITE_P(
    Normals, SphereTexCoordValues,
    testing::Values(SphereCase{{0, 0, 1}, 0.49999994f, 0.5f},
                    SphereCase{{0, 0, -1}, 0.49999994f, 0.5f},  // z < 0 folds onto z > 0
                    SphereCase{{1, 0, 0}, 0, 0}, SphereCase{{-1, 0, 0}, 0, 0},
                    SphereCase{{0, 1, 0}, 1.0f, 0.5f}, SphereCase{{0, -1, 0}, -5.713333e-10f, 0.5f},
                    SphereCase{{0.6f, 0.8f, 0}, 1.0f, 0.29516724f},
                    SphereCase{{0, 0.6f, 0.8f}, 0.7048328f, 0.5f},
                    SphereCase{{0, 0, 0}, 0, 0},  // r = 0
                    SphereCase{{0, -0.0f, 1}, 0.49999994f, 0.5f}));

TEST(SphereTexCoords, NormalsDifferingOnlyInTheSignOfZShareCoordinates) {
    ZelModel* m = handModel({}, {});
    setNormals(m, {{0.36f, 0.48f, 0.8f}, {0.36f, 0.48f, -0.8f}});
    zelSphereTexCoords(m);
    EXPECT_EQ(0, std::memcmp(texcoordAt(m, 1), texcoordAt(m, 2), 2 * sizeof(float)));
    EXPECT_NE(texcoordAt(m, 1)[0], 0.0f);
    zelFreeModel(m);
}

TEST(SphereTexCoords, CornersPointAtTheirNormalCoordinates) {
    ZelModel* m = zeltest::modelFromObj(
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvn 0 1 0\nf 1//2 2//1 3//2\ng b\nf 3//1 2//1 1//1\n");
    ASSERT_NE(m, nullptr);
    zelSphereTexCoords(m);
    EXPECT_EQ(m->texcoordcount, m->normalcount);
    for (uint32_t t = 0; t < m->trianglecount; t++)
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(m->triangles[t].texcoordidx[k], m->triangles[t].normalidx[k]);
    expectPair(texcoordAt(m, 1), 0.49999994f, 0.5f);
    expectPair(texcoordAt(m, 2), 1.0f, 0.5f);
    zelFreeModel(m);
}

TEST(SphereTexCoords, WorkFromComputedVertexNormals) {
    ZelModel* m = zeltest::modelFromObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_NE(m, nullptr);
    zelComputeFacetNormals(m);
    zelVertexNormals(m, 90);
    zelSphereTexCoords(m);
    ASSERT_EQ(m->texcoordcount, 3u);
    for (uint32_t i = 1; i <= 3; i++) expectPair(texcoordAt(m, i), 0.49999994f, 0.5f);
    zelFreeModel(m);
}

TEST(SphereTexCoords, ReplacesEarlierCoordinates) {
    ZelModel* m = handModel({}, {});
    m->texcoordcount = 3;
    m->texcoords = static_cast<float*>(std::calloc(8, sizeof(float)));
    setNormals(m, {{0, 1, 0}});
    zelSphereTexCoords(m);
    EXPECT_EQ(m->texcoordcount, 1u);
    expectPair(texcoordAt(m, 1), 1.0f, 0.5f);
    zelFreeModel(m);
}

TEST(SphereTexCoordsDeathTest, PreconditionsAreNamed) {
    EXPECT_DEATH(zelSphereTexCoords(nullptr), "Assertion `model' failed");
    ZelModel* m = handModel({}, {});
    EXPECT_DEATH(zelSphereTexCoords(m), "Assertion `model->normals' failed");
    zelFreeModel(m);
}

}  // namespace
