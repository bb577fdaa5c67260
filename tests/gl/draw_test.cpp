// zelDraw and zelMakeList against the recording GL: the exact calls for each mode, the warnings
// (their texts, order and which flags they clear), display lists, meshes and textures per group.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "zel.h"

namespace {

struct MeshDeleter {
    void operator()(ZelMesh* m) const { zelFreeMesh(m); }
};
using MeshPtr = std::unique_ptr<ZelMesh, MeshDeleter>;

using glrec::call;
using glrec::fv;
using Calls = std::vector<std::string>;

const std::string kFlatMissing =
    "zelDraw() warning: flat render mode requested with no facet normals defined.\n";
const std::string kSmoothMissing =
    "zelDraw() warning: smooth render mode requested with no normals defined.\n";
const std::string kTextureMissing =
    "zelDraw() warning: texture render mode requested with no texture coordinates defined.\n";
const std::string kFlatAndSmooth =
    "zelDraw() warning: flat render mode requested and smooth render "
    "mode requested (using smooth).\n";
const std::string kColorMissing =
    "zelDraw() warning: color render mode requested with no materials defined.\n";
const std::string kMaterialMissing =
    "zelDraw() warning: material render mode requested with no materials defined.\n";
const std::string kColorAndMaterial =
    "zelDraw() warning: color and material render mode requested using only material mode.\n";
const std::string kVertexColorMissing =
    "zelDraw() warning: vertex color render mode requested with no vertex colors defined.\n";

float* oneBased(const std::vector<float>& values, size_t stride) {
    float* array = static_cast<float*>(std::calloc(values.size() + stride, sizeof(float)));
    std::memcpy(array + stride, values.data(), values.size() * sizeof(float));
    return array;
}

ZelMaterial material(const char* name, std::vector<float> diffuse, std::vector<float> ambient,
                     std::vector<float> specular, float shininess) {
    ZelMaterial m{};
    m.name = strdup(name);
    std::memcpy(m.diffuse, diffuse.data(), sizeof m.diffuse);
    std::memcpy(m.ambient, ambient.data(), sizeof m.ambient);
    std::memcpy(m.specular, specular.data(), sizeof m.specular);
    m.shininess = shininess;
    return m;
}

// Two triangles over four vertices, in two groups: "default" (created first, material 0) holds
// triangle 1 and "wing" (material 1) holds triangle 0, so the walk meets "wing" first. Every
// attribute value differs, so the recorded calls show which element was sent.
struct DrawModel {
    ZelModel* model;

