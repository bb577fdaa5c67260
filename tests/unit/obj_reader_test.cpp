// The OBJ reader: statements, the four face forms and fans, groups, materials, exits and bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_models.h"
#include "zel_internal.h"

using zeltest::modelFromObj;
using zeltest::readObjText;

namespace {

struct Tri {
    uint32_t v[3], t[3], n[3];
};

std::vector<Tri> triangles(const ZelModel* m) {
    std::vector<Tri> out;
    for (uint32_t i = 0; i < m->trianglecount; i++) {
        Tri tri;
        std::memcpy(tri.v, m->triangles[i].vertexidx, sizeof tri.v);
        std::memcpy(tri.t, m->triangles[i].texcoordidx, sizeof tri.t);
        std::memcpy(tri.n, m->triangles[i].normalidx, sizeof tri.n);
        out.push_back(tri);
    }
    return out;
}

std::string describe(const std::vector<Tri>& tris) {
    std::string s;
    for (const Tri& t : tris) {
        s += "[";
        for (int c = 0; c < 3; c++)
            s += std::to_string(t.v[c]) + "/" + std::to_string(t.t[c]) + "/" +
                 std::to_string(t.n[c]) + (c < 2 ? " " : "");
        s += "]";
    }
    return s;
}

// Group names in list order (newest first) with their triangle lists.
std::vector<std::pair<std::string, std::vector<uint32_t>>> groups(const ZelModel* m) {
    std::vector<std::pair<std::string, std::vector<uint32_t>>> out;
    for (ZelGroup* g = m->groups; g; g = g->next)
        out.emplace_back(g->name,
                         std::vector<uint32_t>(g->triangleidx, g->triangleidx + g->trianglecount));
    return out;
}

const char* kVerts =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\nvn 0 0 -1\nvn 0 -1 0\nvn -1 0 0\n";

TEST(ObjFaces, FormsAndFansGiveTheseTriangles) {
    struct Case {
        const char* face;
        const char* expected;  // v/t/n per corner, 0 where not written
    } cases[] = {
        {"f 1 2 3\n", "[1/0/0 2/0/0 3/0/0]"},
        {"f 1 2 3 4 5\n", "[1/0/0 2/0/0 3/0/0][1/0/0 3/0/0 4/0/0][1/0/0 4/0/0 5/0/0]"},
        {"f 1/1/1 2/2/2 3/3/3 4/4/4\n", "[1/1/1 2/2/2 3/3/3][1/1/1 3/3/3 4/4/4]"},
        {"f 1//4 2//5 3//6\n", "[1/0/4 2/0/5 3/0/6]"},
        {"f 1/2 2/3 3/4 4/1\n", "[1/2/0 2/3/0 3/4/0][1/2/0 3/4/0 4/1/0]"},
        {"f 1 2\n", "[1/0/0 2/0/0 2/0/0]"},
        {"f 1\n", "[1/0/0 1/0/0 1/0/0]"},
        {"f 1 2\n3 4\ng x\n", "[1/0/0 2/0/0 3/0/0][1/0/0 3/0/0 4/0/0]"},
        {"f\t1/1/1   2/2/2\n\n 3/3/3 # end\n", "[1/1/1 2/2/2 3/3/3]"},
        {"f 1/1/1 2/2 3/3/3\n", "[1/1/1 2/2/1 3/3/3]"},  // a short reference keeps the last normal
        {"f -3 -2 -1\n", "[4/0/0 5/0/0 6/0/0]"},
        {"f -6/-4/-6 2/2/2 -1/-1/-1\n", "[1/1/1 2/2/2 6/4/6]"},
        {"f 1/1/1 2/ 2/2 3/3/3\n",
         "[1/1/1 2/2/2 3/3/3]"},                  // "%d/%d/%d" skips blanks before numbers
        {"f 1/ 2/3 4\n", "[1/0/0 2/0/0 2/0/0]"},  // "1/" is the vertex form; "/3" ends the face
        {"f 1 2 3\r\nf 2 3 4\r\n", "[1/0/0 2/0/0 3/0/0][2/0/0 3/0/0 4/0/0]"},
    };
    for (const Case& c : cases) {
        ZelModel* m = modelFromObj(std::string(kVerts) + c.face);
        ASSERT_NE(m, nullptr) << c.face;
        EXPECT_EQ(describe(triangles(m)), c.expected) << c.face;
        EXPECT_EQ(m->groups->trianglecount + (m->groups->next ? m->groups->next->trianglecount : 0),
                  m->trianglecount)
            << c.face;
        zelFreeModel(m);
    }
}

TEST(ObjStatements, CountsValuesAndSkippedStatements) {
    ZelModel* m = modelFromObj(
        "# a comment v 9 9 9\n"
        "o object\ns 1\nl 1 2\np 1\n"
        "v 1.5 -2 3e2 1.0\n"  // the fourth value is met as a word and skipped with its line
        "vn 0 0 1\n"
        "vt 0.25 0.75 0\n"
        "v .5 5. -.25\n"
        "1 2 3\n"
        "f 1/1/1 2/1/1 1/1/1\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexcount, 2u);
    EXPECT_EQ(m->normalcount, 1u);
    EXPECT_EQ(m->texcoordcount, 1u);
    EXPECT_EQ(m->trianglecount, 1u);
    const float vertices[] = {0, 0, 0, 1.5f, -2, 300, 0.5f, 5, -0.25f};
    EXPECT_EQ(0, std::memcmp(m->vertices, vertices, sizeof vertices));
    EXPECT_EQ(m->texcoords[2], 0.25f);
    EXPECT_EQ(m->texcoords[3], 0.75f);
    EXPECT_EQ(m->normals[5], 1.0f);
    EXPECT_EQ(m->facetnormcount, 0u);
    EXPECT_EQ(m->facetnorms, nullptr);
    EXPECT_EQ(m->mtllib, nullptr);
    EXPECT_STREQ(m->path, "test.obj");
    zelFreeModel(m);
}

TEST(ObjStatements, SlotZeroAndUnwrittenIndicesAreZero) {
    ZelModel* m = modelFromObj("v 1 1 1\nv 2 2 2\nv 3 3 3\nvn 1 1 1\nvt 1 1\nf 1 2 3\n");
    ASSERT_NE(m, nullptr);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(m->vertices[i], 0.0f);
        EXPECT_EQ(m->normals[i], 0.0f);
        EXPECT_EQ(m->triangles[0].normalidx[i], 0u);
        EXPECT_EQ(m->triangles[0].texcoordidx[i], 0u);
    }
    EXPECT_EQ(m->texcoords[0], 0.0f);
    EXPECT_EQ(m->texcoords[1], 0.0f);
    EXPECT_EQ(m->triangles[0].facetidx, 0u);
    zelFreeModel(m);
}

TEST(ObjStatements, EmptyFileAndFileWithoutNormals) {
    for (const char* text : {"", "\n\n", "# nothing\n"}) {
        ZelModel* m = modelFromObj(text);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->vertexcount, 0u);
        EXPECT_NE(m->vertices, nullptr);
        EXPECT_EQ(m->trianglecount, 0u);
        EXPECT_NE(m->triangles, nullptr);
        EXPECT_EQ(m->normals, nullptr);
        EXPECT_EQ(m->texcoords, nullptr);
        EXPECT_EQ(m->materials, nullptr);
        EXPECT_EQ(m->groupcount, 1u);
        EXPECT_STREQ(m->groups->name, "default");
        zelFreeModel(m);
    }
    ZelModel* m = modelFromObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(m->normalcount, 0u);
    EXPECT_EQ(m->normals, nullptr);
    zelFreeModel(m);
}

