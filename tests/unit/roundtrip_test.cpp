// Read, write under every mode, read back: the same geometry, groups, materials and indices.
//
// The one difference the reading rules force: a group name read from a file begins with the blank
// after "g", so the built-in group "default" (written "g default") comes back as " default", beside
// a new, empty built-in "default". Likewise the written material "default" comes back as material
// 1, after a new built-in material 0 of that name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "temp_dir.h"
#include "test_models.h"
#include "zel_internal.h"

namespace {

namespace fs = std::filesystem;

using zeltest::TempDir;

// "%f" keeps six decimals; reading rounds once more to float.
void expectNear(float written, float read, const char* what, uint32_t i) {
    float tolerance = 5e-7f + std::fabs(written) * 2e-7f;
    EXPECT_NEAR(written, read, tolerance) << what << " " << i;
}

void expectArraysNear(const float* written, const float* read, uint32_t count, int width,
                      const char* what) {
    for (uint32_t i = 1; i <= count; i++)
        for (int k = 0; k < width; k++)
            expectNear(written[width * i + k], read[width * i + k], what, i);
}

std::string nameReadBack(const char* name) {
    return std::string(name) == "default" ? " default" : name;
}

void expectSameMap(const ZelTextureMap& a, const ZelTextureMap& b, const std::string& directory) {
    ASSERT_EQ(a.name == nullptr, b.name == nullptr);
    if (!a.name) return;
    EXPECT_STREQ(b.name, a.name);
    EXPECT_EQ(b.path, directory + a.name);
    for (int k = 0; k < 3; k++) {
        expectNear(a.offset[k], b.offset[k], "map offset", k);
        expectNear(a.scale[k], b.scale[k], "map scale", k);
    }
    EXPECT_EQ(b.clamp, a.clamp);
    expectNear(a.bumpmultiplier, b.bumpmultiplier, "bump multiplier", 0);
    ASSERT_EQ(a.type == nullptr, b.type == nullptr);
    if (a.type) {
        EXPECT_STREQ(b.type, a.type);
    }
}

// A material written and read back: every field, map and kept statement.
void expectSameMaterial(const ZelMaterial& m, const ZelMaterial& n, uint32_t i,
                        const std::string& directory) {
    EXPECT_STREQ(n.name, m.name);
    for (int k = 0; k < 3; k++) {
        expectNear(m.ambient[k], n.ambient[k], "ambient", i);
        expectNear(m.diffuse[k], n.diffuse[k], "diffuse", i);
        expectNear(m.specular[k], n.specular[k], "specular", i);
        expectNear(m.emission[k], n.emission[k], "emission", i);
        expectNear(m.transmission[k], n.transmission[k], "transmission", i);
    }
    EXPECT_NEAR(n.shininess, m.shininess, 1e-5 * std::max(1.0f, m.shininess)) << m.name;
    expectNear(m.dissolve, n.dissolve, "dissolve", i);
    expectNear(m.ior, n.ior, "ior", i);
    EXPECT_EQ(n.illum, m.illum) << m.name;
    const float ZelMaterial::*numbers[] = {
        &ZelMaterial::roughness,         &ZelMaterial::metallic,           &ZelMaterial::sheen,
        &ZelMaterial::clearcoat,         &ZelMaterial::clearcoatroughness, &ZelMaterial::anisotropy,
        &ZelMaterial::anisotropyrotation};
    for (auto number : numbers) expectNear(m.*number, n.*number, "PBR parameter", i);
    for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
        SCOPED_TRACE(zelMapKeyword(k));
        expectSameMap(*zelMaterialMap(const_cast<ZelMaterial*>(&m), k),
                      *zelMaterialMap(const_cast<ZelMaterial*>(&n), k), directory);
    }
    ASSERT_EQ(n.statementcount, m.statementcount) << m.name;
    for (uint32_t k = 0; k < m.statementcount; k++)
        EXPECT_STREQ(n.statements[k], m.statements[k]) << m.name;
}