    DrawModel() {
        model = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
        model->vertexcount = 4;
        model->vertices = oneBased({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 3);
        model->trianglecount = 2;
        model->triangles = static_cast<ZelTriangle*>(std::calloc(2, sizeof(ZelTriangle)));
        model->triangles[0] = ZelTriangle{{1, 2, 3}, {4, 3, 2}, {2, 1, 3}, 2};
        model->triangles[1] = ZelTriangle{{4, 3, 2}, {1, 1, 2}, {3, 3, 1}, 1};
        group("default", 0, {1});
        group("wing", 1, {0});
    }
    ~DrawModel() { zelFreeModel(model); }

    void group(const char* name, uint32_t materialIndex, const std::vector<uint32_t>& triangles) {
        ZelGroup* g = zelAddGroupNamed(model, name);
        g->material = materialIndex;
        g->trianglecount = static_cast<uint32_t>(triangles.size());
        g->triangleidx =
            static_cast<uint32_t*>(std::calloc(triangles.size() + 1, sizeof(uint32_t)));
        for (size_t i = 0; i < triangles.size(); i++) g->triangleidx[i] = triangles[i];
    }
    DrawModel& withFacetNormals() {
        model->facetnormcount = 2;
        model->facetnorms = oneBased({0.5f, 0, 0, 0, 0.5f, 0}, 3);
        return *this;
    }
    DrawModel& withNormals() {
        model->normalcount = 4;
        model->normals = oneBased({-1, 0, 0, 0, -1, 0, 0, 0, -1, -2, -2, -2}, 3);
        return *this;
    }
    DrawModel& withTexcoords() {
        model->texcoordcount = 3;
        model->texcoords = oneBased({0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 0.75f}, 2);
        return *this;
    }
    DrawModel& withMaterials() {
        model->materialcount = 2;
        model->materials = static_cast<ZelMaterial*>(std::calloc(2, sizeof(ZelMaterial)));
        model->materials[0] =
            material("default", {0.8f, 0.8f, 0.8f, 1}, {0.2f, 0.2f, 0.2f, 1}, {0, 0, 0, 1}, 65);
        model->materials[1] =
            material("red", {1, 0, 0, 0.5f}, {0.1f, 0, 0, 1}, {0.9f, 0.9f, 0.9f, 1}, 12.5f);
        return *this;
    }
    DrawModel& withColors() {
        model->colors = oneBased({0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f, 1, 1, 1}, 3);
        return *this;
    }
    // "wing" gets a line 4 1 (texture coordinates 3 and 1) and a point at vertex 1.
    DrawModel& withShapes() {
        ZelGroup* wing = zelGroupByName(model, "wing");
        wing->linecount = 1;
        wing->linestart = static_cast<uint32_t*>(std::calloc(2, sizeof(uint32_t)));
        wing->linestart[1] = 2;
        wing->linecorners = static_cast<ZelCorner*>(std::calloc(2, sizeof(ZelCorner)));
        wing->linecorners[0] = ZelCorner{4, 3, 0};
        wing->linecorners[1] = ZelCorner{1, 1, 0};
        wing->pointcount = 1;
        wing->pointidx = static_cast<uint32_t*>(std::calloc(1, sizeof(uint32_t)));
        wing->pointidx[0] = 1;
        return *this;
    }
    DrawModel& withEverything() {
        return withFacetNormals().withNormals().withTexcoords().withMaterials();
    }
};

std::string vertex(float x, float y, float z) {
    return call("glVertex3fv", fv({x, y, z}));
}
std::string normal(float x, float y, float z) {
    return call("glNormal3fv", fv({x, y, z}));
}
std::string texcoord(float u, float v) {
    return call("glTexCoord2fv", fv({u, v}));
}

// The corners of the model's two triangles.
const std::string kV1 = vertex(1, 2, 3), kV2 = vertex(4, 5, 6), kV3 = vertex(7, 8, 9),
                  kV4 = vertex(10, 11, 12);

Calls concat(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Drawing {
    Calls calls;
    std::string out;
};

Drawing draw(ZelModel* model, uint32_t mode) {
    glrec::clear();
    testing::internal::CaptureStdout();
    zelDraw(model, mode);
    Drawing d;
    d.out = testing::internal::GetCapturedStdout();
    d.calls = glrec::calls();
    return d;
}

// ---- The calls of each mode ---------------------------------------------------------------------

TEST(DrawCalls, ModeNoneSendsOneFilledBatchPerGroupWithPositionsOnly) {
    DrawModel m;
    m.withEverything();
    Drawing d = draw(m.model, ZEL_NONE);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls, (Calls{"glBegin(GL_TRIANGLES)", kV1, kV2, kV3, "glEnd()",
                              "glBegin(GL_TRIANGLES)", kV4, kV3, kV2, "glEnd()"}));
}

TEST(DrawCalls, WireframeSendsOneLineLoopPerTriangle) {
    DrawModel m;
    m.withEverything();
    Drawing d = draw(m.model, ZEL_WIREFRAME);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls, (Calls{"glBegin(GL_LINE_LOOP)", kV1, kV2, kV3, "glEnd()",
                              "glBegin(GL_LINE_LOOP)", kV4, kV3, kV2, "glEnd()"}));
}

TEST(DrawCalls, FlatSendsTheFacetNormalBeforeTheFirstCorner) {
    DrawModel m;
    m.withEverything();
    Drawing d = draw(m.model, ZEL_FLAT);
    EXPECT_EQ(d.calls,
              (Calls{"glBegin(GL_TRIANGLES)", normal(0, 0.5f, 0), kV1, kV2, kV3, "glEnd()",
                     "glBegin(GL_TRIANGLES)", normal(0.5f, 0, 0), kV4, kV3, kV2, "glEnd()"}));
}

TEST(DrawCalls, FlatWireframeCarriesTheFacetNormalInsideEachLoop) {
    DrawModel m;
    m.withFacetNormals();
    Drawing d = draw(m.model, ZEL_FLAT | ZEL_WIREFRAME);
    EXPECT_EQ(d.calls,
              (Calls{"glBegin(GL_LINE_LOOP)", normal(0, 0.5f, 0), kV1, kV2, kV3, "glEnd()",
                     "glBegin(GL_LINE_LOOP)", normal(0.5f, 0, 0), kV4, kV3, kV2, "glEnd()"}));
}

TEST(DrawCalls, SmoothTextureSendsNormalThenTexcoordThenVertexPerCorner) {
    DrawModel m;
    m.withEverything();
    Drawing d = draw(m.model, ZEL_SMOOTH | ZEL_TEXTURE);
    const std::string n1 = normal(-1, 0, 0), n2 = normal(0, -1, 0), n3 = normal(0, 0, -1),
                      n4 = normal(-2, -2, -2);
    const std::string t1 = texcoord(0.125f, 0.25f), t2 = texcoord(0.375f, 0.5f),
                      t3 = texcoord(0.625f, 0.75f);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls,
              (Calls{"glBegin(GL_TRIANGLES)", n4, t2, kV1, n3, t1, kV2, n2, t3, kV3, "glEnd()",
                     "glBegin(GL_TRIANGLES)", n1, t3, kV4, n1, t3, kV3, n2, t1, kV2, "glEnd()"}));
}

TEST(DrawCalls, TextureAloneSendsOnlyTexcoordsBeforeVertices) {
    DrawModel m;
    m.withEverything();
    Drawing d = draw(m.model, ZEL_TEXTURE | ZEL_WIREFRAME);
    EXPECT_EQ(d.calls,
              (Calls{"glBegin(GL_LINE_LOOP)", texcoord(0.375f, 0.5f), kV1, texcoord(0.125f, 0.25f),
                     kV2, texcoord(0.625f, 0.75f), kV3, "glEnd()", "glBegin(GL_LINE_LOOP)",
                     texcoord(0.625f, 0.75f), kV4, texcoord(0.625f, 0.75f), kV3,
                     texcoord(0.125f, 0.25f), kV2, "glEnd()"}));
}

