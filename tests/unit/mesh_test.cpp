// Meshes: every model and mode reproduced corner for corner with distinct vertices (mesh_check.h),
// the order for the vertex cache, threads, the warnings and the guards of hand-built models.
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

struct Free {
    void operator()(ZelModel* m) const { zelFreeModel(m); }
    void operator()(ZelMesh* m) const { zelFreeMesh(m); }
};
using ModelPtr = std::unique_ptr<ZelModel, Free>;
using MeshPtr = std::unique_ptr<ZelMesh, Free>;
const uint32_t F = ZEL_FLAT, S = ZEL_SMOOTH, T = ZEL_TEXTURE;

// A pyramid with a material library: fan-triangulated quads, an empty group, one face without
// normals while the file has some (its corners name normal 0), facet normals, planar coordinates.
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

// Bits that matter: 0 and -0, a point repeated on two vertex lines, NaNs with equal and with
// different payloads, normals copied per corner, texture coordinate 0 (slot 0), and a group that
// lists one triangle twice.
ModelPtr bitsModel() {
    float nan[2];
    const uint32_t payloads[2] = {0x7fc00001, 0x7fc00002};
    std::memcpy(nan, payloads, sizeof nan);
    ModelPtr m(zeltest::handModel({{0, 0, 0},
                                   {-0.0f, 0, 0},
                                   {0, 0, 0},
                                   {nan[0], 1, 0},
                                   {nan[0], 1, 0},
                                   {nan[1], 1, 0},
                                   {1, 1, 1}},
                                  {{1, 4, 7}, {2, 5, 7}, {3, 6, 7}, {1, 2, 3}}));
    zeltest::setNormals(m.get(), {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, -0.0f}});
    zeltest::setFacetNormals(m.get(), {{0, 1, 0}, {0, 1, 0}, {0, -0.0f, 0}, {0, 1, 0}});
    zeltest::setTexCoords(m.get(), {{0.5f, 0.5f}, {0.5f, -0.0f}});
    for (uint32_t t = 0; t < 4; t++)
        for (uint32_t k = 0; k < 3; k++) {
            m->triangles[t].normalidx[k] = 1 + (t + k) % 4;
            m->triangles[t].texcoordidx[k] = (t + k) % 3;
        }
    ZelGroup* twice = zelAddGroupNamed(m.get(), "twice");
    twice->trianglecount = 3;
    twice->triangleidx = static_cast<uint32_t*>(std::malloc(3 * sizeof(uint32_t)));
    const uint32_t listed[3] = {3, 0, 3};
    std::memcpy(twice->triangleidx, listed, sizeof listed);
    return m;
}

// A hand model with facet and vertex normals and planar coordinates, from a point and triangle
// maker: a grid of w x h squares written row after row as exporters write them, or a fan whose
// hub has, in flat mode, a triple per triangle, far more than a vertex's chain holds.
ModelPtr prepared(std::vector<zeltest::Vec3> points, std::vector<zeltest::Corners> triangles) {
    ModelPtr m(zeltest::handModel(points, triangles));
    zelComputeFacetNormals(m.get());
    zelVertexNormals(m.get(), 60.0f);
    zelPlanarTexCoords(m.get());
    return m;
}

ModelPtr grid(uint32_t w, uint32_t h) {
    std::vector<zeltest::Vec3> points;
    std::vector<zeltest::Corners> triangles;
    for (uint32_t j = 0; j <= h; j++)
        for (uint32_t i = 0; i <= w; i++) {
            points.push_back({float(i), std::sin(0.3f * i + 0.2f * j), float(j)});
            const uint32_t a = j * (w + 1) + i + 1, c = a + w + 2;
            if (i < w && j < h) triangles.insert(triangles.end(), {{a, a + 1, c}, {a, c, c - 1}});
        }
    return prepared(points, triangles);
}