// Compares the model that was written under `mode` with what was read back.
void expectSameModel(const ZelModel* a, const ZelModel* b, uint32_t mode) {
    ASSERT_EQ(b->vertexcount, a->vertexcount);
    expectArraysNear(a->vertices, b->vertices, a->vertexcount, 3, "vertex");
    if (mode & ZEL_VERTEXCOLOR) {
        ASSERT_NE(b->colors, nullptr);
        expectArraysNear(a->colors, b->colors, a->vertexcount, 3, "colour");
    } else {
        EXPECT_EQ(b->colors, nullptr);
    }
    const bool smooth = mode & ZEL_SMOOTH, flat = (mode & ZEL_FLAT) && !smooth,
               texture = mode & ZEL_TEXTURE, material = mode & ZEL_MATERIAL;
    if (smooth) {
        ASSERT_EQ(b->normalcount, a->normalcount);
        expectArraysNear(a->normals, b->normals, a->normalcount, 3, "normal");
    } else if (flat) {
        ASSERT_EQ(b->normalcount, a->facetnormcount);
        expectArraysNear(a->facetnorms, b->normals, a->facetnormcount, 3, "facet normal");
    } else {
        EXPECT_EQ(b->normalcount, 0u);
    }
    if (texture) {
        ASSERT_EQ(b->texcoordcount, a->texcoordcount);
        expectArraysNear(a->texcoords, b->texcoords, a->texcoordcount, 2, "texcoord");
    } else {
        EXPECT_EQ(b->texcoordcount, 0u);
    }

    ASSERT_EQ(b->trianglecount, a->trianglecount);
    const bool hasDefault = zelGroupByName(const_cast<ZelModel*>(a), "default") != nullptr;
    EXPECT_EQ(b->groupcount, a->groupcount + (hasDefault ? 1 : 0));
    ZelGroup* builtIn = zelGroupByName(const_cast<ZelModel*>(b), "default");
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(builtIn->trianglecount, 0u);
    for (const ZelGroup* g = a->groups; g; g = g->next) {
        std::string name = nameReadBack(g->name);
        const ZelGroup* h = zelGroupByName(const_cast<ZelModel*>(b), name.c_str());
        ASSERT_NE(h, nullptr) << "group \"" << name << "\"";
        ASSERT_EQ(h->trianglecount, g->trianglecount) << name;
        for (uint32_t i = 0; i < g->trianglecount; i++) {
            const ZelTriangle& s = a->triangles[g->triangleidx[i]];
            const ZelTriangle& t = b->triangles[h->triangleidx[i]];
            for (int c = 0; c < 3; c++) {
                EXPECT_EQ(t.vertexidx[c], s.vertexidx[c]) << name << " " << i;
                if (smooth) {
                    EXPECT_EQ(t.normalidx[c], s.normalidx[c]) << name << " " << i;
                }
                if (flat) {
                    EXPECT_EQ(t.normalidx[c], s.facetidx) << name << " " << i;
                }
                if (texture) {
                    EXPECT_EQ(t.texcoordidx[c], s.texcoordidx[c]) << name << " " << i;
                }
            }
        }
        if (material) {
            EXPECT_STREQ(b->materials[h->material].name, a->materials[g->material].name) << name;
        }
    }

    if (!material || !a->mtllib) return;
    ASSERT_EQ(b->materialcount, a->materialcount + 1);
    char* directory = zelDirName(b->path);
    for (uint32_t i = 0; i < a->materialcount; i++)
        expectSameMaterial(a->materials[i], b->materials[i + 1], i, directory);
    std::free(directory);
}

// Gives the model one facet normal per triangle, all different, as the normals code would.
void addFacetNormals(ZelModel* model) {
    uint32_t count = model->trianglecount;
    std::free(model->facetnorms);
    model->facetnorms = static_cast<float*>(std::calloc(3 * (count + 1), sizeof(float)));
    model->facetnormcount = count;
    for (uint32_t i = 1; i <= count; i++) {
        float angle = 0.37f * static_cast<float>(i);
        model->facetnorms[3 * i] = std::cos(angle);
        model->facetnorms[3 * i + 1] = std::sin(angle);
        model->facetnorms[3 * i + 2] = 0.125f * static_cast<float>(i % 3);
    }
    for (uint32_t k = 0; k < count; k++) model->triangles[k].facetidx = count - k;
}

