// The MTL reader: start values, colour statements, shininess scaling, naming and lookup, dissolve
// and texture maps.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "test_models.h"
#include "zel_internal.h"

namespace {

// Reads `mtl` as the library of an OBJ file that names it and nothing else.
ZelModel* withLibrary(const std::string& mtl) {
    return zeltest::modelFromObj("mtllib lib.mtl\n", {{"lib.mtl", mtl}}, "m.obj");
}

void expectColor(const float* color, float r, float g, float b, const std::string& what) {
    EXPECT_EQ(color[0], r) << what;
    EXPECT_EQ(color[1], g) << what;
    EXPECT_EQ(color[2], b) << what;
    EXPECT_EQ(color[3], 1.0f) << what;
}

TEST(MtlMaterials, StartValuesAndColourStatements) {
    ZelModel* m = withLibrary(
        "# header\nKd 0.1 0.2 0.3\n"  // before newmtl: material 0
        "newmtl plain\n"
        "newmtl painted\nKa 0.5 0.25 1\nKd 1 0 0\nKs .5 .5 .5\nd 0.5\nTr 0.5\nillum 2\n"
        "map_Kd tex.ppm\nKe 9 9 9\n");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->materialcount, 3u);
    EXPECT_STREQ(m->materials[0].name, "default");
    expectColor(m->materials[0].diffuse, 0.1f, 0.2f, 0.3f, "default diffuse");
    EXPECT_STREQ(m->materials[1].name, "plain");
    expectColor(m->materials[1].diffuse, 0.8f, 0.8f, 0.8f, "plain diffuse");
    expectColor(m->materials[1].ambient, 0.2f, 0.2f, 0.2f, "plain ambient");
    expectColor(m->materials[1].specular, 0.0f, 0.0f, 0.0f, "plain specular");
    EXPECT_EQ(m->materials[1].shininess, 65.0f);
    EXPECT_STREQ(m->materials[2].name, "painted");
    expectColor(m->materials[2].ambient, 0.5f, 0.25f, 1.0f, "painted ambient");
    expectColor(m->materials[2].diffuse, 1.0f, 0.0f, 0.0f, "painted diffuse");
    expectColor(m->materials[2].specular, 0.5f, 0.5f, 0.5f, "painted specular");
    zelFreeModel(m);
}

TEST(MtlMaterials, LibraryWithoutMaterialsHoldsOnlyDefault) {
    for (const char* text : {"", "Ns 500\n", "# only a comment\n"}) {
        ZelModel* m = withLibrary(text);
        ASSERT_EQ(m->materialcount, 1u) << text;
        EXPECT_STREQ(m->materials[0].name, "default");
        zelFreeModel(m);
    }
}

TEST(MtlMaterials, ShininessIsScaledFromTheFileRange) {
    struct Case {
        const char* statements;
        float expected;
    } cases[] = {
        {"Ns 0\n", 0.0f},
        {"Ns 500\n", 64.0f},
        {"Ns 1000\n", 128.0f},
        {"Ns 500\nNi 1.5\n", 0.192f},  // any keyword starting with N sets the shininess
        {"Ns x\n", 8.32f},             // no number: the start value 65 is scaled all the same
        {"Ns 250\nNs\n", 4.096f},      // an Ns without a number scales again
    };
    for (const Case& c : cases) {
        ZelModel* m = withLibrary(std::string("newmtl a\n") + c.statements);
        ASSERT_EQ(m->materialcount, 2u) << c.statements;
        EXPECT_EQ(m->materials[1].shininess, c.expected) << c.statements;
        zelFreeModel(m);
    }
}

TEST(MtlMaterials, NamesAndDuplicates) {
    ZelModel* m = withLibrary("newmtl  steel  \nnorm chrome\nnewmtl steel\nnewmtl a b c\nnewmtl\n");
    ASSERT_EQ(m->materialcount, 6u);
    EXPECT_STREQ(m->materials[1].name, "steel");
    EXPECT_STREQ(m->materials[2].name, "chrome");  // any keyword starting with n opens a material
    EXPECT_STREQ(m->materials[4].name, "b");
    EXPECT_STREQ(m->materials[5].name, "\n");  // no word: the rest of the line as read
    EXPECT_EQ(zelFindMaterial(m, "steel"), 1u);
    EXPECT_EQ(zelFindMaterial(m, "default"), 0u);
    zelFreeModel(m);
}