TEST(ObjGroups, ListOrderNamesAndMembership) {
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::vector<uint32_t>>> expected;
    } cases[] = {
        {"f 1 2 3\nf 1 2 3\n", {{"default", {0, 1}}}},
        {"f 1 2 3\ng wing\nf 1 2 3\n", {{" wing", {1}}, {"default", {0}}}},
        {"g default\nf 1 2 3\n", {{" default", {0}}, {"default", {}}}},
        {"g a\nf 1 2 3\ng b\nf 1 2 3\ng a\nf 1 2 3\n",
         {{" b", {1}}, {" a", {0, 2}}, {"default", {}}}},
        {"g a b\ng\tx  \ng empty\n",
         {{" empty", {}}, {"\tx  ", {}}, {" a b", {}}, {"default", {}}}},
        {"g wing\ng  wing\n", {{"  wing", {}}, {" wing", {}}, {"default", {}}}},
        {"g Wing\r\nf 1 2 3\r\n", {{" Wing", {0}}, {"default", {}}}},
        {"f 1 2 3\ng last", {{" last", {}}, {"default", {0}}}},
        {"g\n", {{"", {}}, {"default", {}}}},
    };
    for (const Case& c : cases) {
        ZelModel* m = modelFromObj(std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\n") + c.text);
        ASSERT_NE(m, nullptr) << c.text;
        EXPECT_EQ(groups(m), c.expected) << c.text;
        EXPECT_EQ(m->groupcount, c.expected.size()) << c.text;
        zelFreeModel(m);
    }
}

const std::map<std::string, std::string> kLibrary = {
    {"models/ship.mtl",
     "newmtl steel\nKd 0.5 0.5 0.6\nnewmtl paint\nKd 1 0 0\nnewmtl steel\nKd 0 1 0\n"},
};

