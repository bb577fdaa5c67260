// zelview's decisions without a display: the command line, keys, mouse, the drawing mode and title,
// the model preparation, the texture images and which material takes which.
#include "viewer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_models.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

using zelview::Colouring;
using zelview::TexSource;
using zelview::ViewState;

struct ModelDeleter {
    void operator()(ZelModel* model) const { zelFreeModel(model); }
};
using ModelPtr = std::unique_ptr<ZelModel, ModelDeleter>;

// A square pyramid: five vertices, six triangles in two groups.
const char kPyramid[] =
    "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 3 0\n"
    "g base\nf 4 3 2 1\ng sides\nf 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\n";

ModelPtr readModel(const std::string& obj, const std::map<std::string, std::string>& mtl = {}) {
    return ModelPtr(zeltest::modelFromObj(obj, mtl, "model.obj"));
}

// ---- Command line
// --------------------------------------------------------------------------------

struct ArgsCase {
    std::vector<const char*> args;  // after the program name
    zelview::ArgsOutcome outcome;
    const char* model;
    const char* texture;
    const char* error;
};

class ViewerArgs : public testing::TestWithParam<ArgsCase> {};

TEST_P(ViewerArgs, ReadsFilesOptionsAndErrors) {
    const ArgsCase& c = GetParam();
    std::vector<const char*> argv = {"zelview"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    zelview::Options options;
    std::string error;
    EXPECT_EQ(zelview::parseArgs(int(argv.size()), argv.data(), &options, &error), c.outcome);
    EXPECT_EQ(options.modelPath, c.model);
    EXPECT_EQ(options.texturePath, c.texture);
    EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    All, ViewerArgs,
    testing::Values(
        ArgsCase{{"ship.obj"}, zelview::ArgsOutcome::Run, "ship.obj", "", ""},
        ArgsCase{{"ship.obj", "sky.ppm"}, zelview::ArgsOutcome::Run, "ship.obj", "sky.ppm", ""},
        ArgsCase{{"-"}, zelview::ArgsOutcome::Run, "-", "", ""},
        ArgsCase{{}, zelview::ArgsOutcome::UsageError, "", "", "no model file given"},
        ArgsCase{{"a", "b", "c"}, zelview::ArgsOutcome::UsageError, "", "", "too many arguments"},
        ArgsCase{{"-x", "a.obj"}, zelview::ArgsOutcome::UsageError, "", "", "unknown option -x"},
        ArgsCase{{"a.obj", "--help"}, zelview::ArgsOutcome::Help, "", "", ""},
        ArgsCase{{"-h"}, zelview::ArgsOutcome::Help, "", "", ""},
        ArgsCase{{"--documented", "a.obj"}, zelview::ArgsOutcome::Run, "a.obj", "", ""}));

// ---- Keys, mode and title
// ------------------------------------------------------------------------

ViewState stateWith(bool materials, bool fileTexCoords, bool vertexColors = false,
                    bool mapsRead = false) {
    zelview::ModelInfo info;
    info.materials = materials;
    info.fileTexCoords = fileTexCoords;
    info.vertexColors = vertexColors;
    return zelview::initialState(info, mapsRead);
}

TEST(ViewerStart, MaterialsWhenTheModelHasThemAndTheFilesCoordinates) {
    EXPECT_EQ(zelview::windowTitle(stateWith(true, true), "dir/ship.obj"),
              "zelview: ship.obj - filled smooth material untextured list");
    EXPECT_EQ(zelview::windowTitle(stateWith(false, false), "ship.obj"),
              "zelview: ship.obj - filled smooth plain untextured list");
    EXPECT_EQ(stateWith(true, true).texSource, TexSource::File);
    EXPECT_EQ(stateWith(true, false).texSource, TexSource::Planar);
    EXPECT_EQ(zelview::drawMode(stateWith(true, false)), ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND);
    EXPECT_EQ(zelview::drawMode(stateWith(false, false)), ZEL_SMOOTH);
}

TEST(ViewerStart, VertexColoursWhenTheFileGivesThemAndTexturedWhenMapsWereRead) {
    EXPECT_EQ(zelview::windowTitle(stateWith(true, false, true), "c.obj"),
              "zelview: c.obj - filled smooth vertexcolor untextured list");
    EXPECT_EQ(zelview::drawMode(stateWith(false, false, true)), ZEL_SMOOTH | ZEL_VERTEXCOLOR);
    EXPECT_EQ(zelview::windowTitle(stateWith(true, true, false, true), "t.obj"),
              "zelview: t.obj - filled smooth material texture(file) list");
    EXPECT_EQ(zelview::drawMode(stateWith(true, false, false, true)),
              ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND | ZEL_TEXTURE);
}

struct KeyCase {
    const char* keys;  // pressed in turn on the start state of a model with materials
    const char* title;
    uint32_t mode;
};

class ViewerKeySequences : public testing::TestWithParam<KeyCase> {};

TEST_P(ViewerKeySequences, ChangeTitleAndMode) {
    const KeyCase& c = GetParam();
    ViewState state = stateWith(true, false);
    for (const char* k = c.keys; *k; k++) {
        std::string note;
        EXPECT_NE(
            zelview::pressKey(&state, static_cast<unsigned char>(*k), &note) & zelview::kRedraw, 0u)
            << *k;
        EXPECT_EQ(note, "");
    }
    EXPECT_EQ(zelview::windowTitle(state, "f16.obj"), std::string("zelview: f16.obj - ") + c.title);
    EXPECT_EQ(zelview::drawMode(state), c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    All, ViewerKeySequences,
    testing::Values(KeyCase{"w", "outline smooth material untextured list",
                            ZEL_WIREFRAME | ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"ww", "filled smooth material untextured list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"s", "filled flat material untextured list",
                            ZEL_FLAT | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"c", "filled smooth color untextured list", ZEL_SMOOTH | ZEL_COLOR},
                    KeyCase{"cc", "filled smooth material untextured list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"t", "filled smooth material texture(planar) list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND | ZEL_TEXTURE},
                    KeyCase{"tp", "filled smooth material texture(sphere) list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND | ZEL_TEXTURE},
                    KeyCase{"tpp", "filled smooth material texture(planar) list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND | ZEL_TEXTURE},
                    KeyCase{"l", "filled smooth material untextured mesh",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"ll", "filled smooth material untextured immediate",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"lll", "filled smooth material untextured list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND},
                    KeyCase{"wsctl", "outline flat color texture(planar) mesh",
                            ZEL_WIREFRAME | ZEL_FLAT | ZEL_COLOR | ZEL_TEXTURE},
                    KeyCase{"+-r", "filled smooth material untextured list",
                            ZEL_SMOOTH | ZEL_MATERIAL | ZEL_BLEND}));

TEST(ViewerKeys, TextureCoordinatesGoRoundTheFilesOwnWhenItHasThem) {
    ViewState state = stateWith(false, true);
    std::string note;
    EXPECT_EQ(zelview::pressKey(&state, 'p', &note), zelview::kRedraw | zelview::kNewTexCoords);
    EXPECT_EQ(state.texSource, TexSource::Planar);
    zelview::pressKey(&state, 'p', &note);
    EXPECT_EQ(state.texSource, TexSource::Sphere);
    zelview::pressKey(&state, 'p', &note);
    EXPECT_EQ(state.texSource, TexSource::File);
    zelview::pressKey(&state, 't', &note);
    EXPECT_EQ(zelview::windowTitle(state, "a.obj"),
              "zelview: a.obj - filled smooth plain texture(file) list");
}

TEST(ViewerKeys, ColourKeyGoesRoundWhatTheModelOffers) {
    const struct {
        bool materials;
        bool vertexColors;
        std::vector<Colouring> order;  // the start, then after each 'c'
    } cases[] = {
        {true,
         true,
         {Colouring::VertexColor, Colouring::Color, Colouring::Material, Colouring::VertexColor}},
        {false, true, {Colouring::VertexColor, Colouring::Plain, Colouring::VertexColor}},
        {true, false, {Colouring::Material, Colouring::Color, Colouring::Material}},
    };
    for (const auto& c : cases) {
        ViewState state = stateWith(c.materials, false, c.vertexColors);
        EXPECT_EQ(state.colouring, c.order[0]);
        for (size_t i = 1; i < c.order.size(); i++) {
            std::string note;
            EXPECT_EQ(zelview::pressKey(&state, 'c', &note), zelview::kRedraw);
            EXPECT_EQ(note, "");
            EXPECT_EQ(state.colouring, c.order[i]) << c.materials << c.vertexColors << i;
        }
    }
}

TEST(ViewerKeys, ColorAndMaterialWithoutMaterialsOnlyExplain) {
    ViewState state = stateWith(false, false);
    std::string note;
    EXPECT_EQ(zelview::pressKey(&state, 'c', &note), zelview::kNothing);
    EXPECT_EQ(note,
              "zelview: the model has no materials: color and material need an MTL library\n");
    EXPECT_EQ(state.colouring, Colouring::Plain);
    EXPECT_EQ(zelview::drawMode(state), ZEL_SMOOTH);
}

TEST(ViewerKeys, QuitHelpAndOthers) {
    ViewState state = stateWith(true, false);
    std::string note;
    EXPECT_EQ(zelview::pressKey(&state, 'q', &note), zelview::kQuit);
    EXPECT_EQ(zelview::pressKey(&state, 27, &note), zelview::kQuit);
    EXPECT_EQ(zelview::pressKey(&state, 'h', &note), zelview::kPrintHelp);
    EXPECT_EQ(zelview::pressKey(&state, 'Z', &note), zelview::kNothing);
    EXPECT_EQ(zelview::pressKey(&state, 'W', &note), zelview::kNothing);
    EXPECT_EQ(zelview::windowTitle(state, "m.obj"),
              "zelview: m.obj - filled smooth material untextured list");
    EXPECT_EQ(note, "");
}

TEST(ViewerKeys, ZoomKeysStepByATenthAndStopAtTheLimits) {
    ViewState state;
    std::string note;
    zelview::pressKey(&state, '-', &note);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance * 1.1f);
    zelview::pressKey(&state, 'r', &note);
    zelview::pressKey(&state, '+', &note);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance / 1.1f);
    for (int i = 0; i < 100; i++) zelview::pressKey(&state, '+', &note);
    EXPECT_EQ(state.distance, ViewState::kMinDistance);
    for (int i = 0; i < 100; i++) zelview::pressKey(&state, '-', &note);
    EXPECT_EQ(state.distance, ViewState::kMaxDistance);
}

// ---- Mouse
// ---------------------------------------------------------------------------------------

TEST(ViewerMouse, LeftDragTurnsHalfADegreeAPixel) {
    ViewState state;
    EXPECT_EQ(zelview::mouseButton(&state, 0, true, 100, 100), zelview::kNothing);
    EXPECT_EQ(zelview::mouseMotion(&state, 120, 90), zelview::kRedraw);
    EXPECT_FLOAT_EQ(state.yaw, ViewState::kStartYaw + 10.0f);
    EXPECT_FLOAT_EQ(state.pitch, ViewState::kStartPitch - 5.0f);
    EXPECT_EQ(state.distance, ViewState::kStartDistance);
    // The pitch stops at straight above.
    zelview::mouseMotion(&state, 120, 1000);
    EXPECT_EQ(state.pitch, 90.0f);
    // Released: motion changes nothing.
    zelview::mouseButton(&state, 0, false, 120, 1000);
    EXPECT_EQ(zelview::mouseMotion(&state, 300, 300), zelview::kNothing);
    EXPECT_EQ(state.pitch, 90.0f);
}

TEST(ViewerMouse, RightDragDownZoomsOutAndUpZoomsIn) {
    ViewState state;
    zelview::mouseButton(&state, 2, true, 50, 50);
    EXPECT_EQ(zelview::mouseMotion(&state, 50, 100), zelview::kRedraw);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance * std::exp(0.5f));
    zelview::mouseMotion(&state, 80, 50);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance);
    EXPECT_EQ(state.yaw, ViewState::kStartYaw);
    // The left button pressed during a right drag does not take it over.
    zelview::mouseButton(&state, 0, true, 80, 50);
    zelview::mouseMotion(&state, 80, 60);
    EXPECT_EQ(state.yaw, ViewState::kStartYaw);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance * std::exp(0.1f));
}