TEST(MtlMaterials, ScansThatDisagreeNeverOverrunTheArray) {
    // The counting scan skips the rest of a colour line; the filling scan meets a word left there
    // as a statement, here one that opens more materials than were counted.
    ZelModel* m = withLibrary("newmtl a\nKd 1 1 1 newmtl b newmtl c\n");
    ASSERT_EQ(m->materialcount, 2u);
    EXPECT_STREQ(m->materials[1].name, "a");
    zelFreeModel(m);
    // And the other way round: a counted material the filling scan never names still has a name.
    m = withLibrary("newmtl a\nNs\nnewmtl b\n");
    ASSERT_EQ(m->materialcount, 3u);
    EXPECT_NE(m->materials[2].name, nullptr);
    zelFreeModel(m);
}

TEST(MtlMaterials, DissolveFromDOrOneLessTr) {
    struct Case {
        const char* statements;
        float dissolve;
    } cases[] = {
        {"", 1.0f},
        {"d 0.5\n", 0.5f},
        {"Tr 0.25\n", 0.75f},
        {"Tr 0.25\nd 0.5\n", 0.5f},
        {"d 0.5\nTr 0.25\n", 0.5f},
        {"d -halo 0.625\n", 0.625f},
        {"d\n", 1.0f},
        {"d x\n", 1.0f},
        {"d 0.5x\n", 1.0f},
        {"Tr 0.1\n", static_cast<float>(1.0 - 0.1f)},  // 1 - Tr in double, rounded once
        {"dissolve 0.5\n", 1.0f},                      // only "d" itself
    };
    for (const Case& c : cases) {
        ZelModel* m = withLibrary(std::string("newmtl a\n") + c.statements + "newmtl b\n");
        ASSERT_EQ(m->materialcount, 3u) << c.statements;
        EXPECT_EQ(m->materials[1].dissolve, c.dissolve) << c.statements;
        EXPECT_EQ(m->materials[2].dissolve, 1.0f) << c.statements;
        for (const float* color : {m->materials[1].diffuse, m->materials[1].ambient})
            EXPECT_EQ(color[3], 1.0f) << c.statements;
        zelFreeModel(m);
    }
}