TEST(ObjMaterials, UseAndLookup) {
    const char* obj =
        "mtllib ship.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
        "usemtl paint\nf 1 2 3\n"     // before any g: sets the material of "default"
        "g hull\nf 1 2 3\n"           // takes the current material
        "g deck\nusemtl steel\n"      // the lowest index of two equal names
        "g hull\nusemtl  paint  \n";  // later statements touch hull again
    ZelModel* m = modelFromObj(obj, kLibrary, "models/ship.obj");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->mtllib, "ship.mtl");
    ASSERT_EQ(m->materialcount, 4u);
    EXPECT_STREQ(m->materials[0].name, "default");
    EXPECT_STREQ(m->materials[1].name, "steel");
    EXPECT_STREQ(m->materials[3].name, "steel");
    ZelGroup* deck = zelGroupByName(m, " deck");
    ZelGroup* hull = zelGroupByName(m, " hull");
    ZelGroup* fallback = zelGroupByName(m, "default");
    ASSERT_TRUE(deck && hull && fallback);
    EXPECT_EQ(fallback->material, 2u);
    EXPECT_EQ(deck->material, 1u);
    EXPECT_EQ(hull->material, 2u);
    EXPECT_EQ(zelFindMaterial(m, "steel"), 1u);
    zelFreeModel(m);
}

TEST(ObjMaterials, NameRuleTakesTheSecondWordOrTheFirst) {
    std::map<std::string, std::string> library = {{"b.mtl", "newmtl x y z\n"},
                                                  {"a.mtl", "newmtl only\n"}};
    ZelModel* m = modelFromObj("mtllib a.mtl b.mtl c.mtl\n", library, "plain.obj");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->mtllib, "b.mtl");
    EXPECT_STREQ(m->materials[1].name, "y");
    zelFreeModel(m);
    m = modelFromObj("mtllib a.mtl\n", library, "plain.obj");
    EXPECT_STREQ(m->materials[1].name, "only");
    zelFreeModel(m);
}

TEST(ObjMaterials, MissingNameIsReportedAndFallsBackToDefault) {
    testing::internal::CaptureStdout();
    ZelModel* m = modelFromObj("mtllib ship.mtl\ng a\nusemtl paint\nusemtl chrome\n", kLibrary,
                               "models/ship.obj");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "zelFindMaterial():  can't find material \"chrome\".\n");
    EXPECT_EQ(zelGroupByName(m, " a")->material, 0u);
    zelFreeModel(m);

    testing::internal::CaptureStdout();
    m = modelFromObj("usemtl paint\n");  // no library at all
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "zelFindMaterial():  can't find material \"paint\".\n");
    EXPECT_EQ(m->materialcount, 0u);
    EXPECT_EQ(m->materials, nullptr);
    zelFreeModel(m);
}

TEST(ObjMaterials, OnlyTheLastLibraryIsInEffect) {
    std::map<std::string, std::string> library = {{"a.mtl", "newmtl a1\nnewmtl a2\n"},
                                                  {"b.mtl", "newmtl b1\n"}};
    ZelModel* m = modelFromObj("mtllib a.mtl\nmtllib b.mtl\n", library, "x.obj");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->mtllib, "b.mtl");
    ASSERT_EQ(m->materialcount, 2u);
    EXPECT_STREQ(m->materials[1].name, "b1");
    zelFreeModel(m);
}

// Bad input: every case is read without touching memory outside the model (the sanitizer build
// checks that), and the invariants of a read model hold.
TEST(ObjBadInput, LongWordsAndLinesStayInBoundsAndScansAgree) {
    std::string longName(300, 'n');
    std::string longNumber = "1" + std::string(200, '0') + "1";
    std::string cases[] = {
        "g " + longName + "\nf 1 2 3\n",
        "# " + std::string(5000, '#') + "\nf 1 2 3\n",
        "v 1 2 3 " + std::string(400, ' ') + "4 5 6\nf 1 2 3\n",
        "s " + longName + "\nf 1 2 3\ng " + longName + " x\nf 1 2 3\n",
        "usemtl " + longName + "\n",
        "f 1 2 3 " + longNumber + "\n",
        "v 0." + std::string(300, '1') + " 0 0\nf 1 2 3\n",
        "f " + std::string(127, '1') + "\n",
        std::string(200, 'g') + "\nf 1 2 3\n",
    };
    for (const std::string& text : cases) {
        ZelModel* m = nullptr;
        testing::internal::CaptureStdout();
        zel::Status status = readObjText("v 0 0 0\nv 1 0 0\nv 0 1 0\n" + text, {}, &m);
        testing::internal::GetCapturedStdout();
        if (!status.ok) continue;  // out-of-range indices are reported, which is fine here
        uint32_t sum = 0;
        for (ZelGroup* g = m->groups; g; g = g->next) {
            EXPECT_LE(std::strlen(g->name), 127u);
            for (uint32_t i = 0; i < g->trianglecount; i++)
                EXPECT_LT(g->triangleidx[i], m->trianglecount);
            sum += g->trianglecount;
        }
        EXPECT_EQ(sum, m->trianglecount) << text.substr(0, 40);
        zelFreeModel(m);
    }
}

