// The MTL reader: start values, colour statements, shininess scaling, naming and lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_models.h"

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
        "# header\nKd 0.1 0.2 0.3\n"                     // before newmtl: material 0
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
        {"Ns 500\nNi 1.5\n", 0.192f},    // any keyword starting with N sets the shininess
        {"Ns x\n", 8.32f},               // no number: the start value 65 is scaled all the same
        {"Ns 250\nNs\n", 4.096f},        // an Ns without a number scales again
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
    EXPECT_STREQ(m->materials[5].name, "\n");      // no word: the rest of the line as read
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

TEST(MtlLocation, DirNameAndLibraryPath) {
    struct Case {
        const char* path;
        const char* dir;
    } cases[] = {{"data/f-16.obj", "data/"}, {"f-16.obj", ""}, {"/a/b/c.obj", "/a/b/"},
                 {"a\\b\\c.obj", ""}, {"dir/", "dir/"}, {"", ""}};
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
