// Meshes: every model and mode reproduced corner for corner with shared vertices (mesh_check.h),
// the order for the vertex cache, threads, the warnings, and the guards of hand-built models.
#include "mesh.h"

#include <gtest/gtest.h>
#include <meshoptimizer.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hand_models.h"
#include "mesh_check.h"
#include "test_models.h"

namespace {

using zeltest::handModel;
using zeltest::Vec3;

struct ModelDeleter {
    void operator()(ZelModel* m) const { zelFreeModel(m); }
};
struct MeshDeleter {
    void operator()(ZelMesh* m) const { zelFreeMesh(m); }
};
using ModelPtr = std::unique_ptr<ZelModel, ModelDeleter>;
using MeshPtr = std::unique_ptr<ZelMesh, MeshDeleter>;

float bitsToFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A pyramid with a material library: two groups and an empty one, fan-triangulated quads, one face
// without normals while the file has some (its corners name normal 0), facet and vertex normals
// and planar coordinates made as zelview makes them.
ModelPtr pyramid() {
    ModelPtr m(zeltest::modelFromObj(
        "mtllib m.mtl\nv -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 3 0\nvn 0 -1 0\n"
        "g base\nusemtl red\nf 4//1 3//1 2//1 1//1\ng sides\nf 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\n"
        "g empty\n",
        {{"m.mtl", "newmtl red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 200\n"}}));
    zelComputeFacetNormals(m.get());
    zelPlanarTexCoords(m.get());
    return m;
}

// Positions whose bits matter: 0 and -0, the same point on two vertex lines, NaNs with equal and
// with different bits. Normals are copies per corner (equal values, different indices) and the
// second group lists one triangle twice.
ModelPtr bitsModel() {
    const float nanA = bitsToFloat(0x7fc00001), nanB = bitsToFloat(0x7fc00002);
    ModelPtr m(handModel(
        {{0, 0, 0}, {-0.0f, 0, 0}, {0, 0, 0}, {nanA, 1, 0}, {nanA, 1, 0}, {nanB, 1, 0}, {1, 1, 1}},
        {{1, 4, 7}, {2, 5, 7}, {3, 6, 7}, {1, 2, 3}}));
    zeltest::setNormals(m.get(), {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, -0.0f}});
    zeltest::setFacetNormals(m.get(), {{0, 1, 0}, {0, 1, 0}, {0, -0.0f, 0}, {0, 1, 0}});
    zeltest::setTexCoords(m.get(), {{0.5f, 0.5f}, {0.5f, -0.0f}});
    for (uint32_t t = 0; t < 4; t++)
        for (int k = 0; k < 3; k++) {
            m->triangles[t].normalidx[k] = 1 + (t + k) % 4;
            m->triangles[t].texcoordidx[k] = (t + k) % 3;  // 0: slot 0, the zero pair
        }
    ZelGroup* twice = zelAddGroupNamed(m.get(), "twice");
    twice->trianglecount = 3;
    twice->triangleidx = static_cast<uint32_t*>(std::malloc(3 * sizeof(uint32_t)));
    const uint32_t listed[3] = {3, 0, 3};
    std::memcpy(twice->triangleidx, listed, sizeof listed);
    return m;
}

// A fan of `spokes` triangles around vertex 1: in flat mode the hub has a triple per triangle,
// far more than a vertex's chain holds.
ModelPtr fan(uint32_t spokes) {
    std::vector<Vec3> points{{0, 0, 0}};
    std::vector<zeltest::Corners> triangles;
    for (uint32_t i = 0; i <= spokes; i++) {
        const float a = 0.1f * static_cast<float>(i);
        points.push_back({std::cos(a), std::sin(a), 0.01f * static_cast<float>(i % 7)});
        if (i > 0) triangles.push_back({1, i + 1, i + 2});
    }
    ModelPtr m(handModel(points, triangles));
    zelComputeFacetNormals(m.get());
    zelVertexNormals(m.get(), 30.0f);
    return m;
}

// A grid of w x h squares, two triangles each, rows one after the other as exporters write them.
ModelPtr grid(uint32_t w, uint32_t h) {
    std::vector<Vec3> points;
    for (uint32_t j = 0; j <= h; j++)
        for (uint32_t i = 0; i <= w; i++)
            points.push_back(
                {static_cast<float>(i), std::sin(0.3f * i + 0.2f * j), static_cast<float>(j)});
    std::vector<zeltest::Corners> triangles;
    for (uint32_t j = 0; j < h; j++)
        for (uint32_t i = 0; i < w; i++) {
            const uint32_t a = j * (w + 1) + i + 1, b = a + 1, c = a + w + 2, d = a + w + 1;
            triangles.push_back({a, b, c});
            triangles.push_back({a, c, d});
        }
    ModelPtr m(handModel(points, triangles));
    zelComputeFacetNormals(m.get());
    zelVertexNormals(m.get(), 90.0f);
    zelPlanarTexCoords(m.get());
    return m;
}