TEST(ObjBadInput, LongGroupNameKeepsItsFirst127Bytes) {
    std::string name(300, 'q');
    ZelModel* m = modelFromObj("g " + name + "\ng b\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(groups(m)[1].first, " " + std::string(126, 'q'));
    EXPECT_EQ(groups(m)[0].first, " b");  // the rest of the long line is not a statement
    zelFreeModel(m);
}

TEST(ObjBadInput, FillingNeverStoresMoreThanCounted) {
    // Keywords left on vertex lines are skipped by the counting scan with their line but met as
    // statements by the filling scan.
    const char* cases[] = {
        "v 0 0 0 f 1 1 1\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
        "v 0 0 0 g other\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
        "v 0 0 0\nv 1 0 0 v 5 5 5\nv 0 1 0\nvn 0 0 1 vn 1 1 1\nvt 0 0 vt 1 1\nf 1 2 3\n",
        "g a\nv 0 0 0 f 1 1 1 2 2 3\nv 1 0 0\nv 0 1 0\ng a\nf 1 2 3\n",
    };
    for (const char* text : cases) {
        ZelModel* m = modelFromObj(text);
        ASSERT_NE(m, nullptr) << text;
        uint32_t sum = 0;
        for (ZelGroup* g = m->groups; g; g = g->next) sum += g->trianglecount;
        EXPECT_EQ(sum, m->trianglecount) << text;
        EXPECT_EQ(m->vertexcount, 3u) << text;
        EXPECT_EQ(m->vertices[3 * 2], 1.0f) << text;  // vertex 2 is still the second v line
        zelFreeModel(m);
    }
}

TEST(ObjBadInput, IndicesOutsideTheArraysAreReportedWithFileAndLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"f 1 2 0\n", "vertex index 0 does not name one of the file's 3 vertices."},
        {"\n\nf 1 2\n 4\n", "line 6: vertex index 4 does not name one of the file's 3 vertices."},
        {"f -4 1 2\n", "line 4: vertex index -4 does not name"},
        {"vt 0 0\nf 1/1 2/2 3/1\n",
         "texture coordinate index 2 does not name one of the file's 1 "
         "texture coordinates."},
        {"vn 0 0 1\nf 1//1 2//1 3//-2\n",
         "normal index -2 does not name one of the file's 1 "
         "normals."},
        {"f x y z\n", "vertex index 0"},
        {"f", "vertex index 0"},
        {"f 4294967296 1 2\n", "vertex index 0"},  // stored as an int, as "%d" stores it
    };
    for (const Case& c : cases) {
        ZelModel* m = nullptr;
        zel::Status status =
            readObjText(std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\n") + c.text, {}, &m, "dir/bad.obj");
        EXPECT_FALSE(status.ok) << c.text;
        EXPECT_EQ(m, nullptr);
        EXPECT_EQ(status.stream, zel::Stream::Err);
        EXPECT_EQ(status.message.rfind("zelReadOBJ() failed: \"dir/bad.obj\" line ", 0), 0u)
            << status.message;
        EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    }
}

TEST(ObjBadInput, IndicesIntoMissingArraysAreKeptAsWritten) {
    ZelModel* m =
        modelFromObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/7/9 2/8/9 3/9/9\nf 1//5 2//-1 3//0\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(describe(triangles(m)), "[1/7/9 2/8/9 3/9/9][1/0/5 2/0/0 3/0/0]");
    zelFreeModel(m);
}

TEST(ObjExits, UnreadableFilesAndUnknownTokensEndTheProcess) {
    zeltest::TempDir dir;
    std::string missing = dir.file("missing.obj");
    EXPECT_EXIT(zelReadOBJ(missing.c_str()), testing::ExitedWithCode(1),
                "^zelReadOBJ\\(\\) failed: can't open data file \"" + missing + "\"\\.\n$");
    EXPECT_EXIT(zelReadOBJ(dir.path().c_str()), testing::ExitedWithCode(1), "can't open data file");

    std::string vp = dir.write("vp.obj", "v 0 0 0\nvp 1 2\nf 1 1 1\n");
    // The unknown-token line goes to standard output; send it where the death test reads.
    EXPECT_EXIT((dup2(2, 1), zelReadOBJ(vp.c_str())), testing::ExitedWithCode(1),
                "^zelFirstPass\\(\\): Unknown token \"vp\"\\.\n$");

    std::string noLibrary = dir.write("nolib.obj", "mtllib sub/none.mtl\n");
    EXPECT_EXIT(zelReadOBJ(noLibrary.c_str()), testing::ExitedWithCode(1),
                "^zelReadMTL\\(\\) failed: can't open material file \"" + dir.path() +
                    "/sub/none\\.mtl\"\\.\n$");

    std::string bad = dir.write("bad.obj", "v 0 0 0\nf 1 1 2\n");
    EXPECT_EXIT(zelReadOBJ(bad.c_str()), testing::ExitedWithCode(1),
                "^zelReadOBJ\\(\\) failed: \"" + bad + "\" line 2: vertex index 2");
}