TEST(ViewerMouse, WheelZoomsOnPressOnly) {
    ViewState state;
    EXPECT_EQ(zelview::mouseButton(&state, 3, true, 0, 0), zelview::kRedraw);
    EXPECT_EQ(zelview::mouseButton(&state, 3, false, 0, 0), zelview::kNothing);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance / 1.1f);
    zelview::mouseButton(&state, 4, true, 0, 0);
    zelview::mouseButton(&state, 4, true, 0, 0);
    EXPECT_FLOAT_EQ(state.distance, ViewState::kStartDistance * 1.1f);
    EXPECT_EQ(zelview::mouseButton(&state, 1, true, 0, 0), zelview::kNothing);
    EXPECT_EQ(zelview::mouseMotion(&state, 10, 10), zelview::kNothing);
}

// ---- Model preparation
// ---------------------------------------------------------------------------

TEST(ViewerModel, FitsAndComputesNormalsAndPlanarCoordinatesWhenTheFileHasNone) {
    ModelPtr model = readModel(kPyramid);
    zelview::ModelInfo info = zelview::prepareModel(model.get());
    EXPECT_FALSE(info.fileNormals);
    EXPECT_FALSE(info.fileTexCoords);
    EXPECT_FALSE(info.materials);
    float size[3];
    zelExtents(model.get(), size);
    EXPECT_FLOAT_EQ(size[1], 2.0f);  // the height, 3, is the largest size
    EXPECT_EQ(model->facetnormcount, model->trianglecount);
    ASSERT_NE(model->normals, nullptr);
    EXPECT_EQ(model->texcoordcount, model->vertexcount);
    for (uint32_t t = 0; t < model->trianglecount; t++) {
        for (int k = 0; k < 3; k++) {
            const uint32_t n = model->triangles[t].normalidx[k];
            ASSERT_GE(n, 1u);
            ASSERT_LE(n, model->normalcount);
            const float* v = &model->normals[3 * n];
            EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0f, 1e-5f);
            EXPECT_EQ(model->triangles[t].texcoordidx[k], model->triangles[t].vertexidx[k]);
        }
    }
}