TEST(MtlMaps, OptionsNamesAndPaths) {
    struct Case {
        const char* line;
        const char* name;  // null: no map
        const char* path;
        std::array<float, 3> offset, scale;
        uint32_t clamp;
        float bumpmultiplier;
    } cases[] = {
        {"map_Kd wood.png", "wood.png", "models/mats/wood.png", {0, 0, 0}, {1, 1, 1}, 0, 1},
        {"map_Kd  -s 2 2 1 -o 0.5 0.25 -clamp on  grain of wood.png \r",
         "grain of wood.png",
         "models/mats/grain of wood.png",
         {0.5f, 0.25f, 0},
         {2, 2, 1},
         1,
         1},
        {"map_Kd -s 3 t.png", "t.png", "models/mats/t.png", {0, 0, 0}, {3, 1, 1}, 0, 1},
        {"map_Kd -blendu off -blendv on -cc on -boost 2 -texres 512 -imfchan r -type sphere "
         "-mm 0 1 -t 1 1 -bm 0.3 -clamp off t.tga",
         "t.tga",
         "models/mats/t.tga",
         {0, 0, 0},
         {1, 1, 1},
         0,
         0.3f},
        {"map_Kd -o -0.5 -1 2 -x.png",
         "-x.png",
         "models/mats/-x.png",
         {-0.5f, -1, 2},
         {1, 1, 1},
         0,
         1},
        {"map_Kd -clamp tex.png", "tex.png", "models/mats/tex.png", {0, 0, 0}, {1, 1, 1}, 0, 1},
        {"map_Kd textures\\win dows\\a.jpg",
         "textures\\win dows\\a.jpg",
         "models/mats/textures/win dows/a.jpg",
         {0, 0, 0},
         {1, 1, 1},
         0,
         1},
        {"map_Kd /abs/path.png", "/abs/path.png", "/abs/path.png", {0, 0, 0}, {1, 1, 1}, 0, 1},
        {"map_Kd C:\\tex\\a.png", "C:\\tex\\a.png", "C:/tex/a.png", {0, 0, 0}, {1, 1, 1}, 0, 1},
        {"map_Kd -s 1 1 1", nullptr, nullptr, {0, 0, 0}, {1, 1, 1}, 0, 1},
        {"map_Kd   ", nullptr, nullptr, {0, 0, 0}, {1, 1, 1}, 0, 1},
    };
    for (const Case& c : cases) {
        ZelModel* m = zeltest::modelFromObj(
            "mtllib mats/lib.mtl\n",
            {{"models/mats/lib.mtl", std::string("newmtl a\n") + c.line + "\nKd 1 0 0\n"}},
            "models/m.obj");
        ASSERT_NE(m, nullptr) << c.line;
        ASSERT_EQ(m->materialcount, 2u) << c.line;
        const ZelTextureMap& map = m->materials[1].diffusemap;
        if (!c.name) {
            EXPECT_EQ(map.name, nullptr) << c.line;
            EXPECT_EQ(map.path, nullptr) << c.line;
        } else {
            EXPECT_STREQ(map.name, c.name) << c.line;
            EXPECT_STREQ(map.path, c.path) << c.line;
        }
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(map.offset[k], c.offset[k]) << c.line;
            EXPECT_EQ(map.scale[k], c.scale[k]) << c.line;
        }
        EXPECT_EQ(map.clamp, c.clamp) << c.line;
        EXPECT_EQ(map.bumpmultiplier, c.bumpmultiplier) << c.line;
        EXPECT_EQ(m->materials[1].diffuse[0], 1.0f) << c.line;  // the line after is read
        zelFreeModel(m);
    }
}

TEST(MtlMaps, EachKeywordSetsItsMapAndALaterLineReplacesIt) {
    ZelModel* m = withLibrary(
        "newmtl a\nmap_Ka ka.png\nmap_Kd kd.png\nmap_Ks ks.png\nmap_Ns ns.png\nmap_d d.png\n"
        "bump b1.png\nmap_bump b2.png\nnewmtl b\nmap_Bump -bm 2 b3.png\nmap_Kd x.png\n"
        "map_Kd y.png\nmap_Kd\nmap_Ke ke.png\ndisp d.png\n");
    ASSERT_EQ(m->materialcount, 3u);
    const ZelMaterial& a = m->materials[1];
    EXPECT_STREQ(a.ambientmap.name, "ka.png");
    EXPECT_STREQ(a.diffusemap.name, "kd.png");
    EXPECT_STREQ(a.specularmap.name, "ks.png");
    EXPECT_STREQ(a.shininessmap.name, "ns.png");
    EXPECT_STREQ(a.alphamap.name, "d.png");
    EXPECT_STREQ(a.bumpmap.name, "b2.png");
    const ZelMaterial& b = m->materials[2];
    EXPECT_STREQ(b.bumpmap.name, "b3.png");
    EXPECT_EQ(b.bumpmap.bumpmultiplier, 2.0f);
    EXPECT_STREQ(b.diffusemap.name, "y.png");  // the line with no name changes nothing
    EXPECT_EQ(b.ambientmap.name, nullptr);
    EXPECT_EQ(m->materials[0].diffusemap.name, nullptr);
    // The public map table numbers the same maps under the keywords the writer writes.
    const struct {
        const char* keyword;
        const char* name;
    } table[] = {{"map_Ka", "ka.png"}, {"map_Kd", "kd.png"}, {"map_Ks", "ks.png"},
                 {"map_Ns", "ns.png"}, {"map_d", "d.png"},   {"map_bump", "b2.png"},
                 {"map_Ke", nullptr},  {"norm", nullptr},    {"disp", nullptr},
                 {"decal", nullptr},   {"refl", nullptr},    {"map_Pr", nullptr},
                 {"map_Pm", nullptr},  {"map_Ps", nullptr}};
    ASSERT_EQ(std::size(table), ZEL_MAP_COUNT);
    for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
        EXPECT_STREQ(zelMapKeyword(k), table[k].keyword);
        EXPECT_STREQ(zelMaterialMap(&m->materials[1], k)->name, table[k].name);
    }
    EXPECT_EQ(zelMapKeyword(ZEL_MAP_COUNT), nullptr);
    EXPECT_EQ(zelMaterialMap(&m->materials[1], ZEL_MAP_COUNT), nullptr);
    zelFreeModel(m);
}