TEST(DrawCalls, ColorSwitchesTrackingOnAndColoursEachGroupWithItsOwnDiffuse) {
    DrawModel m;
    m.withMaterials();
    Drawing d = draw(m.model, ZEL_COLOR);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls, (Calls{"glEnable(GL_COLOR_MATERIAL)", call("glColor3fv", fv({1, 0, 0})),
                              "glBegin(GL_TRIANGLES)", kV1, kV2, kV3, "glEnd()",
                              call("glColor3fv", fv({0.8f, 0.8f, 0.8f})), "glBegin(GL_TRIANGLES)",
                              kV4, kV3, kV2, "glEnd()"}));
}

Calls materialCalls(const std::vector<float>& ambient, const std::vector<float>& diffuse,
                    const std::vector<float>& specular, float shininess) {
    auto four = [](const std::vector<float>& v) { return fv({v[0], v[1], v[2], v[3]}); };
    return {call("glMaterialfv", "GL_FRONT_AND_BACK", "GL_AMBIENT", four(ambient)),
            call("glMaterialfv", "GL_FRONT_AND_BACK", "GL_DIFFUSE", four(diffuse)),
            call("glMaterialfv", "GL_FRONT_AND_BACK", "GL_SPECULAR", four(specular)),
            call("glMaterialf", "GL_FRONT_AND_BACK", "GL_SHININESS", shininess)};
}

const Calls kRedMaterial =
    materialCalls({0.1f, 0, 0, 1}, {1, 0, 0, 0.5f}, {0.9f, 0.9f, 0.9f, 1}, 12.5f);
const Calls kDefaultMaterial =
    materialCalls({0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.8f, 0.8f, 1}, {0, 0, 0, 1}, 65);

TEST(DrawCalls, MaterialSwitchesTrackingOffAndSetsEachGroupsMaterial) {
    DrawModel m;
    m.withMaterials();
    Drawing d = draw(m.model, ZEL_MATERIAL | ZEL_WIREFRAME);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls, concat({{"glDisable(GL_COLOR_MATERIAL)"},
                               kRedMaterial,
                               {"glBegin(GL_LINE_LOOP)", kV1, kV2, kV3, "glEnd()"},
                               kDefaultMaterial,
                               {"glBegin(GL_LINE_LOOP)", kV4, kV3, kV2, "glEnd()"}}));
}

// Under ZEL_BLEND each material brings its emission and its dissolve as the diffuse alpha, and the
// translucent groups come after the opaque ones, blended without writing depth.
TEST(DrawCalls, BlendDrawsTranslucentGroupsLastWithTheirEmissionAndDissolve) {
    DrawModel m;
    m.withMaterials();
    m.model->materials[0].dissolve = 1.0f;
    m.model->materials[1].dissolve = 0.25f;
    m.model->materials[1].emission[0] = 0.5f;
    auto blended = [](Calls material, std::vector<float> d, std::vector<float> e) {
        material[1] =
            call("glMaterialfv", "GL_FRONT_AND_BACK", "GL_DIFFUSE", fv({d[0], d[1], d[2], d[3]}));
        material.insert(material.begin() + 2, call("glMaterialfv", "GL_FRONT_AND_BACK",
                                                   "GL_EMISSION", fv({e[0], e[1], e[2], e[3]})));
        return material;
    };
    const Calls opaque = {"glBegin(GL_LINE_LOOP)", kV4, kV3, kV2, "glEnd()"};
    const Calls translucent = {"glBegin(GL_LINE_LOOP)", kV1, kV2, kV3, "glEnd()"};
    EXPECT_EQ(
        draw(m.model, ZEL_MATERIAL | ZEL_WIREFRAME | ZEL_BLEND).calls,
        concat({{"glDisable(GL_COLOR_MATERIAL)"},
                blended(kDefaultMaterial, {0.8f, 0.8f, 0.8f, 1}, {0, 0, 0, 1}),
                opaque,
                {"glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)", "glEnable(GL_BLEND)",
                 "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)", "glDepthMask(GL_FALSE)"},
                blended(kRedMaterial, {1, 0, 0, 0.25f}, {0.5f, 0, 0, 1}),
                translucent,
                {"glPopAttrib()"}}));
    // Without ZEL_MATERIAL it changes nothing.
    EXPECT_EQ(draw(m.model, ZEL_COLOR | ZEL_BLEND).calls, draw(m.model, ZEL_COLOR).calls);
}

TEST(DrawCalls, GroupWalkFollowsEachGroupsTriangleListOrder) {
    DrawModel m;
    m.group("both", 0, {1, 0, 1});
    Drawing d = draw(m.model, ZEL_NONE);
    EXPECT_EQ(d.calls, (Calls{"glBegin(GL_TRIANGLES)",
                              kV4,
                              kV3,
                              kV2,
                              kV1,
                              kV2,
                              kV3,
                              kV4,
                              kV3,
                              kV2,
                              "glEnd()",
                              "glBegin(GL_TRIANGLES)",
                              kV1,
                              kV2,
                              kV3,
                              "glEnd()",
                              "glBegin(GL_TRIANGLES)",
                              kV4,
                              kV3,
                              kV2,
                              "glEnd()"}));
}