TEST(ViewerModel, KeepsTheFilesNormalsWhenEveryCornerHasOne) {
    ModelPtr model = readModel("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0.6 0 0.8\nf 1//1 2//1 3//1\n");
    zelview::ModelInfo info = zelview::prepareModel(model.get());
    EXPECT_TRUE(info.fileNormals);
    EXPECT_EQ(model->normalcount, 1u);
    EXPECT_EQ(model->normals[3], 0.6f);
    EXPECT_EQ(model->normals[5], 0.8f);
}

TEST(ViewerModel, ComputesNormalsWhenSomeCornersHaveNone) {
    ModelPtr model =
        readModel("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvn 1 0 0\nf 1//1 2//1 3//1\nf 1 2 4\n");
    zelview::ModelInfo info = zelview::prepareModel(model.get());
    EXPECT_FALSE(info.fileNormals);
    for (uint32_t t = 0; t < model->trianglecount; t++) {
        for (uint32_t n : model->triangles[t].normalidx) EXPECT_NE(n, 0u);
    }
    // The first triangle lies in z = 0: its normal is now (0, 0, 1), not the file's (1, 0, 0).
    const float* n = &model->normals[3 * model->triangles[0].normalidx[2]];
    EXPECT_EQ(n[0], 0.0f);
}

