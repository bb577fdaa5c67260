// One frame, call for call: camera, the eleven objects with their transforms and colours, the model
// cache and where each animation step runs.
#include <algorithm>

#include "scene_fixture.h"

namespace {

using glrec::call;
using scenetest::Calls;
using scenetest::outline;

const int kF16 = 1, kHang = 2, kAbort = 3, kRader1 = 4, kPung = 5;

Calls concat(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::string kBlue = call("glColor3f", 0.0f, 0.0f, 1.0f);
const std::string kGreen = call("glColor3f", 0.0f, 1.0f, 0.0f);
const std::string kYellow = call("glColor3f", 1.0f, 1.0f, 0.0f);
const std::string kRed = call("glColor3f", 1.0f, 0.0f, 0.0f);

Calls jet(float x, float y, float z) {
    return concat({{"glPushMatrix()", call("glTranslatef", x, y, z), kBlue},
                   outline(kF16),
                   {"glPopMatrix()"}});
}

Calls hang() {
    return concat(
        {{"glPushMatrix()", call("glRotatef", -90.0f, 1.0f, 0.0f, 0.0f),
          call("glTranslatef", 0.0f, -2.0f, 0.0f), call("glScalef", 20.5f, 20.5f, 18.5f), kGreen},
         outline(kHang),
         {"glPopMatrix()"}});
}

Calls ship(float x, float y, float rader1Angle, float pungAngle) {
    return concat(
        {{"glPushMatrix()", call("glRotatef", -90.0f, 1.0f, 0.0f, 0.0f),
          call("glScalef", 4.0f, 3.5f, 4.0f), call("glTranslatef", x, y, 0.0f), kYellow},
         outline(kAbort),
         {"glPushMatrix()", kRed, call("glTranslatef", 0.0f, 0.35f, 0.2f),
          call("glScalef", 0.1f, 0.1f, 0.1f), call("glRotatef", rader1Angle, 0.0f, 0.0f, 1.0f)},
         outline(kRader1),
         {"glPopMatrix()", "glPushMatrix()", kRed, call("glTranslatef", 0.0f, -0.76f, -0.05f),
          call("glRotatef", pungAngle, 0.0f, 0.0f, 1.0f)},
         outline(kPung),
         {"glPopMatrix()", "glPopMatrix()"}});
}

// What a frame sends, given the values each object shows.
struct FrameView {
    Calls camera;
    float jet1Y, jet1Z, wingZ;
    float shipAX, shipAY, shipBX, shipBY;
    float rader1Angle, pungAngle;
};

Calls frame(const FrameView& v) {
    return concat({v.camera,
                   {"glPushMatrix()"},
                   jet(0, v.jet1Y, v.jet1Z),
                   jet(0, 10, -18),
                   jet(-2, 10, v.wingZ),
                   jet(-4, 10, -19),
                   jet(2, 10, v.wingZ),
                   jet(4, 10, -19),
                   {"glPopMatrix()", "glPushMatrix()"},
                   hang(),
                   {"glPopMatrix()", "glPushMatrix()"},
                   ship(v.shipAX, v.shipAY, v.rader1Angle, v.pungAngle),
                   ship(v.shipBX, v.shipBY, v.rader1Angle, v.pungAngle),
                   {"glPopMatrix()", "glutPostRedisplay()", "glFlush()", "glutSwapBuffers()"}});
}

Calls camera(double eyeX, double eyeZ, double centreX, double centreZ, float pitch, float yaw,
             float scale) {
    return {"glClear(GL_COLOR_BUFFER_BIT|GL_DEPTH_BUFFER_BIT)",
            "glMatrixMode(GL_MODELVIEW)",
            "glLoadIdentity()",
            call("gluLookAt", eyeX, 0.0, eyeZ, centreX, 0.0, centreZ, 0.0, 1.0, 0.0),
            call("glRotatef", pitch, 1.0f, 0.0f, 0.0f),
            call("glRotatef", yaw, 0.0f, 1.0f, 0.0f),
            call("glRotatef", 10.0f, 1.0f, 1.0f, 0.0f),
            call("glScalef", scale, scale, scale)};
}

class Frame : public scenetest::SceneTest {};

TEST_F(Frame, FirstFrameShowsTheStartValuesAndThePartsAlreadyTurned) {
    onReshape(1200, 1000);
    const Calls calls = record(onDisplay);
    const FrameView view{
        camera(1.5, 5, 1.5, 4, 20, 55, 0.06f), 1.55f, 6, -17, 3, 5.5f, -3, 5.5f, 5, 5};
    EXPECT_EQ(calls, frame(view));
}

TEST_F(Frame, SecondFrameShowsTheFirstFramesSteps) {
    onReshape(1200, 1000);
    onDisplay();
    const Calls calls = record(onDisplay);
    const FrameView view{
        camera(1.5, 5, 1.5, 4, 20, 55, 0.06f), 1.55f, 6, -16.7000008f, 3, 5.5f, -3, 5.5f, 10, 10};
    EXPECT_EQ(calls, frame(view));
}

TEST_F(Frame, SequenceStartedByKeysShowsFromTheNextFrame) {
    onReshape(1200, 1000);
    onKeyboard('a', 0, 0);
    onKeyboard('w', 0, 0);
    const Calls first = record(onDisplay);
    const Calls second = record(onDisplay);
    // Jet 1 and the ships are drawn before their steps: the first frame still shows them at rest.
    EXPECT_EQ(first, frame({camera(1.5, 5, 1.5, 4, 20, 55, 0.06f), 1.55f, 6, -17, 3, 5.5f, -3, 5.5f,
                            5, 5}));
    EXPECT_EQ(second, frame({camera(1.5, 5, 1.5, 4, 20, 55, 0.06f), 1.55f, 6.5f, -16.7000008f, 3,
                             5.4000001f, -3, 5.4000001f, 10, 10}));
}

TEST_F(Frame, LaterFrameTakesEveryValueFromTheState) {
    onReshape(1200, 1000);
    onDisplay();  // loads the models
    SceneState& s = sceneState;
    s.eyeX = 2.25f;
    s.eyeZ = 4.5f;
    s.centreX = 2.5f;
    s.centreZ = 3.5f;
    s.viewPitch = 31.5f;
    s.viewYaw = -12.25f;
    s.sceneScale = 0.5f;
    s.jetRise = -0.0900123f;  // + 1.55 in double gives another float than + 1.55f would
    s.jetAdvance = -59.7f;
    s.wingAdvance = 90.3f;
    s.shipShift = 6.0199952f;
    s.shipATravel = 2.4499807f;
    s.shipBTravel = 0.9601728f;
    s.rader1Angle = 360;
    s.pungAngle = 90;
    s.pungDirection = SWING_DECREASING;

    const Calls calls = record(onDisplay);
    const float jet1Y = 1.45998776f;
    ASSERT_NE(jet1Y, -0.0900123f + 1.55f);
    const FrameView view{camera(2.25, 4.5, 2.5, 3.5, 31.5f, -12.25f, 0.5f),
                         jet1Y,
                         -53.7f,
                         73.3f,
                         -3.01999521f,
                         3.05001926f,
                         3.01999521f,
                         4.53982735f,
                         365,
                         85};
    EXPECT_EQ(calls, frame(view));
}

TEST_F(Frame, EveryStepRunsOncePerFrameWithoutInput) {
    onReshape(1200, 1000);
    for (int i = 0; i < 19; i++) onDisplay();
    EXPECT_EQ(sceneState.rader1Angle, 95.0f);
    EXPECT_EQ(sceneState.pungAngle, 95.0f);
    EXPECT_EQ(sceneState.pungDirection, SWING_DECREASING);
    // 19 steps of 0.3, each rounded to single precision once: not 5.7f.
    EXPECT_EQ(sceneState.wingAdvance, 5.70000076f);
    // Jet 1 and the ships stay at rest until their keys.
    EXPECT_EQ(sceneState.jetSequence, JET_IDLE);
    EXPECT_EQ(sceneState.jetRise, 0.0f);
    EXPECT_EQ(sceneState.jetAdvance, 0.0f);
    EXPECT_EQ(sceneState.shipSequence, SHIPS_IDLE);
    EXPECT_EQ(sceneState.shipATravel, 0.0f);
    EXPECT_EQ(sceneState.shipBTravel, 0.0f);
    EXPECT_EQ(sceneState.shipShift, 0.0f);
}

TEST_F(Frame, JetSequenceStepsRightAfterJetOneIsDrawn) {
    onReshape(1200, 1000);
    onKeyboard('a', 0, 0);
    for (int i = 0; i < 23; i++) onDisplay();
    // The 24th frame draws jet 1 at 11.5 and then takes it to 12.5 with a rise of 0.5.
    const Calls calls = record(onDisplay);
    EXPECT_EQ(calls[9], "glPushMatrix()");
    EXPECT_EQ(calls[10], call("glTranslatef", 0.0f, 1.55f, 17.5f));
    EXPECT_EQ(sceneState.jetAdvance, 12.5f);
    EXPECT_EQ(sceneState.jetRise, 0.5f);
}

// ---- Model cache --------------------------------------------------------------------------------

TEST_F(Frame, ModelsAreReadOnceAndSharedByEveryInstance) {
    onReshape(1200, 1000);
    onDisplay();
    ZelModel* f16 = sceneState.f16Model;
    ASSERT_NE(f16, nullptr);
    ASSERT_NE(sceneState.hangModel, nullptr);
    ASSERT_NE(sceneState.abortModel, nullptr);
    ASSERT_NE(sceneState.rader1Model, nullptr);
    ASSERT_NE(sceneState.pungModel, nullptr);

    // Changing or removing the files has no effect any more.
    for (const scenetest::ModelFile& file : scenetest::modelFiles()) removeFile(file.path);
    writeFile("data/f-16.obj", scenetest::modelText(7));
    const Calls calls = record(onDisplay);
    EXPECT_EQ(sceneState.f16Model, f16);
    size_t loops = 0;
    for (const std::string& c : calls) loops += c == "glBegin(GL_LINE_LOOP)";
    EXPECT_EQ(loops, 6u + 1u + 2u + 2u + 2u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), outline(kF16)[1]), 6);
}