ModelPtr fan(uint32_t spokes) {
    std::vector<zeltest::Vec3> points{{0, 0, 0}};
    std::vector<zeltest::Corners> triangles;
    for (uint32_t i = 0; i <= spokes; i++) {
        points.push_back({std::cos(0.1f * i), std::sin(0.1f * i), 0.01f * float(i % 7)});
        if (i > 0) triangles.push_back({1, i + 1, i + 2});
    }
    return prepared(points, triangles);
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

TEST(MakeMesh, ReproducesEveryCornerWithDistinctVerticesOnEveryModelAndMode) {
    std::vector<std::pair<const char*, ModelPtr>> models;
    models.emplace_back("pyramid", pyramid());
    models.emplace_back("bits", bitsModel());
    models.emplace_back("fan", fan(200));
    models.emplace_back("grid", grid(30, 20));
    models.emplace_back("no triangles", ModelPtr(zeltest::handModel({{1, 2, 3}}, {})));
    for (const auto& [name, model] : models)
        for (uint32_t mode : {0u, F, S, T, F | T, S | T, F | S | T, F | S | T | ZEL_WIREFRAME})
            for (uint32_t run : {0u, 1u, 2u, 5u}) {
                MeshPtr mesh = make(model.get(), mode, 0, run);
                ASSERT_NE(mesh, nullptr);
                EXPECT_EQ(zeltest::meshMismatch(model.get(), mode, mesh.get()), "")
                    << name << ", mode " << mode << ", runs of " << run;
            }
}

TEST(MakeMesh, OrdersEachGroupForTheVertexCache) {
    ModelPtr model = grid(120, 40);  // rows far longer than the cache
    std::vector<unsigned> asRead;
    for (uint32_t t = 0; t < model->trianglecount; t++)
        for (uint32_t v : model->triangles[t].vertexidx) asRead.push_back(v - 1);
    MeshPtr mesh = make(model.get(), 0);
    ASSERT_EQ(mesh->vertexcount, model->vertexcount);
    const unsigned cache = ZEL_MESH_CACHE_SIZE;
    const float before =
        meshopt_analyzeVertexCache(asRead.data(), asRead.size(), model->vertexcount, cache, 0, 0)
            .acmr;
    const float after =
        meshopt_analyzeVertexCache(mesh->indices, mesh->indexcount, mesh->vertexcount, cache, 0, 0)
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
            const size_t floats = size_t{one->vertexcount} * one->stride;
            EXPECT_EQ(std::memcmp(many->vertices, one->vertices, floats * sizeof(float)), 0);
            EXPECT_EQ(std::memcmp(many->indices, one->indices, one->indexcount * 4), 0)
                << threads << " threads, runs of " << run;
        }
    }
}

TEST(MakeMesh, WarnsAsZelDrawDoesUnderItsOwnName) {
    ModelPtr bare(zeltest::handModel({{0, 0, 0}}, {}));
    ModelPtr full = pyramid();
    zelVertexNormals(full.get(), 90.0f);
    const std::string w = "zelMakeMesh() warning: ", m = " render mode requested";
    const struct {
        const ZelModel* model;
        uint32_t mode, kept;
        std::string out;
    } cases[] = {
        {bare.get(), 63, 0,
         w + "flat" + m + " with no facet normals defined.\n" + w + "smooth" + m +
             " with no normals defined.\n" + w + "texture" + m +
             " with no texture coordinates defined.\n" + w + "color" + m +
             " with no materials defined.\n" + w + "material" + m +
             " with no materials defined.\n"},
        {full.get(), 63, S | T,
         w + "flat" + m + " and smooth" + m + " (using smooth).\n" + w + "color and material" + m +
             " using only material mode.\n"},
        {full.get(), F | T | ZEL_MATERIAL | ZEL_WIREFRAME | 0x400u, F | T, ""},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        MeshPtr mesh(zelMakeMesh(c.model, c.mode));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.mode;
        EXPECT_EQ(mesh->mode, c.kept) << c.mode;
    }
}

// zelMakeMesh takes these models as precondition failures; zelBuildMesh returns them as failures.
// zelBuildMesh hands its callback, line for line, what zelMakeMesh prints, whatever the mode.
TEST(MakeMesh, TheWarningCallbackGetsThePrintedLines) {
    ModelPtr bare(zeltest::handModel({{0, 0, 0}}, {}));
    ModelPtr full = pyramid();
    zelVertexNormals(full.get(), 90.0f);
    for (ZelModel* model : {bare.get(), full.get()}) {
        for (uint32_t mode = 0; mode < 128; mode++) {
            testing::internal::CaptureStdout();
            MeshPtr printed(zelMakeMesh(model, mode));
            const std::string out = testing::internal::GetCapturedStdout();
            std::string lines;
            ZelMeshOptions options{};
            options.user = &lines;
            options.warning = [](void* user, const char* line) {
                *static_cast<std::string*>(user) += std::string(line) + "\n";
            };
            testing::internal::CaptureStdout();
            MeshPtr reported(zelBuildMesh(model, mode, &options, nullptr));
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            EXPECT_EQ(lines, out) << mode;
            EXPECT_EQ(reported->mode, printed->mode) << mode;
            EXPECT_EQ(zelCheckMode(mode, zelModelHolds(model), ZEL_USE_DRAW, "zelMakeMesh",
                                   options.warning, &lines) &
                          ZEL_MESH_ATTRIBUTES,
                      printed->mode);
            EXPECT_EQ(zelMeshHolds(reported.get()) & ZEL_MESH_ATTRIBUTES, reported->mode);
        }
    }
}