TEST(ViewerModel, ComputedNormalsKeepTheFilesSmoothingGroupsApart) {
    // Two triangles folded by 60 degrees along their shared edge: one normal within one smoothing
    // group, none shared across two.
    for (uint32_t second : {1u, 2u}) {
        ModelPtr model = readModel("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -0.5 0.866\nf 1 2 3\nf 2 1 4\n");
        model->smoothinggroups = static_cast<uint32_t*>(std::malloc(2 * sizeof(uint32_t)));
        model->smoothinggroups[0] = 1;
        model->smoothinggroups[1] = second;
        zelview::prepareModel(model.get());
        EXPECT_EQ(model->triangles[0].normalidx[0] == model->triangles[1].normalidx[1], second == 1)
            << second;
    }
}

TEST(ViewerModel, TheFilesCoordinatesComeBackAfterGeneratedOnes) {
    ModelPtr model = readModel(
        "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0.25 0.5\nvt 0.75 0.5\nvt 0.5 1\n"
        "usemtl red\nf 1/3 2/2 3/1\nf 2/1 4/2 3/3\n",
        {{"m.mtl", "newmtl red\nKd 1 0 0\n"}});
    zelview::ModelInfo info = zelview::prepareModel(model.get());
    EXPECT_TRUE(info.fileTexCoords);
    EXPECT_TRUE(info.materials);
    EXPECT_EQ(model->texcoordcount, 3u);
    const std::vector<float> before(model->texcoords, model->texcoords + 8);

    zelview::applyTexSource(model.get(), info, TexSource::Sphere);
    EXPECT_EQ(model->texcoordcount, model->normalcount);
    EXPECT_EQ(model->triangles[1].texcoordidx[0], model->triangles[1].normalidx[0]);
    zelview::applyTexSource(model.get(), info, TexSource::Planar);
    EXPECT_EQ(model->texcoordcount, 4u);

    zelview::applyTexSource(model.get(), info, TexSource::File);
    EXPECT_EQ(model->texcoordcount, 3u);
    EXPECT_EQ(std::vector<float>(model->texcoords, model->texcoords + 8), before);
    const uint32_t expected[2][3] = {{3, 2, 1}, {1, 2, 3}};
    for (int t = 0; t < 2; t++) {
        for (int k = 0; k < 3; k++) EXPECT_EQ(model->triangles[t].texcoordidx[k], expected[t][k]);
    }
}