TEST(ObjFiles, FileAndMemoryReadersAgreeAcrossBufferRefills) {
    // Enough text to cross the reader's buffer several times, with tokens split at every offset.
    std::string text;
    for (int i = 0; i < 120000; i++) {
        text += "v " + std::to_string(i) + ".125 -" + std::to_string(i % 977) + "e-3 +0x1p-" +
                std::to_string(i % 7) + "\n";
        if (i >= 2) text += "f " + std::to_string(i - 1) + " -2 " + std::to_string(i + 1) + "\n";
        if (i % 5000 == 0) text += "g part" + std::to_string(i % 3) + "\n";
    }
    zeltest::TempDir dir;
    std::string path = dir.write("big.obj", text);
    ZelModel* fromFile = zelReadOBJ(path.c_str());
    ZelModel* fromMemory = modelFromObj(text, {}, path.c_str());
    ASSERT_NE(fromMemory, nullptr);
    ASSERT_EQ(fromFile->vertexcount, 120000u);
    ASSERT_EQ(fromFile->trianglecount, fromMemory->trianglecount);
    EXPECT_EQ(0, std::memcmp(fromFile->vertices, fromMemory->vertices,
                             sizeof(float) * 3 * (fromFile->vertexcount + 1)));
    EXPECT_EQ(0, std::memcmp(fromFile->triangles, fromMemory->triangles,
                             sizeof(ZelTriangle) * fromFile->trianglecount));
    EXPECT_EQ(groups(fromFile), groups(fromMemory));
    EXPECT_EQ(fromFile->vertices[3 * 1001 + 1], -(23.0f / 1000));
    EXPECT_EQ(fromFile->vertices[3 * 1001 + 2], 1.0f / 64);
    zelFreeModel(fromFile);
    zelFreeModel(fromMemory);
}

// ---- Loading without ending the process ---------------------------------------------------------

// A library served from memory, counting the requests.
struct Libraries {
    std::map<std::string, std::string> files;
    std::vector<std::string> asked;
    std::vector<std::string> warnings;
};

int serveLibrary(void* user, const char* path, const char** data, size_t* size) {
    Libraries* libraries = static_cast<Libraries*>(user);
    libraries->asked.push_back(path);
    auto found = libraries->files.find(path);
    if (found == libraries->files.end()) return 0;
    *data = found->second.data();
    *size = found->second.size();
    return 1;
}

void collectWarning(void* user, const char* message) {
    static_cast<Libraries*>(user)->warnings.push_back(message);
}

TEST(LoadOBJ, FailuresComeBackWithTheLineZelReadOBJPrintsAndNothingIsPrinted) {
    struct Case {
        const char* text;
        const char* message;
        uint32_t line;
    } cases[] = {
        {"v 0 0 0\n\nvp 1 2\n", "zelFirstPass(): Unknown token \"vp\".", 3},
        {"v 0 0 0\nusemtl none\nf 1 1 2\n",
         "zelReadOBJ() failed: \"dir/m.obj\" line 3: vertex index 2 does not name one of the "
         "file's 1 vertices.",
         3},
        {"v 0 0 0\nmtllib gone.mtl\n",
         "zelReadMTL() failed: can't open material file "
         "\"dir/gone.mtl\".",
         2},
        {"mtllib gone.mtl\nvx\n", "zelReadMTL() failed: can't open material file \"dir/gone.mtl\".",
         1},
    };
    for (const Case& c : cases) {
        for (bool fromFile : {false, true}) {
            ZelError error;
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            ZelModel* model = nullptr;
            if (fromFile) {
                zeltest::TempDir dir;
                std::string path = dir.write("m.obj", c.text);
                model = zelLoadOBJ(path.c_str(), nullptr, &error);
                std::string message = error.message;
                size_t at = message.find(dir.path() + "/");
                if (at != std::string::npos) message.replace(at, dir.path().size() + 1, "dir/");
                EXPECT_EQ(message, c.message) << c.text;
            } else {
                model = zelLoadOBJMemory("dir/m.obj", c.text, std::strlen(c.text), nullptr, &error);
                EXPECT_STREQ(error.message, c.message) << c.text;
            }
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            EXPECT_EQ(model, nullptr);
            EXPECT_EQ(error.line, c.line) << c.text;
        }
    }
    ZelError error;
    EXPECT_EQ(zelLoadOBJ("dir/none.obj", nullptr, &error), nullptr);
    EXPECT_STREQ(error.message, "zelReadOBJ() failed: can't open data file \"dir/none.obj\".");
    EXPECT_EQ(error.line, 0u);
    EXPECT_EQ(zelLoadOBJ("dir/none.obj", nullptr, nullptr), nullptr);
}

