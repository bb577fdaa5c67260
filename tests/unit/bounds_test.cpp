// Extents, unit-cube fit, scale, translate, winding reversal and the float helpers they use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "zel_internal.h"

namespace {

using Vec3 = std::vector<float>;

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A 1-based float array with `stride` floats per element; slot 0 is filled with a marker so that a
// test can see it is left alone.
float* oneBased(const std::vector<float>& values, size_t stride) {
    float* array = static_cast<float*>(std::malloc((values.size() + stride) * sizeof(float)));
    for (size_t i = 0; i < stride; i++) array[i] = 77.0f;
    for (size_t i = 0; i < values.size(); i++) array[stride + i] = values[i];
    return array;
}

// A model holding only positions (x, y, z per vertex), freed at the end of the test.
struct PositionModel {
    ZelModel* model;
    explicit PositionModel(const std::vector<float>& xyz) {
        model = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
        model->vertexcount = static_cast<uint32_t>(xyz.size() / 3);
        model->vertices = oneBased(xyz, 3);
    }
    ~PositionModel() { zelFreeModel(model); }
    float x(uint32_t i) const { return model->vertices[3 * i]; }
    float y(uint32_t i) const { return model->vertices[3 * i + 1]; }
    float z(uint32_t i) const { return model->vertices[3 * i + 2]; }
};

// ---- zel::absf and zel::maxf
// --------------------------------------------------------------------------

TEST(FloatHelpers, AbsfNegatesOnlyValuesBelowZero) {
    struct Case {
        float in, out;
    } cases[] = {
        {-2.5f, 2.5f}, {3.0f, 3.0f}, {0.0f, 0.0f}, {-0.0f, -0.0f}, {-kInf, kInf}, {kInf, kInf},
    };
    for (const Case& c : cases) EXPECT_TRUE(sameBits(zel::absf(c.in), c.out)) << c.in;
    EXPECT_TRUE(std::isnan(zel::absf(kNaN)));
}

TEST(FloatHelpers, MaxfKeepsTheFirstArgumentUnlessTheSecondIsGreater) {
    struct Case {
        float a, b, out;
    } cases[] = {
        {1.0f, 2.0f, 2.0f},  {2.0f, 1.0f, 2.0f}, {-0.0f, 0.0f, -0.0f},
        {0.0f, -0.0f, 0.0f}, {1.0f, kNaN, 1.0f}, {-kInf, -5.0f, -5.0f},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(sameBits(zel::maxf(c.a, c.b), c.out)) << c.a << " " << c.b;
    EXPECT_TRUE(std::isnan(zel::maxf(kNaN, 1.0f)));
}

// ---- zelExtents
// -------------------------------------------------------------------------------------

struct ExtentsCase {
    const char* name;
    std::vector<float> xyz;
    float width, height, depth;
};

class Extents : public ::testing::TestWithParam<ExtentsCase> {};

TEST_P(Extents, SizeOfEachAxisIsAbsMaxPlusAbsMin) {
    PositionModel m(GetParam().xyz);
    float dims[3] = {-1.0f, -1.0f, -1.0f};
    zelExtents(m.model, dims);
    EXPECT_EQ(dims[0], GetParam().width);
    EXPECT_EQ(dims[1], GetParam().height);
    EXPECT_EQ(dims[2], GetParam().depth);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, Extents,
    ::testing::Values(
        // x from 1 to 3 lies on one side of 0: its size is 4, not its extent 2.
        ExtentsCase{"OneSided", {1, -1, 0.5f, 3, 1, -0.5f, 2, 0, 0}, 4, 2, 1},
        ExtentsCase{"Straddling", {-2, -1, 0, 2, 1, 1, 0, 0, 0.5f}, 4, 2, 1},
        ExtentsCase{"SingleVertex", {1, 2, 3}, 2, 4, 6},
        // Vertex 1 seeds the scan and is both the maximum and the minimum on x.
        ExtentsCase{"FirstVertexExtreme", {-5, 0, 0, -5, 4, 0, -5, -3, 2}, 10, 7, 2},
        ExtentsCase{"AllNegative", {-1, -2, -3, -4, -5, -6}, 5, 7, 9}),
    [](const ::testing::TestParamInfo<ExtentsCase>& info) { return info.param.name; });

TEST(ExtentsEdge, ModelWithoutVerticesHasZeroSize) {
    PositionModel m({});
    float dims[3] = {7.0f, 7.0f, 7.0f};
    zelExtents(m.model, dims);
    EXPECT_EQ(dims[0], 0.0f);
    EXPECT_EQ(dims[1], 0.0f);
    EXPECT_EQ(dims[2], 0.0f);
}

TEST(ExtentsEdge, ChangesNothing) {
    PositionModel m({1, -1, 0.5f, 3, 1, -0.5f});
    float dims[3];
    zelExtents(m.model, dims);
    const float expected[] = {77, 77, 77, 1, -1, 0.5f, 3, 1, -0.5f};
    for (int i = 0; i < 9; i++) EXPECT_EQ(m.model->vertices[i], expected[i]) << i;
}

// ---- zelFitToUnitCube
// -------------------------------------------------------------------------------

TEST(FitToUnitCube, OneSidedAxisEndsSmallerThanTheCube) {
    PositionModel m({1, -1, 0.5f, 3, 1, -0.5f, 2, 0, 0});
    EXPECT_EQ(zelFitToUnitCube(m.model), 0.5f);
    // Centre (2, 0, 0) moved to the origin, then everything halved.
    const float expected[] = {-0.5f, -0.5f, 0.25f, 0.5f, 0.5f, -0.25f, 0, 0, 0};
    for (uint32_t i = 1; i <= 3; i++) {
        EXPECT_EQ(m.x(i), expected[3 * i - 3]) << i;
        EXPECT_EQ(m.y(i), expected[3 * i - 2]) << i;
        EXPECT_EQ(m.z(i), expected[3 * i - 1]) << i;
    }
}

TEST(FitToUnitCube, LargestStraddlingAxisSpansMinusOneToOne) {
    PositionModel m({-2, -1, 0, 2, 1, 1});
    EXPECT_EQ(zelFitToUnitCube(m.model), 0.5f);
    EXPECT_EQ(m.x(1), -1.0f);
    EXPECT_EQ(m.x(2), 1.0f);
    EXPECT_EQ(m.y(1), -0.5f);
    EXPECT_EQ(m.y(2), 0.5f);
    EXPECT_EQ(m.z(1), -0.25f);
    EXPECT_EQ(m.z(2), 0.25f);
}

TEST(FitToUnitCube, SingleVertexGoesToTheOriginWithFactorTwoSixths) {
    PositionModel m({1, 2, 3});
    EXPECT_EQ(zelFitToUnitCube(m.model), static_cast<float>(2.0 / 6));
    EXPECT_EQ(m.x(1), 0.0f);
    EXPECT_EQ(m.y(1), 0.0f);
    EXPECT_EQ(m.z(1), 0.0f);
}

TEST(FitToUnitCube, CentresBeforeScalingWithEachStepRounded) {
    // x from 0.1f to 0.7f: size 0.800000012f, centre 0.400000006f, factor 2.5. The moved x of
    // vertex 2 is stored (0.299999982f) before it is scaled, giving 0.74999994f; carrying the
    // whole computation in double precision would give 0.75.
    PositionModel m({0.1f, 0, 0, 0.7f, 0, 0});
    EXPECT_EQ(zelFitToUnitCube(m.model), 2.5f);
    EXPECT_EQ(m.x(1), -0.75f);
    EXPECT_EQ(m.x(2), 0.74999994f);
}

TEST(FitToUnitCube, LeavesEverythingButPositionsBitForBit) {
    PositionModel m({1, 2, 3, -4, 5, 6, 7, -8, 9});
    ZelModel* model = m.model;
    model->normalcount = 2;
    model->normals = oneBased({0.1f, 0.2f, 0.3f, -0.0f, 1e-3f, 7.5f}, 3);
    model->facetnormcount = 1;
    model->facetnorms = oneBased({0.6f, -0.8f, 0.0f}, 3);
    model->texcoordcount = 1;
    model->texcoords = oneBased({0.25f, 0.75f}, 2);
    model->trianglecount = 1;
    model->triangles = static_cast<ZelTriangle*>(std::calloc(1, sizeof(ZelTriangle)));
    model->triangles[0] = ZelTriangle{{1, 2, 3}, {1, 2, 1}, {1, 1, 1}, 1};
    model->position[0] = 4.0f;

    const std::vector<float> normals(model->normals, model->normals + 9);
    const std::vector<float> facetnorms(model->facetnorms, model->facetnorms + 6);
    const std::vector<float> texcoords(model->texcoords, model->texcoords + 4);
    const ZelTriangle triangle = model->triangles[0];

    zelFitToUnitCube(model);

    for (size_t i = 3; i < 9; i++) EXPECT_TRUE(sameBits(model->normals[i], normals[i])) << i;
    for (size_t i = 3; i < 6; i++) EXPECT_TRUE(sameBits(model->facetnorms[i], facetnorms[i])) << i;
    for (size_t i = 2; i < 4; i++) EXPECT_TRUE(sameBits(model->texcoords[i], texcoords[i])) << i;
    EXPECT_EQ(std::memcmp(&model->triangles[0], &triangle, sizeof triangle), 0);
    EXPECT_EQ(model->position[0], 4.0f);
    EXPECT_EQ(model->vertexcount, 3u);
}

// Models the fit cannot scale: nothing to measure, or a largest size of 0, infinity or NaN, or so
// small that 2 / size overflows. They are centred along every axis whose centre is finite, never
// given a NaN or infinity they did not have, and the factor reported is 1.
TEST(FitToUnitCubeUnscalable, ModelWithoutVerticesIsLeftAlone) {
    PositionModel m({});
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(m.model->vertices[i], 77.0f);
}

TEST(FitToUnitCubeUnscalable, AllVerticesAtTheOriginStayThere) {
    PositionModel m({0, 0, 0, 0, -0.0f, 0, 0, 0, 0});
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    for (uint32_t i = 1; i <= 3; i++) {
        EXPECT_EQ(m.x(i), 0.0f);
        EXPECT_EQ(m.y(i), 0.0f);
        EXPECT_EQ(m.z(i), 0.0f);
    }
}

TEST(FitToUnitCubeUnscalable, InfiniteCoordinateCentresOnlyTheFiniteAxes) {
    PositionModel m({kInf, 3, 1, 0, 1, -1});
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    EXPECT_EQ(m.x(1), kInf);  // the x centre is infinite: x is not moved
    EXPECT_EQ(m.x(2), 0.0f);
    EXPECT_EQ(m.y(1), 1.0f);  // y centre 2
    EXPECT_EQ(m.y(2), -1.0f);
    EXPECT_EQ(m.z(1), 1.0f);  // z centre 0
    EXPECT_EQ(m.z(2), -1.0f);
}

TEST(FitToUnitCubeUnscalable, InfinitiesOnBothSidesWriteNoNaN) {
    PositionModel m({kInf, 0, 0, -kInf, 2, 4});
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    EXPECT_EQ(m.x(1), kInf);
    EXPECT_EQ(m.x(2), -kInf);
    EXPECT_EQ(m.y(1), -1.0f);
    EXPECT_EQ(m.y(2), 1.0f);
    EXPECT_EQ(m.z(1), -2.0f);
    EXPECT_EQ(m.z(2), 2.0f);
}

TEST(FitToUnitCubeUnscalable, NaNFirstVertexSpreadsNoNaN) {
    // A NaN in vertex 1 seeds the x bounds with NaN, so the largest size is NaN.
    PositionModel m({kNaN, 2, 2, 1, 0, 0});
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    EXPECT_TRUE(std::isnan(m.x(1)));
    EXPECT_EQ(m.x(2), 1.0f);
    EXPECT_EQ(m.y(1), 1.0f);
    EXPECT_EQ(m.y(2), -1.0f);
    EXPECT_EQ(m.z(1), 1.0f);
    EXPECT_EQ(m.z(2), -1.0f);
}

TEST(FitToUnitCubeUnscalable, SizeSoSmallThatTheFactorOverflowsIsOnlyCentred) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    PositionModel m({tiny, 0, 0, 0, 0, 0});
    ASSERT_TRUE(std::isinf(static_cast<float>(2.0 / tiny)));
    EXPECT_EQ(zelFitToUnitCube(m.model), 1.0f);
    for (uint32_t i = 1; i <= 2; i++) {
        EXPECT_TRUE(std::isfinite(m.x(i))) << i;
        EXPECT_LE(std::fabs(m.x(i)), tiny) << i;
    }
}

TEST(FitToUnitCubeUnscalable, ZeroSizeAxisNextToALargerOneStillScales) {
    PositionModel m({0, 0, 0, 4, 0, 0});
    EXPECT_EQ(zelFitToUnitCube(m.model), 0.5f);
    EXPECT_EQ(m.x(1), -1.0f);
    EXPECT_EQ(m.x(2), 1.0f);
    EXPECT_EQ(m.y(2), 0.0f);
}

// ---- zelScaleModel and zelTranslateModel
// ------------------------------------------------------------

TEST(ScaleAndTranslate, ScaleMultipliesEveryCoordinateAndNothingElse) {
    PositionModel m({1, -2, 3, 0.5f, 0, -0.25f});
    zelScaleModel(m.model, 3.0f);
    const float expected[] = {77, 77, 77, 3, -6, 9, 1.5f, 0, -0.75f};
    for (int i = 0; i < 9; i++) EXPECT_EQ(m.model->vertices[i], expected[i]) << i;
}

TEST(ScaleAndTranslate, TranslateAddsTheOffsetPerAxis) {
    PositionModel m({1, -2, 3, 0.5f, 0, -0.25f});
    const float offset[3] = {10, 20, -30};
    zelTranslateModel(m.model, offset);
    const float expected[] = {77, 77, 77, 11, 18, -27, 10.5f, 20, -30.25f};
    for (int i = 0; i < 9; i++) EXPECT_EQ(m.model->vertices[i], expected[i]) << i;
}

TEST(ScaleAndTranslate, ModelWithoutVerticesIsLeftAlone) {
    PositionModel m({});
    const float offset[3] = {1, 2, 3};
    zelScaleModel(m.model, 2.0f);
    zelTranslateModel(m.model, offset);
    for (int i = 0; i < 3; i++) EXPECT_EQ(m.model->vertices[i], 77.0f);
}

// ---- zelFlipWinding
// ---------------------------------------------------------------------------------

struct WindingModel : PositionModel {
    WindingModel() : PositionModel({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}) {
        model->trianglecount = 2;
        model->triangles = static_cast<ZelTriangle*>(std::calloc(2, sizeof(ZelTriangle)));
        model->triangles[0] = ZelTriangle{{1, 2, 3}, {1, 2, 3}, {3, 2, 1}, 1};
        model->triangles[1] = ZelTriangle{{2, 4, 3}, {4, 3, 2}, {1, 3, 2}, 2};
    }
    void addNormals() {
        model->normalcount = 4;
        model->normals = oneBased({0, 0, 1, 0.5f, -0.0f, 0.25f, 1, 0, 0, 0, -1, 0}, 3);
    }
    void addFacetNormals() {
        model->facetnormcount = 2;
        model->facetnorms = oneBased({0, 0, 1, 0.6f, 0.8f, -0.0f}, 3);
    }
    void addTexcoords() {
        model->texcoordcount = 3;
        model->texcoords = oneBased({0, 0, 1, 0, 0, 1}, 2);
    }
};

TEST(FlipWinding, WithoutNormalsOrTexcoordsOnlyVertexCornersTradePlaces) {
    WindingModel m;
    zelFlipWinding(m.model);
    const ZelTriangle* t = m.model->triangles;
    EXPECT_EQ(t[0].vertexidx[0], 3u);
    EXPECT_EQ(t[0].vertexidx[1], 2u);
    EXPECT_EQ(t[0].vertexidx[2], 1u);
    EXPECT_EQ(t[1].vertexidx[0], 3u);
    EXPECT_EQ(t[1].vertexidx[1], 4u);
    EXPECT_EQ(t[1].vertexidx[2], 2u);
    // The counts decide, not the arrays: these indices stay as they are.
    EXPECT_EQ(t[0].normalidx[0], 1u);
    EXPECT_EQ(t[0].normalidx[2], 3u);
    EXPECT_EQ(t[1].texcoordidx[0], 1u);
    EXPECT_EQ(t[1].texcoordidx[2], 2u);
    EXPECT_EQ(t[0].facetidx, 1u);
    EXPECT_EQ(t[1].facetidx, 2u);
}

TEST(FlipWinding, SwapsNormalAndTexcoordCornersAndNegatesNormals) {
    WindingModel m;
    m.addNormals();
    m.addFacetNormals();
    m.addTexcoords();
    zelFlipWinding(m.model);
    const ZelTriangle* t = m.model->triangles;
    EXPECT_EQ(t[0].normalidx[0], 3u);
    EXPECT_EQ(t[0].normalidx[2], 1u);
    EXPECT_EQ(t[1].normalidx[0], 2u);
    EXPECT_EQ(t[1].normalidx[1], 3u);
    EXPECT_EQ(t[1].normalidx[2], 4u);
    EXPECT_EQ(t[0].texcoordidx[0], 1u);
    EXPECT_EQ(t[0].texcoordidx[2], 3u);
    EXPECT_EQ(t[1].facetidx, 2u);

    const float normals[] = {-0.0f, -0.0f, -1,    -0.5f, 0.0f, -0.25f,
                             -1,    -0.0f, -0.0f, -0.0f, 1,    -0.0f};
    for (int i = 0; i < 12; i++) EXPECT_TRUE(sameBits(m.model->normals[3 + i], normals[i])) << i;
    const float facets[] = {-0.0f, -0.0f, -1, -0.6f, -0.8f, 0.0f};
    for (int i = 0; i < 6; i++) EXPECT_TRUE(sameBits(m.model->facetnorms[3 + i], facets[i])) << i;
    for (int i = 0; i < 3; i++) EXPECT_EQ(m.model->normals[i], 77.0f);  // slot 0 untouched
}

TEST(FlipWinding, TwiceRestoresTheModelExactly) {
    WindingModel m;
    m.addNormals();
    m.addFacetNormals();
    m.addTexcoords();
    std::vector<ZelTriangle> triangles(m.model->triangles, m.model->triangles + 2);
    std::vector<float> normals(m.model->normals, m.model->normals + 15);
    std::vector<float> facets(m.model->facetnorms, m.model->facetnorms + 9);
    zelFlipWinding(m.model);
    zelFlipWinding(m.model);
    EXPECT_EQ(std::memcmp(m.model->triangles, triangles.data(), 2 * sizeof(ZelTriangle)), 0);
    EXPECT_EQ(std::memcmp(m.model->normals, normals.data(), 15 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(m.model->facetnorms, facets.data(), 9 * sizeof(float)), 0);
}

// ---- Preconditions
// ----------------------------------------------------------------------------------

TEST(BoundsPreconditionsDeathTest, NamesTheFailedExpression) {
    PositionModel m({1, 2, 3});
    PositionModel bare({});
    std::free(bare.model->vertices);
    bare.model->vertices = nullptr;
    float dims[3];
    EXPECT_DEATH(zelExtents(nullptr, dims), "Assertion `model' failed");
    EXPECT_DEATH(zelExtents(bare.model, dims), "Assertion `model->vertices' failed");
    EXPECT_DEATH(zelExtents(m.model, nullptr), "Assertion `dimensions' failed");
    EXPECT_DEATH(zelFitToUnitCube(nullptr), "Assertion `model' failed");
    EXPECT_DEATH(zelFitToUnitCube(bare.model), "Assertion `model->vertices' failed");
    EXPECT_DEATH(zelFlipWinding(nullptr), "Assertion `model' failed");
}

}  // namespace