TEST(DrawCalls, GroupWithoutTrianglesStillGetsItsMaterialAndAFilledEmptyBatch) {
    DrawModel m;
    m.withMaterials();
    m.group("empty", 1, {});
    Drawing filled = draw(m.model, ZEL_COLOR);
    EXPECT_EQ(Calls(filled.calls.begin(), filled.calls.begin() + 4),
              (Calls{"glEnable(GL_COLOR_MATERIAL)", call("glColor3fv", fv({1, 0, 0})),
                     "glBegin(GL_TRIANGLES)", "glEnd()"}));
    EXPECT_EQ(filled.calls.size(), 4u + 12u);

    Drawing outlined = draw(m.model, ZEL_MATERIAL | ZEL_WIREFRAME);
    EXPECT_EQ(Calls(outlined.calls.begin(), outlined.calls.begin() + 9),
              concat({{"glDisable(GL_COLOR_MATERIAL)"}, kRedMaterial, kRedMaterial}));
    EXPECT_EQ(outlined.calls[9], "glBegin(GL_LINE_LOOP)");
}

TEST(DrawCalls, ModelWithoutGroupsSendsOnlyTheTrackingSwitch) {
    DrawModel m;
    m.withMaterials();
    while (ZelGroup* g = m.model->groups) {
        m.model->groups = g->next;
        std::free(g->name);
        std::free(g->triangleidx);
        std::free(g);
    }
    m.model->groupcount = 0;
    EXPECT_EQ(draw(m.model, ZEL_COLOR).calls, Calls{"glEnable(GL_COLOR_MATERIAL)"});
    EXPECT_EQ(draw(m.model, ZEL_MATERIAL).calls, Calls{"glDisable(GL_COLOR_MATERIAL)"});
    EXPECT_EQ(draw(m.model, ZEL_NONE).calls, Calls{});
}

TEST(DrawCalls, VertexColorSendsEachCornersColourBeforeItsVertex) {
    DrawModel m;
    m.withEverything().withColors();
    Drawing d = draw(m.model, ZEL_VERTEXCOLOR | ZEL_COLOR | ZEL_FLAT);
    const std::string c1 = call("glColor3fv", fv({0.5f, 0, 0})),
                      c2 = call("glColor3fv", fv({0, 0.5f, 0})),
                      c3 = call("glColor3fv", fv({0, 0, 0.5f})),
                      c4 = call("glColor3fv", fv({1, 1, 1}));
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.calls, (Calls{"glEnable(GL_COLOR_MATERIAL)",
                              call("glColor3fv", fv({1, 0, 0})),
                              "glBegin(GL_TRIANGLES)",
                              normal(0, 0.5f, 0),
                              c1,
                              kV1,
                              c2,
                              kV2,
                              c3,
                              kV3,
                              "glEnd()",
                              call("glColor3fv", fv({0.8f, 0.8f, 0.8f})),
                              "glBegin(GL_TRIANGLES)",
                              normal(0.5f, 0, 0),
                              c4,
                              kV4,
                              c3,
                              kV3,
                              c2,
                              kV2,
                              "glEnd()"}));
}

TEST(DrawCalls, LinesAndPointsFollowTheirGroupsTrianglesWithTheirOwnAttributes) {
    struct Case {
        uint32_t mode;
        Calls wing;  // what follows the triangles of "wing", which holds the line and points
    };
    const std::string t1 = texcoord(0.125f, 0.25f), t3 = texcoord(0.625f, 0.75f);
    const std::string c1 = call("glColor3fv", fv({0.5f, 0, 0})),
                      c4 = call("glColor3fv", fv({1, 1, 1}));
    const std::vector<Case> cases = {
        {ZEL_NONE,
         {"glBegin(GL_LINE_STRIP)", kV4, kV1, "glEnd()", "glBegin(GL_POINTS)", kV1, "glEnd()"}},
        {ZEL_TEXTURE | ZEL_VERTEXCOLOR | ZEL_SMOOTH,
         {"glBegin(GL_LINE_STRIP)", t3, c4, kV4, t1, c1, kV1, "glEnd()", "glBegin(GL_POINTS)", c1,
          kV1, "glEnd()"}},
    };
    for (const Case& c : cases) {
        DrawModel m;
        m.withEverything().withColors().withShapes();
        Drawing d = draw(m.model, c.mode);
        // The wing's triangles end at the first glEnd; the shapes come before "default"'s batch.
        const auto end = std::find(d.calls.begin(), d.calls.end(), "glEnd()") + 1;
        const Calls shapes(end, end + static_cast<long>(c.wing.size()));
        EXPECT_EQ(shapes, c.wing) << c.mode;
        EXPECT_EQ(std::count(d.calls.begin(), d.calls.end(), "glBegin(GL_LINE_STRIP)"), 1);
    }
}