TEST(LoadOBJ, OptionsSupplyLibrariesAndTakeTheWarnings) {
    const std::string text =
        "mtllib a.mtl\nv 0 0 0\ng x\nusemtl blue\nusemtl red\nf 1 1 1\ng y\nusemtl nope\n";
    Libraries libraries;
    libraries.files["dir/a.mtl"] = "newmtl red\nKd 1 0 0\n";
    ZelLoadOptions options{};
    options.library = serveLibrary;
    options.warning = collectWarning;
    options.user = &libraries;
    for (uint32_t threads : {0u, 1u, 2u}) {
        options.threads = threads;
        libraries.asked.clear();
        libraries.warnings.clear();
        testing::internal::CaptureStdout();
        ZelModel* m = zelLoadOBJMemory("dir/m.obj", text.data(), text.size(), &options, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(libraries.asked, std::vector<std::string>{"dir/a.mtl"});
        EXPECT_EQ(libraries.warnings,
                  (std::vector<std::string>{"zelFindMaterial():  can't find material \"blue\".",
                                            "zelFindMaterial():  can't find material \"nope\"."}));
        ASSERT_EQ(m->materialcount, 2u);
        EXPECT_EQ(m->materials[1].diffuse[0], 1.0f);
        EXPECT_EQ(zelGroupByName(m, " x")->material, 1u);
        zelFreeModel(m);
    }
    // Without a callback the lines go to standard output once the load has succeeded, unless quiet.
    options.warning = nullptr;
    for (uint32_t quiet : {0u, 1u}) {
        options.quiet = quiet;
        testing::internal::CaptureStdout();
        ZelModel* m = zelLoadOBJMemory("dir/m.obj", text.data(), text.size(), &options, nullptr);
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(out, quiet ? ""
                             : "zelFindMaterial():  can't find material \"blue\".\n"
                               "zelFindMaterial():  can't find material \"nope\".\n");
        zelFreeModel(m);
    }
}

// Run in the sanitizer build, where LeakSanitizer reports anything a failed load left behind.
TEST(LoadOBJ, ManyFailedLoadsLeaveNothingAllocated) {
    const std::string bad[] = {
        "mtllib a.mtl\ng x\nusemtl red\nv 0 0 0\nf 1 2 3\n",
        "v 0 0 0\ng x\ng y\nvn 0 0 1\nf 1//1 1//1 1//1\nvq\n",
        "mtllib none.mtl\n",
    };
    Libraries libraries;
    libraries.files["a.mtl"] = "newmtl red\n";
    ZelLoadOptions options{};
    options.library = serveLibrary;
    options.quiet = 1;
    options.user = &libraries;
    int failed = 0;
    for (int i = 0; i < 10000; i++) {
        const std::string& text = bad[i % 3];
        options.threads = 1 + i % 2;
        ZelError error;
        failed += zelLoadOBJMemory("m.obj", text.data(), text.size(), &options, &error) == nullptr;
    }
    EXPECT_EQ(failed, 10000);
}

}  // namespace

// ---- Whole keywords and confined libraries
// -------------------------------------------------------

// What whole keywords read from statements the first-letter dialect reads otherwise: keywords
// that share first letters, names with blanks, several libraries on a line, lines of any length.
TEST(LoadOBJ, WholeKeywordsReadStatementsNamesAndLibrariesWhole) {
    const std::string longName(300, 'n');
    std::string face = "f";
    for (int i = 1; i <= 100; i++) face += " " + std::to_string(i % 3 + 1);
    const std::string text =
        "mtllib a.mtl\td.mtl\nmtllib  b c.mtl \nmaplib x.mtl\nmg 1\nv 0 0 0\nv 1 0 0\n"
        "v 0 1 0\n  g   left arm \t\ngroup x\nusemap red\nusemtl Offset and "
        "scale\nfo 1 2 3\nf 1 2 3\ng " +
        longName + "\nusemtl red\n" + face + "\no obj\n";
    Libraries libraries;
    libraries.files["dir/a.mtl"] = "newmtl red\nKd 1 0 0\n";
    libraries.files["dir/d.mtl"] = "newmtl x\n";
    libraries.files["dir/b c.mtl"] = "newmtl   Offset and scale \nKd 0 1 0\nnewmtl red\n";
    ZelLoadOptions options{};
    options.library = serveLibrary;
    options.warning = collectWarning;
    options.user = &libraries;
    options.flags = ZEL_LOAD_WHOLE_KEYWORDS;
    for (uint32_t threads : {1u, 2u}) {
        options.threads = threads;
        libraries.warnings.clear();
        ZelError error;
        ZelModel* m = zelLoadOBJMemory("dir/m.obj", text.data(), text.size(), &options, &error);
        ASSERT_NE(m, nullptr) << error.message;
        EXPECT_TRUE(libraries.warnings.empty()) << libraries.warnings[0];
        EXPECT_STREQ(m->mtllib, "b c.mtl");
        // Both libraries' materials, the first "red" found first.
        ASSERT_EQ(m->materialcount, 5u);
        EXPECT_STREQ(m->materials[3].name, "Offset and scale");
        ZelGroup* arm = zelGroupByName(m, "left arm");
        ASSERT_NE(arm, nullptr);
        EXPECT_EQ(arm->material, 3u);
        EXPECT_EQ(arm->trianglecount, 1u);  // "fo" is skipped
        ZelGroup* named = zelGroupByName(m, longName.c_str());
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(named->material, 1u);
        EXPECT_EQ(named->trianglecount, 98u);
        EXPECT_EQ(m->groupcount, 3u);  // "o" without ZEL_LOAD_OBJECTS is skipped
        zelFreeModel(m);
    }
    // A keyword starting with "v" is still judged by ZEL_LOAD_UNKNOWN_KEYWORDS.
    ZelError error;
    EXPECT_EQ(zelLoadOBJMemory("m.obj", "vnx 1\n", 6, &options, &error), nullptr);
    EXPECT_STREQ(error.message, "zelFirstPass(): Unknown token \"vnx\".");
}