const uint32_t kModes[] = {
    ZEL_NONE,
    ZEL_FLAT,
    ZEL_SMOOTH,
    ZEL_TEXTURE,
    ZEL_FLAT | ZEL_TEXTURE,
    ZEL_SMOOTH | ZEL_TEXTURE,
    ZEL_COLOR,
    ZEL_MATERIAL,
    ZEL_FLAT | ZEL_TEXTURE | ZEL_MATERIAL,
    ZEL_SMOOTH | ZEL_TEXTURE | ZEL_MATERIAL,
};

void roundTripEveryMode(ZelModel* model) {
    TempDir dir;
    std::string path = dir.file("out.obj");
    for (uint32_t plain : kModes) {
        for (uint32_t mode : {plain, plain | ZEL_VERTEXCOLOR}) {
            if ((mode & ZEL_VERTEXCOLOR) && !model->colors) continue;
            SCOPED_TRACE("mode " + std::to_string(mode));
            testing::internal::CaptureStdout();
            ASSERT_TRUE(zel::writeOBJ(model, path.c_str(), mode).ok);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            ZelModel* back = nullptr;
            testing::internal::CaptureStdout();
            zel::Status status = zel::readOBJFile(path.c_str(), &back);
            std::string printed = testing::internal::GetCapturedStdout();
            ASSERT_TRUE(status.ok) << status.message;
            if (mode & ZEL_MATERIAL) {
                EXPECT_EQ(printed, "");
            }
            expectSameModel(model, back, mode);
            zelFreeModel(back);
        }
    }
}

const char kShipObj[] =
    "mtllib ship.mtl\n"
    "v 0.1 0.2 0.3 1 0.5 0\nv -1.5 2.25 1e-3\nv 123.456789 -0.000001 7 0 0.25 1\nv 3 4 5\n"
    "v -0 0.5 -0.5\n"
    "vn 0 0 1\nvn 0.577350 0.577350 0.577350\nvn -1 0 0\n"
    "vt 0 0\nvt 1 0\nvt 0.333333 0.666667\nvt 0.1 0.9\n"
    "f 1/1/1 2/2/2 3/3/3\n"
    "g wing\nusemtl steel\nf 1/2/3 3/4/1 4/1/2 5/2/3\n"
    "g  two  blanks\nusemtl paint\nf 5/4/3 4/3/2 3/2/1\n"
    "g nothing\n"
    "g wing\nf 2/2/2 3/3/3 4/4/1\n"
    "g tail\nusemtl default\nf 1/1/1 5/4/3 2/2/2\n";

const char kShipMtl[] =
    "Kd 0.9 0.1 0.1\n"  // changes the built-in material
    "newmtl steel\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nNs 96.078431\nTr 0.25\n"
    "map_Kd -o 0.5 0 0.25 -s 2 2 1 -clamp on steel plate.png\nbump -bm 0.5 steel_n.png\n"
    "Ke 0.1 0.2 0.3\nNi 1.45\nillum 0\nTf 0.5 0.5 1\nPr 0.25\nPm 0.5\nPs 0.1\nPc 0.2\n"
    "Pcr 0.3\naniso 0.4\nanisor 0.6\nmap_Ke glow.png\ndisp -bm 2 height.png\ndecal dc.png\n"
    "refl -type cube_top sky top.png\nmap_Pr r.png\nmap_Pm m.png\nmap_Ps s.png\n"
    "Km 0.5\nsharpness\t60 \r\n"
    "newmtl paint\nKd 1 0.5 0\nNs 1000\nd 0.125\nmap_Ka a.ppm\nmap_Ks s.png\nmap_Ns ns.png\n"
    "map_d alpha.png\n";