TEST(MtlLocation, DirNameAndLibraryPath) {
    struct Case {
        const char* path;
        const char* dir;
    } cases[] = {{"data/f-16.obj", "data/"}, {"f-16.obj", ""}, {"/a/b/c.obj", "/a/b/"},
                 {"a\\b\\c.obj", ""},        {"dir/", "dir/"}, {"", ""}};
    for (const Case& c : cases) {
        char* dir = zelDirName(c.path);
        EXPECT_STREQ(dir, c.dir) << c.path;
        free(dir);
    }
    // Only '/' separates directories: a backslash path looks in the current directory.
    ZelModel* m = zeltest::modelFromObj("mtllib sub/x.mtl\n", {{"a\\b/sub/x.mtl", "newmtl deep\n"}},
                                        "a\\b/m.obj");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->materials[1].name, "deep");
    zelFreeModel(m);
}

}  // namespace

namespace {

// Reads `mtl` as the library of an OBJ file that names it, under load flags.
ZelModel* withLibrary(const std::string& mtl, uint32_t flags) {
    zel::TextProvider library = [&mtl](const std::string&, std::string& text) {
        text = mtl;
        return true;
    };
    zel::ReadOptions options;
    options.threads = 1;
    options.flags = flags;
    options.libraries = &library;
    ZelModel* model = nullptr;
    const char obj[] = "mtllib lib.mtl\n";
    zel::Status status = zel::readOBJMemory("m.obj", obj, sizeof obj - 1, options, &model);
    EXPECT_TRUE(status.ok) << status.message;
    return model;
}

// What material 1 holds beyond a plain material's start values, in a few words ("Ns=32 Ni=1.45"),
// with the material count when it is not 2.
std::string describe(const ZelModel* m) {
    std::string text;
    char buffer[400];
    auto add = [&](const char* format, auto... values) {
        std::snprintf(buffer, sizeof buffer, format, values...);
        text += (text.empty() ? "" : " ") + std::string(buffer);
    };
    if (m->materialcount != 2) add("materials=%u", m->materialcount);
    if (m->materialcount < 2) return text;
    const ZelMaterial& a = m->materials[1];
    auto color = [&](const char* label, const float* c, float r, float g, float b) {
        if (c[0] != r || c[1] != g || c[2] != b) add("%s=%g,%g,%g", label, c[0], c[1], c[2]);
    };
    color("Ka", a.ambient, 0.2f, 0.2f, 0.2f);
    color("Kd", a.diffuse, 0.8f, 0.8f, 0.8f);
    color("Ks", a.specular, 0, 0, 0);
    if (a.shininess != 65.0f) add("Ns=%g", a.shininess);
    if (a.ior != 1.0f) add("Ni=%g", a.ior);
    if (a.dissolve != 1.0f) add("d=%g", a.dissolve);
    color("Ke", a.emission, 0, 0, 0);
    if (a.illum != -1) add("illum=%d", static_cast<int>(a.illum));
    color("Tf", a.transmission, 1, 1, 1);
    const std::pair<const char*, float> numbers[] = {{"Pr", a.roughness},
                                                     {"Pm", a.metallic},
                                                     {"Ps", a.sheen},
                                                     {"Pc", a.clearcoat},
                                                     {"Pcr", a.clearcoatroughness},
                                                     {"aniso", a.anisotropy},
                                                     {"anisor", a.anisotropyrotation}};
    for (const auto& number : numbers)
        if (number.second != 0.0f) add("%s=%g", number.first, number.second);
    for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
        const ZelTextureMap* map = zelMaterialMap(const_cast<ZelMaterial*>(&a), k);
        if (map->name)
            add("%s=%s%s%s", zelMapKeyword(k), map->name, map->type ? " -type " : "",
                map->type ? map->type : "");
    }
    for (uint32_t k = 0; k < a.statementcount; k++) add("kept=[%s]", a.statements[k]);
    return text;
}