MeshPtr make(const ZelModel* model, uint32_t mode, uint32_t threads = 0, uint32_t run = 0) {
    zel::MeshOptions options;
    options.threads = threads;
    options.runTriangles = run;
    testing::internal::CaptureStdout();
    MeshPtr mesh(zel::makeMesh(model, mode, options));
    testing::internal::GetCapturedStdout();
    return mesh;
}

const uint32_t F = ZEL_FLAT, S = ZEL_SMOOTH, T = ZEL_TEXTURE;

// ---- The mesh property, on every model and mode -------------------------------------------------

TEST(MakeMesh, ReproducesEveryCornerWithDistinctVerticesOnEveryModelAndMode) {
    std::vector<std::pair<const char*, ModelPtr>> models;
    models.emplace_back("pyramid", pyramid());
    models.emplace_back("bits", bitsModel());
    models.emplace_back("fan", fan(200));
    models.emplace_back("grid", grid(30, 20));
    models.emplace_back("no triangles", ModelPtr(handModel({{1, 2, 3}}, {})));
    for (const auto& [name, model] : models)
        for (uint32_t mode : {0u, F, S, T, F | T, S | T, F | S | T, F | S | T | ZEL_WIREFRAME})
            for (uint32_t run : {0u, 1u, 2u, 5u}) {
                MeshPtr mesh = make(model.get(), mode, 0, run);
                ASSERT_NE(mesh, nullptr);
                EXPECT_EQ(zeltest::meshMismatch(model.get(), mode, mesh.get()), "")
                    << name << ", mode " << mode << ", runs of " << run;
            }
}

TEST(MakeMesh, SharesVerticesByBitsNotByIndex) {
    ModelPtr model = bitsModel();
    // Positions only: 0, -0, the repeated origin (merged with vertex 1), NaN A twice (merged),
    // NaN B and (1, 1, 1).
    EXPECT_EQ(make(model.get(), 0)->vertexcount, 5u);
    // With the copied normals: the repeated origin has another normal than vertex 1 where both
    // are used, so fewer merge; the remap over every corner is the independent count.
    for (uint32_t mode : {S, F | T, S | T}) {
        MeshPtr mesh = make(model.get(), mode);
        std::vector<float> corners;
        for (uint32_t i = 0; i < mesh->indexcount; i++) {
            const float* v = &mesh->vertices[size_t{mesh->stride} * mesh->indices[i]];
            corners.insert(corners.end(), v, v + mesh->stride);
        }
        std::vector<unsigned> remap(mesh->indexcount);
        EXPECT_EQ(
            meshopt_generateVertexRemap(remap.data(), nullptr, mesh->indexcount, corners.data(),
                                        mesh->indexcount, mesh->stride * sizeof(float)),
            mesh->vertexcount)
            << mode;
    }
}

TEST(MakeMesh, OrdersEachGroupForTheVertexCache) {
    ModelPtr model = grid(120, 40);  // rows far longer than the cache
    std::vector<unsigned> asRead;
    for (uint32_t t = 0; t < model->trianglecount; t++)
        for (uint32_t v : model->triangles[t].vertexidx) asRead.push_back(v - 1);
    MeshPtr mesh = make(model.get(), 0);
    ASSERT_EQ(mesh->vertexcount, model->vertexcount);
    const float before = meshopt_analyzeVertexCache(asRead.data(), asRead.size(),
                                                    model->vertexcount, zel::kMeshCacheSize, 0, 0)
                             .acmr;
    const float after = meshopt_analyzeVertexCache(mesh->indices, mesh->indexcount,
                                                   mesh->vertexcount, zel::kMeshCacheSize, 0, 0)
                            .acmr;
    EXPECT_LT(after, 0.75f * before) << before << " -> " << after;
}

TEST(MakeMesh, ThreadsChangeNothingButTheTime) {
    ModelPtr model = grid(300, 120);  // enough corners for step 1 to hand out runs as it goes
    for (uint32_t run : {0u, 7u}) {
        MeshPtr one = make(model.get(), S | T, 1, run);
        for (uint32_t threads : {2u, 5u}) {
            MeshPtr many = make(model.get(), S | T, threads, run);
            ASSERT_EQ(many->vertexcount, one->vertexcount);
            EXPECT_EQ(std::memcmp(many->vertices, one->vertices,
                                  size_t{one->vertexcount} * one->stride * sizeof(float)),
                      0);
            EXPECT_EQ(std::memcmp(many->indices, one->indices, one->indexcount * sizeof(uint32_t)),
                      0)
                << threads << " threads, runs of " << run;
        }
    }
}