TEST(RoundTrip, EveryModeGivesBackGeometryGroupsMaterialsAndIndices) {
    ZelModel* model = zeltest::modelFromObj(kShipObj, {{"ship.mtl", kShipMtl}});
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->groupcount, 5u);
    addFacetNormals(model);
    roundTripEveryMode(model);
    zelFreeModel(model);
}

TEST(RoundTrip, BuiltInDefaultComesBackWithABlankBeforeItsName) {
    ZelModel* model = zeltest::modelFromObj("v 0 0 0\nf 1 1 1\ng a\nf 1 1 1\n");
    ASSERT_NE(model, nullptr);
    TempDir dir;
    std::string path = dir.file("out.obj");
    ASSERT_TRUE(zel::writeOBJ(model, path.c_str(), ZEL_NONE).ok);
    ZelModel* back = nullptr;
    ASSERT_TRUE(zel::readOBJFile(path.c_str(), &back).ok);
    ASSERT_EQ(back->groupcount, 3u);
    // Newest first: the read-back " default" (written last), " a", the empty built-in.
    EXPECT_STREQ(back->groups->name, " default");
    EXPECT_EQ(back->groups->trianglecount, 1u);
    EXPECT_STREQ(back->groups->next->name, " a");
    EXPECT_STREQ(back->groups->next->next->name, "default");
    EXPECT_EQ(back->groups->next->next->trianglecount, 0u);
    zelFreeModel(back);
    zelFreeModel(model);
}

TEST(RoundTrip, MaterialModeWithoutALibraryNameLosesOnlyTheMaterials) {
    ZelModel* model = zeltest::modelFromObj("mtllib m.mtl\nv 1 2 3\ng a\nusemtl red\nf 1 1 1\n",
                                            {{"m.mtl", "newmtl red\n"}});
    ASSERT_NE(model, nullptr);
    std::free(model->mtllib);
    model->mtllib = nullptr;
    TempDir dir;
    std::string path = dir.file("out.obj");
    ASSERT_TRUE(zel::writeOBJ(model, path.c_str(), ZEL_MATERIAL).ok);
    ZelModel* back = nullptr;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(zel::readOBJFile(path.c_str(), &back).ok);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "zelFindMaterial():  can't find material \"red\".\n"
              "zelFindMaterial():  can't find material \"default\".\n");
    expectSameModel(model, back, ZEL_NONE);
    zelFreeModel(back);
    zelFreeModel(model);
}

// A model of random size and shape: groups with names of every kind, fans, materials.
std::string randomObj(std::mt19937& random, int vertices, int faces) {
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    std::string text = "mtllib r.mtl\n";
    char line[200];
    for (int i = 0; i < vertices; i++) {
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\nvn %.9g %.9g %.9g\nvt %.9g %.9g\n",
                      coordinate(random), coordinate(random), coordinate(random),
                      coordinate(random) / 50, coordinate(random) / 50, coordinate(random) / 50,
                      coordinate(random) / 50, coordinate(random) / 50);
        text += line;
    }
    const char* statements[] = {"g a\n",        "g  b c\n",       "g x\n",           "g\ttabbed\n",
                                "usemtl red\n", "usemtl green\n", "usemtl default\n"};
    for (int i = 0; i < faces; i++) {
        if (random() % 5 == 0) text += statements[random() % 7];
        text += "f";
        int corners = 3 + static_cast<int>(random() % 4);
        for (int c = 0; c < corners; c++) {
            std::snprintf(line, sizeof line, " %d/%d/%d", 1 + static_cast<int>(random() % vertices),
                          1 + static_cast<int>(random() % vertices),
                          1 + static_cast<int>(random() % vertices));
            text += line;
        }
        text += "\n";
    }
    return text;
}