// Under ZEL_LOAD_CONFINED_LIBRARIES a library outside the model's folder is never opened; texture
// maps say whether they stay inside.
TEST(LoadOBJ, ConfinedLibrariesStayInTheModelsFolder) {
    // The model's folder is root/model; root/secret.mtl is outside it.
    zeltest::TempDir root;
    const std::string secret = root.write("secret.mtl", "newmtl secret\n");
    const std::string folder = root.file("model");
    std::filesystem::create_directories(folder + "/sub");
    root.write("model/sub/lib.mtl",
               "newmtl m\nmap_Kd ../in.png\nmap_Ka ../../out.png\nmap_Ks /abs.png\nbump b.png\n");
    ASSERT_EQ(symlink(secret.c_str(), (folder + "/link.mtl").c_str()), 0);
    const struct {
        std::string name;
        bool inside;
    } cases[] = {
        {"sub/lib.mtl", true},    {"sub/../sub/lib.mtl", true},    {"./sub//lib.mtl", true},
        {"../secret.mtl", false}, {"sub/../../secret.mtl", false}, {secret, false},
        {"link.mtl", false},
    };
    for (const auto& c : cases) {
        const std::string obj = root.write("model/m.obj", "mtllib " + c.name + "\n");
        for (uint32_t flags : {0u, ZEL_LOAD_WHOLE_KEYWORDS, ZEL_LOAD_MISSING_LIBRARIES}) {
            ZelLoadOptions options{};
            options.flags = flags | ZEL_LOAD_CONFINED_LIBRARIES;
            options.quiet = 1;
            ZelError error;
            ZelModel* m = zelLoadOBJ(obj.c_str(), &options, &error);
            if (c.inside || (flags & ZEL_LOAD_MISSING_LIBRARIES)) {
                ASSERT_NE(m, nullptr) << c.name << ": " << error.message;
                EXPECT_EQ(m->materialcount, c.inside ? 2u : 0u) << c.name;
                zelFreeModel(m);
                continue;
            }
            EXPECT_EQ(m, nullptr) << c.name;
            EXPECT_EQ(std::string(error.message), "zelReadMTL() failed: material file \"" + folder +
                                                      "/" + c.name +
                                                      "\" is outside the model's folder.");
            EXPECT_EQ(error.line, 1u);
        }
        // Without the flag the library is read wherever it is (a name is always taken relative to
        // the model's folder, so an absolute one names nothing there).
        if (c.name[0] == '/') continue;
        ZelModel* m = zelLoadOBJ(obj.c_str(), nullptr, nullptr);
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_EQ(m->materialcount, 2u);
        if (c.name == "sub/lib.mtl") {
            const ZelMaterial& material = m->materials[1];
            EXPECT_EQ(material.diffusemap.inside, 1u);
            EXPECT_EQ(material.ambientmap.inside, 0u);
            EXPECT_EQ(material.specularmap.inside, 0u);
            EXPECT_EQ(material.bumpmap.inside, 1u);
        }
        zelFreeModel(m);
    }
}

// ---- Shapes kept beside the triangles
// ------------------------------------------------------------

// Reads `text` on one thread and in ranges of a few bytes on four, which must agree on everything
// the shapes tests look at; returns the one-thread model.
ZelModel* readShapes(const std::string& text, uint32_t flags) {
    zel::ReadOptions one;
    one.threads = 1;
    one.flags = flags;
    zel::ReadOptions many = one;
    many.threads = 4;
    many.rangeSize = 7;
    many.bufferSize = 5;
    ZelModel *a = nullptr, *b = nullptr;
    EXPECT_TRUE(zel::readOBJMemory("m.obj", text.data(), text.size(), one, &a).ok);
    EXPECT_TRUE(zel::readOBJMemory("m.obj", text.data(), text.size(), many, &b).ok);
    if (!a || !b) return a;
    EXPECT_EQ(describe(triangles(a)), describe(triangles(b)));
    EXPECT_EQ((a->smoothinggroups != nullptr), (b->smoothinggroups != nullptr));
    for (uint32_t t = 0; a->smoothinggroups && t < a->trianglecount; t++)
        EXPECT_EQ(a->smoothinggroups[t], b->smoothinggroups[t]) << t;
    for (ZelGroup *g = a->groups, *h = b->groups; g && h; g = g->next, h = h->next) {
        EXPECT_EQ(g->polygoncount, h->polygoncount);
        EXPECT_EQ(g->linecount, h->linecount);
        EXPECT_EQ(g->pointcount, h->pointcount);
    }
    zelFreeModel(b);
    return a;
}