TEST_F(Frame, SlotOperationDrawsUnderTheCallersColourAndMatrix) {
    const Calls first = record(drawRader1Model);
    EXPECT_EQ(first, outline(kRader1));
    EXPECT_EQ(record(drawRader1Model), outline(kRader1));
    EXPECT_EQ(record(drawF16Model), outline(kF16));
    EXPECT_EQ(record(drawHangModel), outline(kHang));
    EXPECT_EQ(record(drawAbortModel), outline(kAbort));
    EXPECT_EQ(record(drawPungModel), outline(kPung));
}

TEST_F(Frame, SlotOperationDrawsAModelPutIntoItsSlot) {
    // A slot that is already filled is not read again (the files are gone) nor fitted again.
    for (const scenetest::ModelFile& file : scenetest::modelFiles()) removeFile(file.path);
    writeFile("data/other.obj", scenetest::modelText(6));
    sceneState.pungModel = zelReadOBJ("data/other.obj");
    EXPECT_EQ(record(drawPungModel),
              (Calls{"glBegin(GL_LINE_LOOP)", call("glVertex3fv", glrec::fv({-4, -2, 3})),
                     call("glVertex3fv", glrec::fv({4, -2, -3})),
                     call("glVertex3fv", glrec::fv({0, 6, 0})), "glEnd()"}));
}

// A missing file ends the process in the first frame with the reader's line; the files are read
// in the order f-16, hang, abort, rader1, pung, so the first missing one is the one reported.
class FrameDeathTest : public scenetest::SceneTest {};

TEST_F(FrameDeathTest, MissingModelFileEndsTheFirstFrameWithExitStatusOne) {
    const auto& files = scenetest::modelFiles();
    for (size_t missing = 0; missing < files.size(); missing++) {
        for (size_t i = 0; i < files.size(); i++)
            if (i >= missing) removeFile(files[i].path);
        const std::string line = std::string("zelReadOBJ\\(\\) failed: can't open data file \"") +
                                 files[missing].path + "\"\\.";
        EXPECT_EXIT(
            {
                onReshape(1200, 1000);
                onDisplay();
            },
            ::testing::ExitedWithCode(1), line)
            << files[missing].path;
        for (const scenetest::ModelFile& file : files)
            writeFile(file.path, scenetest::modelText(file.tag));
    }
}

}  // namespace