TEST(DrawCalls, BitsNoFlagNamesAreIgnored) {
    DrawModel m;
    m.withEverything().withColors();
    for (uint32_t mode : {0u, 1u, 2u, 6u, 8u, 16u, 24u, 32u, 63u, 127u}) {
        const Drawing plain = draw(m.model, mode);
        for (uint32_t extra : {512u, 0x8000u, 0x80000000u, 0xFFFFFE00u}) {
            const Drawing noisy = draw(m.model, mode | extra);
            EXPECT_EQ(noisy.calls, plain.calls) << mode << " | " << extra;
            EXPECT_EQ(noisy.out, plain.out) << mode << " | " << extra;
        }
    }
}

// ---- Warnings
// -------------------------------------------------------------------------------------

struct WarningCase {
    const char* name;
    bool facetnorms, normals, texcoords, materials;
    uint32_t mode;
    std::vector<std::string> warnings;  // in the order printed
    uint32_t drawnAs;                   // the mode the drawing then follows, printing nothing
};

class DrawWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(DrawWarnings, PrintsEachFiringCheckInOrderAndDrawsWithoutItsFlag) {
    const WarningCase& c = GetParam();
    DrawModel m;
    if (c.facetnorms) m.withFacetNormals();
    if (c.normals) m.withNormals();
    if (c.texcoords) m.withTexcoords();
    if (c.materials) m.withMaterials();

    const Drawing d = draw(m.model, c.mode);
    std::string expected;
    for (const std::string& w : c.warnings) expected += w;
    EXPECT_EQ(d.out, expected);

    const Drawing reference = draw(m.model, c.drawnAs);
    EXPECT_EQ(reference.out, "");
    EXPECT_EQ(d.calls, reference.calls);
}

const uint32_t F = ZEL_FLAT, S = ZEL_SMOOTH, T = ZEL_TEXTURE, C = ZEL_COLOR, M = ZEL_MATERIAL,
               W = ZEL_WIREFRAME, V = ZEL_VERTEXCOLOR;

INSTANTIATE_TEST_SUITE_P(
    Draw, DrawWarnings,
    ::testing::Values(
        WarningCase{"FlatWithoutFacetNormals", false, true, true, true, F | W, {kFlatMissing}, W},
        WarningCase{"SmoothWithoutNormals", true, false, true, true, S, {kSmoothMissing}, 0},
        WarningCase{
            "TextureWithoutTexcoords", true, true, false, true, T | F, {kTextureMissing}, F},
        WarningCase{"FlatAndSmoothUseSmooth", true, true, false, false, F | S, {kFlatAndSmooth}, S},
        // The flat flag is already gone, so there is no conflict left to report.
        WarningCase{"FlatAndSmoothWithoutFacetNormals",
                    false,
                    true,
                    false,
                    false,
                    F | S,
                    {kFlatMissing},
                    S},
        WarningCase{"FlatAndSmoothWithNeither",
                    false,
                    false,
                    false,
                    false,
                    F | S | W,
                    {kFlatMissing, kSmoothMissing},
                    W},
        WarningCase{"ColorWithoutMaterials", true, true, true, false, C | S, {kColorMissing}, S},
        WarningCase{"MaterialWithoutMaterials", true, true, true, false, M, {kMaterialMissing}, 0},
        // Both cleared: the tracking switch is left untouched.
        WarningCase{"ColorAndMaterialWithoutMaterials",
                    false,
                    false,
                    false,
                    false,
                    C | M | W,
                    {kColorMissing, kMaterialMissing},
                    W},
        WarningCase{"ColorAndMaterialUseMaterial",
                    false,
                    false,
                    false,
                    true,
                    C | M,
                    {kColorAndMaterial},
                    M},
        WarningCase{
            "EveryFlagOnABareModel",
            false,
            false,
            false,
            false,
            63,
            {kFlatMissing, kSmoothMissing, kTextureMissing, kColorMissing, kMaterialMissing},
            W},
        WarningCase{"EveryFlagOnAFullModel",
                    true,
                    true,
                    true,
                    true,
                    63,
                    {kFlatAndSmooth, kColorAndMaterial},
                    S | T | M | W},
        WarningCase{
            "HighBitsDoNotHideAWarning", false, true, true, true, F | 0x80u, {kFlatMissing}, 0},
        WarningCase{"VertexColorWithoutColors",
                    true,
                    true,
                    true,
                    true,
                    V | S | M,
                    {kVertexColorMissing},
                    S | M},
        WarningCase{"NothingMissing", true, true, true, true, F | T | C | W, {}, F | T | C | W}),
    [](const ::testing::TestParamInfo<WarningCase>& info) { return info.param.name; });

TEST(DrawWarningsRepeat, AreReprintedOnEveryCall) {
    DrawModel m;
    EXPECT_EQ(draw(m.model, F).out, kFlatMissing);
    EXPECT_EQ(draw(m.model, F).out, kFlatMissing);
}

TEST(DrawWarningsRepeat, GoToStandardOutputNotStandardError) {
    DrawModel m;
    testing::internal::CaptureStderr();
    const Drawing d = draw(m.model, C);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(d.out, kColorMissing);
}

// ---- Display lists ------------------------------------------------------------------------------