// Whatever the keys choose, the prepared model has the data for it: zelDraw never has to warn, and
// the mesh made for the mode holds what the mode draws.
TEST(ViewerModel, EveryReachableModeHasItsData) {
    const struct {
        const char* obj;
        std::map<std::string, std::string> mtl;
    } models[] = {
        {kPyramid, {}},
        {"mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nusemtl a\nf 1/1/1 2/1/1 "
         "3/1/1\n",
         {{"m.mtl", "newmtl a\n"}}},
        {"mtllib m.mtl\nv 0 0 0 1 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n",
         {{"m.mtl", "newmtl a\n"}}},
        {"v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0\nf 1 2 3\n", {}},
    };
    for (const auto& m : models) {
        ModelPtr model = readModel(m.obj, m.mtl);
        zelview::ModelInfo info = zelview::prepareModel(model.get());
        ViewState state = zelview::initialState(info);
        uint32_t reached = 0;
        // Every combination of the toggles, each colouring, coordinate source and draw path in
        // turn.
        for (int keys = 0; keys < 256; keys++) {
            std::string note;
            for (int bit = 0; bit < 8; bit++) {
                if (keys & (1 << bit)) {
                    const unsigned effect = zelview::pressKey(&state, "wscctpll"[bit], &note);
                    if (effect & zelview::kNewTexCoords) {
                        zelview::applyTexSource(model.get(), info, state.texSource);
                    }
                }
            }
            const uint32_t mode = zelview::drawMode(state);
            EXPECT_FALSE((mode & ZEL_FLAT) && (mode & ZEL_SMOOTH));
            EXPECT_LE(__builtin_popcount(mode & (ZEL_COLOR | ZEL_MATERIAL | ZEL_VERTEXCOLOR)), 1);
            EXPECT_TRUE(!(mode & ZEL_FLAT) || model->facetnorms);
            EXPECT_TRUE(!(mode & ZEL_SMOOTH) || model->normals);
            EXPECT_TRUE(!(mode & ZEL_TEXTURE) || model->texcoords);
            EXPECT_TRUE(!(mode & (ZEL_COLOR | ZEL_MATERIAL)) || model->materials);
            EXPECT_TRUE(!(mode & ZEL_VERTEXCOLOR) || model->colors);
            reached |= mode;
            if (state.path == zelview::DrawPath::Mesh) {
                testing::internal::CaptureStdout();
                ZelMesh* mesh = zelMakeMesh(model.get(), zelview::meshMode(mode));
                EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
                EXPECT_EQ(mesh->mode,
                          mode & (ZEL_FLAT | ZEL_SMOOTH | ZEL_TEXTURE | ZEL_VERTEXCOLOR));
                zelFreeMesh(mesh);
            }
        }
        // And the keys reach every colouring the model has the data for.
        EXPECT_EQ(reached & ZEL_VERTEXCOLOR, model->colors ? ZEL_VERTEXCOLOR : 0u);
        EXPECT_EQ(reached & (ZEL_COLOR | ZEL_MATERIAL | ZEL_BLEND),
                  model->materials ? ZEL_COLOR | ZEL_MATERIAL | ZEL_BLEND : 0u);
    }
}

// ---- Texture image
// -------------------------------------------------------------------------------

TEST(ViewerImage, CheckerboardAlternatesSquares) {
    zelview::Image image = zelview::checkerboard(8, 4);
    ASSERT_EQ(image.pixels.size(), 8u * 8u * 3u);
    auto pixel = [&](int x, int y) {
        return std::vector<unsigned char>(&image.pixels[(y * 8 + x) * 3],
                                          &image.pixels[(y * 8 + x) * 3 + 3]);
    };
    EXPECT_EQ(pixel(0, 0), pixel(1, 1));
    EXPECT_NE(pixel(0, 0), pixel(2, 0));
    EXPECT_NE(pixel(0, 0), pixel(0, 2));
    EXPECT_EQ(pixel(0, 0), pixel(2, 2));
    EXPECT_EQ(pixel(2, 0), pixel(0, 2));
}

