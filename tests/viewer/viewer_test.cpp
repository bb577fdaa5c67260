// zelview's decisions without a display: the command line, keys, mouse, the drawing mode and title,
// the model preparation and the texture image.
#include "viewer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_models.h"

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
        ArgsCase{{"-h"}, zelview::ArgsOutcome::Help, "", "", ""}));

// ---- Keys, mode and title
// ------------------------------------------------------------------------

ViewState stateWith(bool materials, bool fileTexCoords) {
    zelview::ModelInfo info;
    info.materials = materials;
    info.fileTexCoords = fileTexCoords;
    return zelview::initialState(info);
}

TEST(ViewerStart, MaterialsWhenTheModelHasThemAndTheFilesCoordinates) {
    EXPECT_EQ(zelview::windowTitle(stateWith(true, true), "dir/ship.obj"),
              "zelview: ship.obj - filled smooth material untextured list");
    EXPECT_EQ(zelview::windowTitle(stateWith(false, false), "ship.obj"),
              "zelview: ship.obj - filled smooth plain untextured list");
    EXPECT_EQ(stateWith(true, true).texSource, TexSource::File);
    EXPECT_EQ(stateWith(true, false).texSource, TexSource::Planar);
    EXPECT_EQ(zelview::drawMode(stateWith(true, false)), ZEL_SMOOTH | ZEL_MATERIAL);
    EXPECT_EQ(zelview::drawMode(stateWith(false, false)), ZEL_SMOOTH);
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
    testing::Values(
        KeyCase{"w", "outline smooth material untextured list",
                ZEL_WIREFRAME | ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"ww", "filled smooth material untextured list", ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"s", "filled flat material untextured list", ZEL_FLAT | ZEL_MATERIAL},
        KeyCase{"c", "filled smooth color untextured list", ZEL_SMOOTH | ZEL_COLOR},
        KeyCase{"cc", "filled smooth material untextured list", ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"t", "filled smooth material texture(planar) list",
                ZEL_SMOOTH | ZEL_MATERIAL | ZEL_TEXTURE},
        KeyCase{"tp", "filled smooth material texture(sphere) list",
                ZEL_SMOOTH | ZEL_MATERIAL | ZEL_TEXTURE},
        KeyCase{"tpp", "filled smooth material texture(planar) list",
                ZEL_SMOOTH | ZEL_MATERIAL | ZEL_TEXTURE},
        KeyCase{"l", "filled smooth material untextured mesh", ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"ll", "filled smooth material untextured immediate", ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"lll", "filled smooth material untextured list", ZEL_SMOOTH | ZEL_MATERIAL},
        KeyCase{"wsctl", "outline flat color texture(planar) mesh",
                ZEL_WIREFRAME | ZEL_FLAT | ZEL_COLOR | ZEL_TEXTURE},
        KeyCase{"+-r", "filled smooth material untextured list", ZEL_SMOOTH | ZEL_MATERIAL}));

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
    };
    for (const auto& m : models) {
        ModelPtr model = readModel(m.obj, m.mtl);
        zelview::ModelInfo info = zelview::prepareModel(model.get());
        ViewState state = zelview::initialState(info);
        // Every combination of the toggles, each coordinate source and each draw path in turn.
        for (int keys = 0; keys < 128; keys++) {
            std::string note;
            for (int bit = 0; bit < 7; bit++) {
                if (keys & (1 << bit)) {
                    const unsigned effect = zelview::pressKey(&state, "wsctpll"[bit], &note);
                    if (effect & zelview::kNewTexCoords) {
                        zelview::applyTexSource(model.get(), info, state.texSource);
                    }
                }
            }
            const uint32_t mode = zelview::drawMode(state);
            EXPECT_FALSE((mode & ZEL_FLAT) && (mode & ZEL_SMOOTH));
            EXPECT_FALSE((mode & ZEL_COLOR) && (mode & ZEL_MATERIAL));
            EXPECT_TRUE(!(mode & ZEL_FLAT) || model->facetnorms);
            EXPECT_TRUE(!(mode & ZEL_SMOOTH) || model->normals);
            EXPECT_TRUE(!(mode & ZEL_TEXTURE) || model->texcoords);
            EXPECT_TRUE(!(mode & (ZEL_COLOR | ZEL_MATERIAL)) || model->materials);
            if (state.path == zelview::DrawPath::Mesh) {
                testing::internal::CaptureStdout();
                ZelMesh* mesh = zelMakeMesh(model.get(), zelview::meshMode(mode));
                EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
                EXPECT_EQ(mesh->mode, mode & (ZEL_FLAT | ZEL_SMOOTH | ZEL_TEXTURE));
                zelFreeMesh(mesh);
            }
        }
    }
}

// ---- Texture image
// -------------------------------------------------------------------------------

TEST(ViewerImage, CheckerboardAlternatesSquares) {
    zelview::Image image = zelview::checkerboard(8, 4);
    ASSERT_EQ(image.rgb.size(), 8u * 8u * 3u);
    auto pixel = [&](int x, int y) {
        return std::vector<unsigned char>(&image.rgb[(y * 8 + x) * 3],
                                          &image.rgb[(y * 8 + x) * 3 + 3]);
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
    for (size_t i = 0; i < image.rgb.size(); i += 3) reds.push_back(image.rgb[i]);
    EXPECT_EQ(reds, (std::vector<int>{4, 4, 5, 6, 1, 1, 2, 3}));
}

TEST(ViewerImage, SizesStopAt1024) {
    std::vector<unsigned char> ppm(2000 * 3);
    for (int x = 0; x < 2000; x++) ppm[x * 3 + 1] = static_cast<unsigned char>(x / 8);
    zelview::Image image = zelview::textureImage(ppm.data(), 2000, 1);
    EXPECT_EQ(image.width, 1024);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.rgb[1023 * 3 + 1], ppm[(1023 * 2000 / 1024) * 3 + 1]);
}

}  // namespace