TEST(MakeList, RecordsExactlyWhatDrawSendsIntoANewList) {
    DrawModel m;
    m.withEverything();
    const Calls direct = draw(m.model, S | M).calls;

    glrec::clear();
    const unsigned list = zelMakeList(m.model, S | M);
    EXPECT_EQ(list, 1u);
    EXPECT_EQ(glrec::calls(), (Calls{"glGenLists(1)", "glNewList(1, GL_COMPILE)", "glEndList()"}));
    EXPECT_EQ(glrec::listCalls(list), direct);
}

TEST(MakeList, ReturnsTheNameEachListWasGiven) {
    DrawModel m;
    glrec::clear();
    const unsigned first = zelMakeList(m.model, W);
    const unsigned second = zelMakeList(m.model, ZEL_NONE);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(glrec::listCalls(first).front(), "glBegin(GL_LINE_LOOP)");
    EXPECT_EQ(glrec::listCalls(second).front(), "glBegin(GL_TRIANGLES)");
}

// ---- Textures per group ---------------------------------------------------------------------

TEST(DrawTextured, BindsEachGroupsTextureUnderTextureModeOnly) {
    DrawModel m;
    m.withEverything();
    const unsigned textures[] = {7, 9};  // by material: "default", "red"
    auto drawTextured = [&](ZelModel* model, uint32_t mode) {
        glrec::clear();
        testing::internal::CaptureStdout();
        zelDrawTextured(model, mode, textures);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        return glrec::calls();
    };
    // The binds and the batches they precede, and the calls without the binds.
    auto binds = [](const Calls& calls) {
        Calls found;
        for (const std::string& c : calls)
            if (c.rfind("glBindTexture", 0) == 0 || c.rfind("glBegin", 0) == 0 ||
                c.rfind("glDrawElements", 0) == 0)
                found.push_back(c.substr(0, c.find(", GL_UNSIGNED_INT")));
        return found;
    };
    auto withoutBinds = [](Calls calls) {
        calls.erase(
            std::remove_if(calls.begin(), calls.end(),
                           [](const std::string& c) { return c.rfind("glBindTexture", 0) == 0; }),
            calls.end());
        return calls;
    };
    // "wing" (material 1) comes first in the walk; each bind precedes its group's batch.
    const Calls kBinds = {"glBindTexture(GL_TEXTURE_2D, 9)", "glBegin(GL_TRIANGLES)",
                          "glBindTexture(GL_TEXTURE_2D, 7)", "glBegin(GL_TRIANGLES)"};
    Calls d = drawTextured(m.model, T);
    EXPECT_EQ(binds(d), kBinds);
    EXPECT_EQ(withoutBinds(d), draw(m.model, T).calls);
    EXPECT_EQ(drawTextured(m.model, S | M), draw(m.model, S | M).calls);

    // The list holds the binds; a mesh draws group by group to bind them.
    glrec::clear();
    const unsigned list = zelMakeListTextured(m.model, T, textures);
    const Calls compiled = glrec::listCalls(list);
    EXPECT_EQ(binds(compiled), kBinds);
    MeshPtr mesh(zelMakeMesh(m.model, T));
    glrec::clear();
    zelDrawMeshTextured(mesh.get(), T, textures);
    EXPECT_EQ(binds(glrec::calls()),
              (Calls{"glBindTexture(GL_TEXTURE_2D, 9)", "glDrawElements(GL_TRIANGLES, 3",
                     "glBindTexture(GL_TEXTURE_2D, 7)", "glDrawElements(GL_TRIANGLES, 3"}));

    // Without materials every group takes the first texture.
    DrawModel bare;
    bare.withTexcoords();
    EXPECT_EQ(binds(drawTextured(bare.model, T)),
              (Calls{"glBindTexture(GL_TEXTURE_2D, 7)", "glBegin(GL_TRIANGLES)",
                     "glBindTexture(GL_TEXTURE_2D, 7)", "glBegin(GL_TRIANGLES)"}));
}

TEST(MakeList, PrintsWarningsOnceWhenTheListIsMadeAndNotOnReplay) {
    DrawModel m;
    glrec::clear();
    testing::internal::CaptureStdout();
    const unsigned list = zelMakeList(m.model, F | C | W);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kFlatMissing + kColorMissing);
    // The list holds the drawing as reconciled: plain line loops.
    const Calls compiled = glrec::listCalls(list);
    EXPECT_EQ(compiled, draw(m.model, W).calls);

    testing::internal::CaptureStdout();
    glCallList(list);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- Meshes -------------------------------------------------------------------------------------

Drawing drawMesh(const ZelMesh* mesh, uint32_t mode) {
    glrec::clear();
    testing::internal::CaptureStdout();
    zelDrawMesh(mesh, mode);
    Drawing d;
    d.out = testing::internal::GetCapturedStdout();
    d.calls = glrec::calls();
    return d;
}