TEST(ViewerImage, PpmRowsAreTurnedBottomFirstAndWidenedToPowersOfTwo) {
    // 3 x 2 pixels, numbered 1..6 in the red sample, top row first.
    const unsigned char ppm[] = {1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0, 5, 0, 0, 6, 0, 0};
    zelview::Image image = zelview::textureImage(ppm, 3, 2);
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.height, 2);
    std::vector<int> reds;
    for (size_t i = 0; i < image.pixels.size(); i += 3) reds.push_back(image.pixels[i]);
    EXPECT_EQ(reds, (std::vector<int>{4, 4, 5, 6, 1, 1, 2, 3}));
}

TEST(ViewerImage, SizesStopAt1024) {
    std::vector<unsigned char> ppm(2000 * 3);
    for (int x = 0; x < 2000; x++) ppm[x * 3 + 1] = static_cast<unsigned char>(x / 8);
    zelview::Image image = zelview::textureImage(ppm.data(), 2000, 1);
    EXPECT_EQ(image.width, 1024);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels[1023 * 3 + 1], ppm[(1023 * 2000 / 1024) * 3 + 1]);
}

// The image files the tests write: 3 x 2 pixels, top row first, RGBA.
const unsigned char kSource[2][3][4] = {
    {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 0}},
    {{10, 20, 30, 128}, {40, 50, 60, 255}, {70, 80, 90, 255}},
};

// kSource's RGB as a JPEG (ImageMagick, quality 100, no chroma subsampling). stb_image_write's JPEG
// encoder shifts negative numbers, which UndefinedBehaviorSanitizer stops on, so it is not used.
const unsigned char kSourceJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x02, 0x00, 0x03, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xff, 0xc4, 0x00, 0x19, 0x10, 0x00, 0x03, 0x01, 0x01,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x04, 0x05, 0x06,
    0x02, 0x07, 0xff, 0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x08, 0xff, 0xc4, 0x00, 0x1a, 0x11, 0x01, 0x00,
    0x03, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x03,
    0x04, 0x06, 0x07, 0x02, 0x01, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11,
    0x00, 0x3f, 0x00, 0x01, 0x3c, 0xc6, 0x44, 0x9d, 0xcf, 0x9e, 0x62, 0xf4, 0xfb, 0x59, 0x73, 0xb6,
    0x1a, 0x47, 0xf3, 0x72, 0x97, 0x7b, 0x43, 0xa9, 0x49, 0x6d, 0x05, 0xc7, 0x01, 0x25, 0x41, 0xc7,
    0x94, 0x06, 0xeb, 0x56, 0x13, 0x6f, 0xb0, 0x19, 0x92, 0x10, 0x42, 0x54, 0xf1, 0x99, 0x8e, 0xf8,
    0x4e, 0x72, 0x4a, 0x22, 0xb7, 0x23, 0x59, 0x60, 0x8b, 0x8a, 0x03, 0x05, 0xd9, 0x3a, 0xff, 0x00,
    0x2b, 0xca, 0x9b, 0x85, 0xe6, 0x1d, 0x57, 0xa4, 0x73, 0x8c, 0x40, 0xd2, 0xa9, 0x39, 0x18, 0xec,
    0x16, 0xe7, 0x4f, 0x8f, 0xca, 0x95, 0x3b, 0x8b, 0xdf, 0xd0, 0x35, 0x31, 0xb9, 0xec, 0xf2, 0x87,
    0x11, 0x46, 0x55, 0xde, 0x55, 0x36, 0xd4, 0x92, 0xad, 0x38, 0xbd, 0xa0, 0xba, 0x57, 0xd2, 0xb7,
    0xf6, 0x6b, 0x97, 0x2c, 0x4d, 0x20, 0x8b, 0xb5, 0x6a, 0xa4, 0x93, 0x2d, 0x23, 0x5a, 0x0b, 0xec,
    0x68, 0x9d, 0x7b, 0x53, 0xa0, 0x5a, 0xec, 0x31, 0xda, 0x49, 0xdd, 0x36, 0xa5, 0x8b, 0xda, 0x1d,
    0x3e, 0x89, 0x9b, 0xd3, 0xf9, 0x92, 0xd2, 0x6e, 0xe8, 0xf4, 0x09, 0xa4, 0xe3, 0xcb, 0xdd, 0x96,
    0x74, 0x17, 0x61, 0x0b, 0xc9, 0xa1, 0x62, 0xc5, 0xdb, 0x73, 0xcf, 0x27, 0xff, 0xd9,
};