TEST(MtlDialects, EveryStatementOfTheConventionInBothDialects) {
    const std::string longKeyword(150, 'x');
    struct Case {
        std::string statements;
        std::string firstLetters;  // the default dialect
        std::string wholeKeywords;
    } cases[] = {
        {"Ns 250", "Ns=32", "Ns=32"},
        {"Ni 1.45", "Ns=0.1856 Ni=1.45", "Ni=1.45"},  // the first letter sets the shininess too
        {"Nfoo 500", "Ns=64", "kept=[Nfoo 500]"},
        {"Ns x", "Ns=8.32 kept=[x]", "kept=[Ns x]"},
        {"Ka 0.5", "Ka=0.5,0.2,0.2", "Ka=0.5,0.5,0.5"},
        {"Kd 1 0 0", "Kd=1,0,0", "Kd=1,0,0"},
        {"Ks 0.5 0.5 0.5", "Ks=0.5,0.5,0.5", "Ks=0.5,0.5,0.5"},
        {"Kdx 1 1 1", "Kd=1,1,1", "kept=[Kdx 1 1 1]"},
        {"Kd spectral f.rfl", "kept=[spectral f.rfl]", "kept=[Kd spectral f.rfl]"},
        {"Kd 1 1 1 Km 2", "Kd=1,1,1 kept=[Km 2]", "Kd=1,1,1"},
        {"Ke 0.1 0.2 0.3", "Ke=0.1,0.2,0.3", "Ke=0.1,0.2,0.3"},
        {"Ke 0.5", "Ke=0.5,0.5,0.5", "Ke=0.5,0.5,0.5"},
        {"Km 0.5\r", "kept=[Km 0.5]", "kept=[Km 0.5]"},
        {"Tf 0.5 1 0", "Tf=0.5,1,0", "Tf=0.5,1,0"},
        {"illum 2", "illum=2", "illum=2"},
        {"illum 0", "illum=0", "illum=0"},
        {"illum two", "kept=[illum two]", "kept=[illum two]"},
        {"d 0.5", "d=0.5", "d=0.5"},
        {"Tr 0.25", "d=0.75", "d=0.75"},
        {"Pr 0.25", "Pr=0.25", "Pr=0.25"},
        {"Pm 1", "Pm=1", "Pm=1"},
        {"Ps 0.5", "Ps=0.5", "Ps=0.5"},
        {"Pc 0.125", "Pc=0.125", "Pc=0.125"},
        {"Pcr 0.0625", "Pcr=0.0625", "Pcr=0.0625"},
        {"aniso 0.75", "aniso=0.75", "aniso=0.75"},
        {"anisor 0.375", "anisor=0.375", "anisor=0.375"},
        {"Pr", "kept=[Pr]", "kept=[Pr]"},
        {"sharpness\t60 ", "kept=[sharpness\t60 ]", "kept=[sharpness\t60 ]"},
        {"# a comment", "", ""},
        {std::string("\0x 1", 4), "", ""},  // a NUL ends the line before its keyword
        {std::string("Pc 0.5\0x", 8), "Pc=0.5", "Pc=0.5"},  // and a value where it stands
        {longKeyword + " 1", "kept=[" + longKeyword + " 1]", "kept=[" + longKeyword + " 1]"},
        {"map_Ka a.png", "map_Ka=a.png", "map_Ka=a.png"},
        {"map_Kd a.png", "map_Kd=a.png", "map_Kd=a.png"},
        {"map_Ks a.png", "map_Ks=a.png", "map_Ks=a.png"},
        {"map_Ns a.png", "map_Ns=a.png", "map_Ns=a.png"},
        {"map_d a.png", "map_d=a.png", "map_d=a.png"},
        {"map_bump a.png", "map_bump=a.png", "map_bump=a.png"},
        {"map_Bump a.png", "map_bump=a.png", "map_bump=a.png"},
        {"bump a.png", "map_bump=a.png", "map_bump=a.png"},
        {"map_Ke a.png", "map_Ke=a.png", "map_Ke=a.png"},
        {"norm a.png", "materials=3", "norm=a.png"},  // the first letter opens a material
        {"disp a.png", "disp=a.png", "disp=a.png"},
        {"decal a.png", "decal=a.png", "decal=a.png"},
        {"refl -type sphere a.png", "refl=a.png -type sphere", "refl=a.png -type sphere"},
        {"map_Pr a.png", "map_Pr=a.png", "map_Pr=a.png"},
        {"map_Pm a.png", "map_Pm=a.png", "map_Pm=a.png"},
        {"map_Ps a.png", "map_Ps=a.png", "map_Ps=a.png"},
    };
    for (const Case& c : cases) {
        const std::string mtl = "newmtl a\n" + c.statements + "\n";
        ZelModel* m = withLibrary(mtl, 0);
        ASSERT_NE(m, nullptr) << c.statements;
        EXPECT_EQ(describe(m), c.firstLetters) << c.statements;
        zelFreeModel(m);
        m = withLibrary(mtl, ZEL_LOAD_WHOLE_KEYWORDS);
        ASSERT_NE(m, nullptr) << c.statements;
        EXPECT_EQ(describe(m), c.wholeKeywords) << c.statements << " (whole keywords)";
        zelFreeModel(m);
    }
}