// The corners zelDraw sends in immediate mode, written as the recorder writes what glDrawElements
// fetches: "> v{...} n{...} t{...} c{...}" per glVertex3fv. (Colours before the first vertex are
// the groups'.)
Calls cornersOf(const Calls& immediate) {
    Calls corners;
    std::string n, t, c;
    auto braces = [](const std::string& call) {
        return call.substr(call.find('{'), call.rfind('}') - call.find('{') + 1);
    };
    for (const std::string& call : immediate) {
        if (call.rfind("glNormal3fv", 0) == 0) n = " n" + braces(call);
        if (call.rfind("glTexCoord2fv", 0) == 0) t = " t" + braces(call);
        if (call.rfind("glColor3fv", 0) == 0) c = " c" + braces(call);
        if (call.rfind("glVertex3fv", 0) == 0) corners.push_back("> v" + braces(call) + n + t + c);
        if (call.rfind("glEnd", 0) == 0) c.clear();
    }
    return corners;
}

const Calls kArraysOpen = {"glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT)",
                           "glEnableClientState(GL_VERTEX_ARRAY)"};
const Calls kOthersOff = {"glDisableClientState(GL_COLOR_ARRAY)",
                          "glDisableClientState(GL_INDEX_ARRAY)",
                          "glDisableClientState(GL_EDGE_FLAG_ARRAY)"};

TEST(DrawMesh, SetsUpTheArraysAndDrawsEachGroupUnderItsMaterial) {
    DrawModel m;
    m.withEverything();
    MeshPtr mesh(zelMakeMesh(m.model, S | T));
    const Calls corners = cornersOf(draw(m.model, S | T).calls);
    ASSERT_EQ(corners.size(), 6u);
    const Drawing d = drawMesh(mesh.get(), S | T | M);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(
        d.calls,
        concat({kArraysOpen,
                {"glVertexPointer(3, GL_FLOAT, 32)", "glEnableClientState(GL_NORMAL_ARRAY)",
                 "glNormalPointer(GL_FLOAT, 32)", "glEnableClientState(GL_TEXTURE_COORD_ARRAY)",
                 "glTexCoordPointer(2, GL_FLOAT, 32)"},
                kOthersOff,
                {"glDisable(GL_COLOR_MATERIAL)"},
                kRedMaterial,
                {"glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, {0, 1, 2})"},
                Calls(corners.begin(), corners.begin() + 3),
                kDefaultMaterial,
                {"glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, {3, 4, 5})"},
                Calls(corners.begin() + 3, corners.end()),
                {"glPopClientAttrib()"}}));
}

// A mesh draws its group ranges in the order zelDraw draws its groups under ZEL_BLEND.
TEST(DrawMesh, BlendDrawsTranslucentRangesLast) {
    DrawModel m;
    m.withMaterials();
    m.model->materials[0].dissolve = 1.0f;
    m.model->materials[1].dissolve = 0.25f;
    MeshPtr mesh(zelMakeMesh(m.model, ZEL_NONE));
    const Calls calls = drawMesh(mesh.get(), ZEL_MATERIAL | ZEL_BLEND).calls;
    // The opaque range, then the blending, the translucent material and its range.
    std::vector<std::string> seen;
    for (const std::string& c : calls)
        if (c.rfind("glDrawElements", 0) == 0 || c == "glEnable(GL_BLEND)" ||
            c.find("GL_DIFFUSE, {1, 0, 0, 0.25}") != std::string::npos || c == "glPopAttrib()")
            seen.push_back(c.substr(0, c.find('(')));
    EXPECT_EQ(seen, (std::vector<std::string>{"glDrawElements", "glEnable", "glMaterialfv",
                                              "glDrawElements", "glPopAttrib"}));
}

TEST(DrawMesh, LinesAndPointsAreRangesOfTheirOwnDrawnAfterTheTriangles) {
    DrawModel m;
    m.withEverything().withShapes();
    MeshPtr mesh(zelMakeMesh(m.model, T));
    ASSERT_TRUE(mesh);
    // zelDraw sends the wing's triangle, line and point, then default's triangle.
    const Calls corners = cornersOf(draw(m.model, T).calls);
    ASSERT_EQ(corners.size(), 9u);
    const Calls line = {corners[3], corners[4]}, point = {corners[5]};
    EXPECT_EQ(mesh->lineindexcount, 2u);
    EXPECT_EQ(mesh->pointindexcount, 1u);
    EXPECT_EQ(mesh->groups[0].linecount, 2u);
    EXPECT_EQ(mesh->groups[1].linecount, 0u);
    auto fetched = [](const Calls& calls, const std::string& start) {
        const auto at = std::find_if(calls.begin(), calls.end(),
                                     [&](const std::string& c) { return c.rfind(start, 0) == 0; });
        Calls out;
        for (auto i = at + (at != calls.end()); i != calls.end() && (*i)[0] == '>'; ++i)
            out.push_back(*i);
        return out;
    };
    for (uint32_t mode : {T | M, T}) {
        const Calls calls = drawMesh(mesh.get(), mode).calls;
        EXPECT_EQ(fetched(calls, "glDrawElements(GL_LINES, 2,"), line) << mode;
        // A point has no texture coordinate of its own: it takes slot 0's.
        const Calls points = fetched(calls, "glDrawElements(GL_POINTS, 1,");
        ASSERT_EQ(points.size(), 1u) << mode;
        EXPECT_EQ(points[0].substr(0, points[0].find(" t")),
                  point[0].substr(0, point[0].find(" t")))
            << mode;
    }
}