TEST(MakeMeshDeathTest, AnIndexOutsideTheArrayTheModeReadsIsAPreconditionFailure) {
    const struct {
        const char* assertion;  // a regular expression
        uint32_t mode;
        void (*spoil)(ZelModel*);
        const char* failure;  // zelBuildMesh's message
    } cases[] = {
        {"index < model->trianglecount", 0,
         [](ZelModel* m) { zelGroupByName(m, " sides")->triangleidx[1] = 6; },
         "group \" sides\": triangle 6 is not one of the 6 triangles."},
        {"tri.vertexidx\\[k\\] <= model->vertexcount", 0,
         [](ZelModel* m) { m->triangles[2].vertexidx[1] = 6; },
         "group \" sides\": triangle 2 has an index beyond its array."},
        {"tri.normalidx\\[k\\] <= model->normalcount", S,
         [](ZelModel* m) { m->triangles[0].normalidx[2] = m->normalcount + 1; },
         "group \" base\": triangle 0 has an index beyond its array."},
        {"tri.facetidx <= model->facetnormcount", F,
         [](ZelModel* m) { m->triangles[3].facetidx = 7; },
         "group \" sides\": triangle 3 has an index beyond its array."},
        {"tri.texcoordidx\\[k\\] <= model->texcoordcount", T,
         [](ZelModel* m) { m->triangles[1].texcoordidx[0] = 6; },
         "group \" base\": triangle 1 has an index beyond its array."},
        {"group->material < model->materialcount", 0, [](ZelModel* m) { m->groups->material = 2; },
         "group \" empty\": material 2 is not one of the 2 materials."},
    };
    for (const auto& c : cases) {
        ModelPtr model = pyramid();
        zelVertexNormals(model.get(), 90.0f);
        c.spoil(model.get());
        EXPECT_DEATH(zelMakeMesh(model.get(), c.mode), std::string("Assertion `") + c.assertion);
        ZelError error;
        ZelMeshOptions quiet{};
        quiet.quiet = 1;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(zelBuildMesh(model.get(), c.mode, &quiet, &error), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout(),
                  "");
        EXPECT_EQ(error.message, std::string("zelMakeMesh() failed: ") + c.failure);
        EXPECT_EQ(error.outofmemory, 0u);
    }
    ModelPtr unread = pyramid();
    std::free(unread->vertices);
    unread->vertices = nullptr;
    EXPECT_DEATH(zelMakeMesh(unread.get(), 0), "Assertion `model->vertices' failed");
    EXPECT_DEATH(zelMakeMesh(nullptr, 0), "Assertion `model' failed");
    // Indices the mode does not read are not looked at.
    ModelPtr model = pyramid();
    model->triangles[0].normalidx[0] = model->triangles[1].texcoordidx[2] = 99;
    model->triangles[2].facetidx = 99;
    EXPECT_EQ(zeltest::meshMismatch(model.get(), 0, make(model.get(), 0).get()), "");
}

TEST(MakeMesh, MoreTrianglesThan32BitIndicesCountGetNoMesh) {
    ModelPtr model(zeltest::handModel({{0, 0, 0}}, {}));
    // Only the counts are looked at: the entries are never read.
    model->groups->trianglecount = 0x80000000u;
    zelAddGroupNamed(model.get(), "more")->trianglecount = 0x7fffffffu;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelMakeMesh(model.get(), 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "zelMakeMesh() failed: 4294967295 triangles are more than 32-bit indices can "
              "count.\n");
    model->groups->trianglecount = model->groups->next->trianglecount = 0;
    zelFreeMesh(nullptr);
}

}  // namespace