// Writes kSource as `name` in `dir` with `channels` samples a pixel (1 grey, 2 grey and alpha, 3
// RGB, 4 RGBA; grey is the red sample), in the format its extension names (a JPEG is always
// kSourceJpeg).
std::string writeImage(const zeltest::TempDir& dir, const std::string& name, int channels) {
    std::vector<unsigned char> data;
    for (const auto& row : kSource) {
        for (const auto& pixel : row) {
            if (channels <= 2) data.push_back(pixel[0]);
            if (channels == 2) data.push_back(pixel[3]);
            if (channels >= 3) data.insert(data.end(), pixel, pixel + channels);
        }
    }
    const std::string path = dir.file(name);
    const std::string type = name.substr(name.rfind('.') + 1);
    if (type == "jpg") {
        return dir.write(
            name, std::string(reinterpret_cast<const char*>(kSourceJpeg), sizeof kSourceJpeg));
    }
    const int ok = type == "png"   ? stbi_write_png(path.c_str(), 3, 2, channels, data.data(), 0)
                   : type == "tga" ? stbi_write_tga(path.c_str(), 3, 2, channels, data.data())
                                   : stbi_write_bmp(path.c_str(), 3, 2, channels, data.data());
    EXPECT_NE(ok, 0) << path;
    return path;
}

struct FormatCase {
    const char* name;
    int fileChannels;  // written
    int channels;      // read: 4 only when the file has alpha
    int tolerance;     // JPEG is lossy
};

class ViewerImageFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(ViewerImageFormats, DecodeToPowerOfTwoBottomRowFirst) {
    const FormatCase& c = GetParam();
    zeltest::TempDir dir;
    const std::string path = writeImage(dir, c.name, c.fileChannels);
    zelview::Image image;
    std::string reason;
    ASSERT_TRUE(zelview::readImage(path, &image, &reason)) << reason;
    EXPECT_EQ(reason, "");
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.height, 2);
    ASSERT_EQ(image.channels, c.channels);
    ASSERT_EQ(image.pixels.size(), size_t(4 * 2 * c.channels));
    // Texel (x, y) from the bottom comes from the source's row 1 - y, column 0, 0, 1, 2.
    const int column[4] = {0, 0, 1, 2};
    for (int y = 0; y < 2; y++) {
        for (int x = 0; x < 4; x++) {
            const unsigned char* source = kSource[1 - y][column[x]];
            const unsigned char* texel = &image.pixels[size_t((y * 4 + x) * c.channels)];
            for (int k = 0; k < c.channels; k++) {
                const int expected = k == 3                ? source[3]
                                     : c.fileChannels <= 2 ? source[0]
                                                           : source[k];
                EXPECT_NEAR(texel[k], expected, c.tolerance) << x << "," << y << " sample " << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, ViewerImageFormats,
    testing::Values(FormatCase{"rgb.png", 3, 3, 0}, FormatCase{"rgba.png", 4, 4, 0},
                    FormatCase{"grey.png", 1, 3, 0}, FormatCase{"greyalpha.png", 2, 4, 0},
                    FormatCase{"rgb.tga", 3, 3, 0}, FormatCase{"rgba.tga", 4, 4, 0},
                    FormatCase{"rgb.bmp", 3, 3, 0}, FormatCase{"rgb.jpg", 3, 3, 4}));

TEST(ViewerImage, BinaryPpmGoesThroughTheLibrarysReader) {
    zeltest::TempDir dir;
    // A PPM under a name that says PNG: the contents decide.
    const std::string path = dir.write("ppm.png", std::string("P6\n# two\n2 1\n255\n") +
                                                      std::string("\x01\x02\x03\x04\x05\x06", 6));
    zelview::Image image;
    std::string reason;
    ASSERT_TRUE(zelview::readImage(path, &image, &reason)) << reason;
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (std::vector<unsigned char>{1, 2, 3, 4, 5, 6}));
}

TEST(ViewerImage, UnreadableFilesSayWhyAndPrintNothing) {
    zeltest::TempDir dir;
    dir.write("text.png", "not an image\n");
    dir.write("short.ppm", "P6\n4\n");
    dir.write("empty.jpg", "");
    const std::string png = zeltest::TempDir::read(writeImage(dir, "whole.png", 3));
    dir.write("cut.png", png.substr(0, png.size() / 2));
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir.file("missing.png"), "No such file or directory"},
        {dir.path(), "Is a directory"},
        {dir.file("text.png"), "Image not of any known type, or corrupt"},
        {dir.file("empty.jpg"), "Image not of any known type, or corrupt"},
        {dir.file("cut.png"), "PNG not supported: unknown PNG chunk type"},
        {dir.file("short.ppm"), "PPM header ends before width, height and maximum value"},
    };
    for (const auto& c : cases) {
        zelview::Image image;
        std::string reason;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_FALSE(zelview::readImage(c.path, &image, &reason)) << c.path;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.path;
        EXPECT_EQ(reason, c.reason) << c.path;
    }
    EXPECT_EQ(zelview::textureWarning("maps/a b.png", "No such file or directory"),
              "zelview: can't read texture \"maps/a b.png\": No such file or directory\n");
}