TEST(DrawMesh, OutlinesArePolygonsInLineModeWithColoursPerGroup) {
    DrawModel m;
    m.withEverything();
    m.group("empty", 1, {});
    MeshPtr mesh(zelMakeMesh(m.model, F));
    const Calls corners = cornersOf(draw(m.model, F).calls);
    const Drawing d = drawMesh(mesh.get(), F | C | W);
    EXPECT_EQ(
        d.calls,
        concat({kArraysOpen,
                {"glVertexPointer(3, GL_FLOAT, 24)", "glEnableClientState(GL_NORMAL_ARRAY)",
                 "glNormalPointer(GL_FLOAT, 24)", "glDisableClientState(GL_TEXTURE_COORD_ARRAY)"},
                kOthersOff,
                {"glPushAttrib(GL_POLYGON_BIT)", "glPolygonMode(GL_FRONT_AND_BACK, GL_LINE)",
                 "glDisable(GL_CULL_FACE)", "glDisable(GL_POLYGON_OFFSET_LINE)",
                 "glEnable(GL_COLOR_MATERIAL)", call("glColor3fv", fv({1, 0, 0})),
                 call("glColor3fv", fv({1, 0, 0})),
                 "glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, {0, 1, 2})"},
                Calls(corners.begin(), corners.begin() + 3),
                {call("glColor3fv", fv({0.8f, 0.8f, 0.8f})),
                 "glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, {3, 4, 5})"},
                Calls(corners.begin() + 3, corners.end()),
                {"glPopAttrib()", "glPopClientAttrib()"}}));
}

TEST(DrawMesh, VertexColoursComeAfterEveryOtherAttributeAndGoToTheColourArray) {
    DrawModel m;
    m.withEverything().withColors();
    MeshPtr mesh(zelMakeMesh(m.model, S | T | V));
    EXPECT_EQ(mesh->stride, 11u);
    EXPECT_EQ(mesh->mode, S | T | V);
    const Drawing d = drawMesh(mesh.get(), S | T | V);
    const Calls corners = cornersOf(draw(m.model, S | T | V).calls);
    EXPECT_EQ(
        d.calls,
        concat({kArraysOpen,
                {"glVertexPointer(3, GL_FLOAT, 44)", "glEnableClientState(GL_NORMAL_ARRAY)",
                 "glNormalPointer(GL_FLOAT, 44)", "glEnableClientState(GL_TEXTURE_COORD_ARRAY)",
                 "glTexCoordPointer(2, GL_FLOAT, 44)", "glEnableClientState(GL_COLOR_ARRAY)",
                 "glColorPointer(3, GL_FLOAT, 44)", "glDisableClientState(GL_INDEX_ARRAY)",
                 "glDisableClientState(GL_EDGE_FLAG_ARRAY)",
                 "glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, {0, 1, 2, 3, 4, 5})"},
                corners,
                {"glPopClientAttrib()"}}));
    for (uint32_t mode : {V, F | V, T | V}) {
        MeshPtr other(zelMakeMesh(m.model, mode));
        EXPECT_EQ(other->stride, mode == V ? 6u : mode == (T | V) ? 8u : 9u);
        EXPECT_EQ(cornersOf(draw(m.model, mode).calls).size(), 6u);
    }
}

TEST(DrawMesh, ClearsWhatTheMeshDoesNotHoldAndDrawsAllGroupsAtOnceWithoutColours) {
    DrawModel m;
    m.withNormals();
    MeshPtr mesh(zelMakeMesh(m.model, S));
    const std::string w = "zelDrawMesh() warning: ";
    const Drawing d = drawMesh(mesh.get(), 63);
    EXPECT_EQ(d.out, w + kFlatMissing.substr(19) + w + kTextureMissing.substr(19) + w +
                         kColorMissing.substr(19) + w + kMaterialMissing.substr(19));
    const Drawing plain = drawMesh(mesh.get(), S | W);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(d.calls, plain.calls);
    Calls draws;
    for (const std::string& c : plain.calls)
        if (c.rfind("glDrawElements", 0) == 0) draws.push_back(c);
    EXPECT_EQ(draws, Calls{"glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, {0, 1, 2, 3, 4, 5})"});
    EXPECT_DEATH(zelDrawMesh(nullptr, 0), "Assertion `mesh' failed");
    mesh->groups[1].count += 3;
    EXPECT_DEATH(zelDrawMesh(mesh.get(), 0), "Assertion .*<= mesh->indexcount' failed");
    mesh->groups[1].count -= 3;
}

// ---- Preconditions
// --------------------------------------------------------------------------------

TEST(DrawPreconditionsDeathTest, NamesTheFailedExpression) {
    DrawModel m;
    std::free(m.model->vertices);
    m.model->vertices = nullptr;
    EXPECT_DEATH(zelDraw(nullptr, W), "Assertion `model' failed");
    EXPECT_DEATH(zelDraw(m.model, W), "Assertion `model->vertices' failed");
    EXPECT_DEATH(zelMakeList(m.model, W), "Assertion `model->vertices' failed");
}

}  // namespace