TEST(MakeMesh, OutlivesItsModel) {
    ModelPtr model = pyramid();
    MeshPtr mesh = make(model.get(), S | T);
    const std::string copy = zeltest::meshMismatch(model.get(), S | T, mesh.get());
    model.reset();
    EXPECT_EQ(copy, "");
    EXPECT_STREQ(mesh->materials[1].name, "red");
    EXPECT_STREQ(mesh->groups[1].name, " sides");
    zelFreeMesh(nullptr);
}

// ---- Warnings -----------------------------------------------------------------------------------

TEST(MakeMeshWarnings, AreZelDrawsUnderItsOwnName) {
    ModelPtr bare(handModel({{0, 0, 0}}, {}));
    ModelPtr full = pyramid();
    zelVertexNormals(full.get(), 90.0f);
    const std::string w = "zelMakeMesh() warning: ";
    const struct {
        const ZelModel* model;
        uint32_t mode;
        std::string out;
        uint32_t kept;
    } cases[] = {
        {bare.get(), 63,
         w + "flat render mode requested with no facet normals defined.\n" + w +
             "smooth render mode requested with no normals defined.\n" + w +
             "texture render mode requested with no texture coordinates defined.\n" + w +
             "color render mode requested with no materials defined.\n" + w +
             "material render mode requested with no materials defined.\n",
         0},
        {full.get(), 63,
         w + "flat render mode requested and smooth render mode requested (using smooth).\n" + w +
             "color and material render mode requested using only material mode.\n",
         S | T},
        {full.get(), F | T | ZEL_MATERIAL | ZEL_WIREFRAME | 0x400u, "", F | T},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        MeshPtr mesh(zelMakeMesh(c.model, c.mode));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.mode;
        EXPECT_EQ(mesh->mode, c.kept) << c.mode;
    }
}

// ---- Hand-built models --------------------------------------------------------------------------

TEST(MakeMeshDeathTest, AnIndexOutsideItsArrayIsAPreconditionFailure) {
    const struct {
        const char* assertion;
        uint32_t mode;
        void (*spoil)(ZelModel*);
    } cases[] = {
        {"index < model->trianglecount", 0,
         [](ZelModel* m) { zelGroupByName(m, " sides")->triangleidx[1] = 6; }},
        {"tri.vertexidx[k] <= model->vertexcount", 0,
         [](ZelModel* m) { m->triangles[2].vertexidx[1] = 6; }},
        {"tri.normalidx[k] <= model->normalcount", S,
         [](ZelModel* m) { m->triangles[0].normalidx[2] = m->normalcount + 1; }},
        {"tri.facetidx <= model->facetnormcount", F,
         [](ZelModel* m) { m->triangles[3].facetidx = 7; }},
        {"tri.texcoordidx[k] <= model->texcoordcount", T,
         [](ZelModel* m) { m->triangles[1].texcoordidx[0] = 6; }},
        {"group->material < model->materialcount", 0, [](ZelModel* m) { m->groups->material = 2; }},
        {"model->vertices", 0,
         [](ZelModel* m) {
             std::free(m->vertices);
             m->vertices = nullptr;
         }},
    };
    for (const auto& c : cases) {
        ModelPtr model = pyramid();
        zelVertexNormals(model.get(), 90.0f);
        c.spoil(model.get());
        std::string pattern = "Assertion `";  // with the brackets escaped for the regex
        for (const char* p = c.assertion; *p; p++)
            pattern += (*p == '[' || *p == ']') ? std::string("\\") + *p : std::string(1, *p);
        EXPECT_DEATH(zelMakeMesh(model.get(), c.mode), pattern + "' failed");
    }
    EXPECT_DEATH(zelMakeMesh(nullptr, 0), "Assertion `model' failed");
}

TEST(MakeMesh, IndicesTheModeDoesNotReadAreNotChecked) {
    ModelPtr model = pyramid();
    model->triangles[0].normalidx[0] = 99;
    model->triangles[1].texcoordidx[2] = 99;
    model->triangles[2].facetidx = 99;
    MeshPtr mesh = make(model.get(), 0);
    EXPECT_EQ(zeltest::meshMismatch(model.get(), 0, mesh.get()), "");
}

TEST(MakeMesh, MoreTrianglesThan32BitIndicesCountGetNoMesh) {
    ModelPtr model(handModel({{0, 0, 0}}, {}));
    // Only the counts are looked at: the entries are never read.
    model->groups->trianglecount = 0x80000000u;
    zelAddGroupNamed(model.get(), "more")->trianglecount = 0x7fffffffu;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelMakeMesh(model.get(), 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zelMakeMesh() failed: 4294967295 triangles are more than 32-bit indices can "
              "count.\n");
    model->groups->trianglecount = 0;
    model->groups->next->trianglecount = 0;
}

}  // namespace