TEST(MtlDialects, WholeKeywordNamesAndLongLines) {
    const std::string longName(300, 'n');
    ZelModel* m = withLibrary(
        "  newmtl  my  mat \t\r\nnorm n.png\nnewmtl " + longName + "\nnewmtlx b\nnewmtl\n",
        ZEL_LOAD_WHOLE_KEYWORDS);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->materialcount, 4u);
    EXPECT_STREQ(m->materials[1].name, "my  mat");
    EXPECT_STREQ(m->materials[1].normalmap.name, "n.png");
    EXPECT_EQ(m->materials[2].name, longName);
    ASSERT_EQ(m->materials[2].statementcount, 1u);
    EXPECT_STREQ(m->materials[2].statements[0], "newmtlx b");
    EXPECT_STREQ(m->materials[3].name, "");
    zelFreeModel(m);
}

// Blender writes "Ni" after "Ns" in every material.
const char kBlenderMaterial[] =
    "newmtl Material\nNs 250.000000\nKa 1.000000 1.000000 1.000000\n"
    "Kd 0.800000 0.800000 0.800000\nKs 0.500000 0.500000 0.500000\nKe 0.1 0.2 0.3\n"
    "Ni 1.450000\nd 1.000000\nillum 2\n";

TEST(MtlDialects, BlenderMaterialKeepsItsShininessUnderWholeKeywords) {
    ZelModel* m = withLibrary(kBlenderMaterial, 0);
    EXPECT_NEAR(m->materials[1].shininess, 0.1856f, 1e-6f);  // the documented reading
    zelFreeModel(m);
    m = withLibrary(kBlenderMaterial, ZEL_LOAD_WHOLE_KEYWORDS);
    EXPECT_EQ(describe(m), "Ka=1,1,1 Ks=0.5,0.5,0.5 Ns=32 Ni=1.45 Ke=0.1,0.2,0.3 illum=2");
    zelFreeModel(m);
}

}  // namespace