// ---- Which material takes which texture
// ----------------------------------------------------------

TEST(ViewerTextures, EachMaterialTakesItsDiffuseMapReadOnce) {
    zeltest::TempDir dir;
    writeImage(dir, "wood.png", 3);
    writeImage(dir, "leaf.png", 4);
    const std::string obj = dir.file("model.obj");
    ModelPtr model(
        zeltest::modelFromObj("mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl wood\nf 1 2 3\n",
                              {{dir.file("m.mtl"),
                                "newmtl wood\nmap_Kd wood.png\n"
                                "newmtl plain\nKd 1 0 0\n"
                                "newmtl lost\nmap_Kd lost.png\n"
                                "newmtl oak\nmap_Ka leaf.png\nmap_Kd wood.png\n"
                                "newmtl lost2\nmap_Kd lost.png\n"
                                "newmtl leaf\nmap_Kd -clamp on leaf.png\n"
                                "newmtl edge\nmap_Kd -clamp on wood.png\n"}},
                              obj.c_str()));
    ASSERT_TRUE(model);
    ASSERT_EQ(model->materialcount, 8u);
    testing::internal::CaptureStderr();
    const zelview::TextureSet set = zelview::chooseTextures(*model);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // default, wood, plain, lost, oak, lost2, leaf, edge
    EXPECT_EQ(set.textureOf, (std::vector<int>{-1, 0, -1, -1, 0, -1, 1, 2}));
    EXPECT_EQ(set.mapsRead, 3);
    EXPECT_EQ(set.warnings, "zelview: can't read texture \"" + dir.file("lost.png") +
                                "\": No such file or directory\n");
    ASSERT_EQ(set.textures.size(), 3u);
    EXPECT_FALSE(set.textures[0].clamp);
    EXPECT_EQ(set.textures[0].image.channels, 3);
    EXPECT_TRUE(set.textures[1].clamp);
    EXPECT_EQ(set.textures[1].image.channels, 4);
    EXPECT_TRUE(set.textures[2].clamp);
    EXPECT_EQ(set.textures[2].image.pixels, set.textures[0].image.pixels);
}

TEST(ViewerTextures, TheCheckerboardWithoutMapsAndTheGivenImageForEveryMaterial) {
    const zelview::Image board = zelview::checkerboard();
    ModelPtr plain = readModel(kPyramid);
    zelview::TextureSet set = zelview::chooseTextures(*plain);
    EXPECT_EQ(set.textureOf, (std::vector<int>{0}));
    ASSERT_EQ(set.textures.size(), 1u);
    EXPECT_EQ(set.textures[0].image.pixels, board.pixels);
    EXPECT_EQ(set.mapsRead, 0);

    ModelPtr coloured = readModel("mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n",
                                  {{"m.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\n"}});
    set = zelview::chooseTextures(*coloured);
    EXPECT_EQ(set.textureOf, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(set.textures[0].image.pixels, board.pixels);

    // An image given on the command line takes the place of the maps, which are not read.
    ModelPtr mapped = readModel("mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n",
                                {{"m.mtl", "newmtl a\nmap_Kd nowhere.png\n"}});
    const unsigned char red[3] = {255, 0, 0};
    const zelview::Image given = zelview::textureImage(red, 1, 1);
    set = zelview::chooseTextures(*mapped, &given);
    EXPECT_EQ(set.textureOf, (std::vector<int>{0, 0}));
    ASSERT_EQ(set.textures.size(), 1u);
    EXPECT_EQ(set.textures[0].image.pixels, given.pixels);
    EXPECT_EQ(set.warnings, "");
    EXPECT_EQ(set.mapsRead, 0);
}

}  // namespace