TEST(RoundTrip, RandomModelsComeBackInEveryMode) {
    std::mt19937 random(8);
    for (int round = 0; round < 5; round++) {
        ZelModel* model = zeltest::modelFromObj(
            randomObj(random, 1 + round * 40, round * 300),
            {{"r.mtl", "newmtl red\nKd 1 0 0\nNs 12.5\nnewmtl green\nKa 0 1 0\nNs 0\n"}});
        ASSERT_NE(model, nullptr);
        addFacetNormals(model);
        roundTripEveryMode(model);
        zelFreeModel(model);
    }
}

TEST(RoundTrip, MemoryWriterFeedsTheMemoryReader) {
    ZelModel* model = zeltest::modelFromObj(kShipObj, {{"ship.mtl", kShipMtl}});
    ASSERT_NE(model, nullptr);
    const uint32_t mode = ZEL_SMOOTH | ZEL_TEXTURE | ZEL_MATERIAL;
    std::string obj, mtl;
    ASSERT_TRUE(zel::writeOBJMemory(model, mode, &obj, &mtl).ok);
    ZelModel* back = zeltest::modelFromObj(obj, {{"ship.mtl", mtl}});
    ASSERT_NE(back, nullptr);
    expectSameModel(model, back, mode);
    zelFreeModel(back);
    zelFreeModel(model);
}

// Reads `obj` with its library `mtl` (named lib.mtl) under load flags.
ZelModel* readWith(const std::string& obj, const std::string& mtl, uint32_t flags) {
    zel::TextProvider library = [&mtl](const std::string&, std::string& text) {
        text = mtl;
        return true;
    };
    zel::ReadOptions options;
    options.flags = flags;
    options.libraries = &library;
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJMemory("in.obj", obj.data(), obj.size(), options, &model);
    EXPECT_TRUE(status.ok) << status.message;
    return model;
}

TEST(RoundTrip, WholeKeywordMaterialsComeBackWhole) {
    const std::string obj = "mtllib lib.mtl\nv 0 0 0\ng a\nf 1 1 1\n";
    const std::string mtl =
        "newmtl my mat\nNs 250.000000\nKa 1 1 1\nKd 0.8 0.8 0.8\nKs 0.5 0.5 0.5\n"
        "Ke 0.1 0.2 0.3\nNi 1.450000\nd 1.000000\nillum 2\nnorm -bm 0.5 n.png\n"
        "Nfoo 1\nnewmtlx kept too\n";
    ZelModel* model = readWith(obj, mtl, ZEL_LOAD_WHOLE_KEYWORDS);
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->materialcount, 2u);
    EXPECT_EQ(model->materials[1].shininess, 32.0f);
    EXPECT_EQ(model->materials[1].statementcount, 2u);
    std::string writtenObj, writtenMtl;
    ASSERT_TRUE(zel::writeOBJMemory(model, ZEL_MATERIAL, &writtenObj, &writtenMtl).ok);
    ZelModel* back = readWith(writtenObj, writtenMtl, ZEL_LOAD_WHOLE_KEYWORDS);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->materialcount, 3u);
    for (uint32_t i = 0; i < 2; i++)
        expectSameMaterial(model->materials[i], back->materials[i + 1], i, "");
    zelFreeModel(back);
    // The first-letter dialect reads the written Ni ahead of Ns: both values come back.
    const std::string plain = "newmtl m\nNs 250\nKe 0.1 0.2 0.3\nNi 1.45\nillum 2\n";
    ZelModel* blender = readWith("mtllib lib.mtl\n", plain, ZEL_LOAD_WHOLE_KEYWORDS);
    writtenObj.clear();
    writtenMtl.clear();
    ASSERT_TRUE(zel::writeOBJMemory(blender, ZEL_MATERIAL, &writtenObj, &writtenMtl).ok);
    back = readWith(writtenObj, writtenMtl, 0);
    ASSERT_NE(back, nullptr);
    expectSameMaterial(blender->materials[1], back->materials[2], 1, "");
    zelFreeModel(back);
    zelFreeModel(blender);
    zelFreeModel(model);
}

}  // namespace