// Twice the signed area of triangle t projected on z.
double twiceArea(const ZelModel* m, const ZelTriangle& t) {
    const float* p[3];
    for (int k = 0; k < 3; k++) p[k] = &m->vertices[3 * size_t{t.vertexidx[k]}];
    return (double{p[1][0]} - p[0][0]) * (double{p[2][1]} - p[0][1]) -
           (double{p[2][0]} - p[0][0]) * (double{p[1][1]} - p[0][1]);
}

TEST(ObjShapes, ConcaveFacesAreCutInsideThemselvesAndConvexOnesKeepTheFan) {
    // An L of six corners (area 3) after a convex quad (area 1), both counter-clockwise.
    const std::string text =
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\nv 1 2 0\nv 0 2 0\n"
        "f 1 2 3 4\nf 5 6 3 7 8 1\n";
    ZelModel* fan = readShapes(text, 0);
    ZelModel* cut = readShapes(text, ZEL_LOAD_CONCAVE_POLYGONS);
    ASSERT_TRUE(fan && cut);
    ASSERT_EQ(cut->trianglecount, 6u);
    // The quad's fan is kept; the L's triangles all turn left and add up to its area.
    const std::vector<Tri> fanned = triangles(fan), cutTriangles = triangles(cut);
    EXPECT_EQ(describe({fanned.begin(), fanned.begin() + 2}),
              describe({cutTriangles.begin(), cutTriangles.begin() + 2}));
    double area = 0;
    for (uint32_t t = 2; t < 6; t++) {
        const double twice = twiceArea(cut, cut->triangles[t]);
        EXPECT_GT(twice, 0) << t;
        area += twice / 2;
    }
    EXPECT_DOUBLE_EQ(area, 3.0);
    // From (2, 0) the fan of the L folds back over the corner at (1, 1).
    double covered = 0;
    for (uint32_t t = 2; t < 6; t++) covered += std::abs(twiceArea(fan, fan->triangles[t])) / 2;
    EXPECT_NE(covered, 3.0);
    zelFreeModel(fan);
    zelFreeModel(cut);
}

TEST(ObjShapes, PolygonsLinesPointsAndSmoothingGroupsAreKept) {
    const std::string text =
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nvt 0 0\nvt 1 1\n"
        "s 1\nf 1 2 3 4\ng g1\nf 1 2 5\ns off\nf -3 -2 -1 1 4\n"
        "l 1/1 2/2 3\nl 4\nl 1 x\np 1 2 -1\np 9\ns 7\nf 2 3 4\n";
    ZelModel* m = readShapes(text, ZEL_LOAD_POLYGONS);
    ASSERT_NE(m, nullptr);
    // Triangles: 2 (quad) + 1 + 3 (pentagon) + 1.
    ASSERT_EQ(m->trianglecount, 7u);
    ASSERT_NE(m->smoothinggroups, nullptr);
    const uint32_t smoothing[] = {1, 1, 1, 0, 0, 0, 7};
    for (uint32_t t = 0; t < 7; t++) EXPECT_EQ(m->smoothinggroups[t], smoothing[t]) << t;
    const ZelGroup* first = zelGroupByName(m, "default");
    const ZelGroup* second = zelGroupByName(m, " g1");
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->polygoncount, 1u);
    EXPECT_EQ(first->polygonstart[1], 4u);
    ASSERT_EQ(second->polygoncount, 3u);
    EXPECT_EQ(std::vector<uint32_t>(second->polygonstart, second->polygonstart + 4),
              (std::vector<uint32_t>{0, 3, 8, 11}));
    EXPECT_EQ(std::vector<uint32_t>(second->polygontriangle, second->polygontriangle + 3),
              (std::vector<uint32_t>{0, 1, 4}));
    // The pentagon's relative indices are resolved: -3 -2 -1 are vertices 3 4 5.
    std::vector<uint32_t> pentagon;
    for (uint32_t i = 3; i < 8; i++) pentagon.push_back(second->polygoncorners[i].vertexidx);
    EXPECT_EQ(pentagon, (std::vector<uint32_t>{3, 4, 5, 1, 4}));
    // One line of three corners (texture indices where given); "l 4" and "l 1 x" are dropped.
    ASSERT_EQ(second->linecount, 1u);
    EXPECT_EQ(second->linestart[1], 3u);
    EXPECT_EQ(second->linecorners[1].vertexidx, 2u);
    EXPECT_EQ(second->linecorners[1].texcoordidx, 2u);
    EXPECT_EQ(second->linecorners[2].texcoordidx, 0u);
    // "p 9" names no vertex and is dropped.
    EXPECT_EQ(std::vector<uint32_t>(second->pointidx, second->pointidx + second->pointcount),
              (std::vector<uint32_t>{1, 2, 5}));
    zelFreeModel(m);
    // Without ZEL_LOAD_POLYGONS no face is kept; lines, points and smoothing groups are.
    m = readShapes(text, 0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(zelGroupByName(m, " g1")->polygoncount, 0u);
    EXPECT_EQ(zelGroupByName(m, " g1")->pointcount, 3u);
    zelFreeModel(m);
}
