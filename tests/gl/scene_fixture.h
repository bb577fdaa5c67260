// Shared set-up for the scene tests: a fresh SceneState, an empty GL record, and a temporary
// working directory with five small model files under data/, so the scene reads them as it reads
// the real ones (paths relative to the working directory).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "scene_state.h"

namespace scenetest {

using Calls = std::vector<std::string>;

// The five model files, in the order the first frame reads them.
struct ModelFile {
    const char* path;
    int tag;  // gives each file a different shape
};
inline const std::vector<ModelFile>& modelFiles() {
    static const std::vector<ModelFile> files = {{"data/f-16.obj", 1},
                                                 {"data/hang.obj", 2},
                                                 {"data/abort.obj", 3},
                                                 {"data/rader1.obj", 4},
                                                 {"data/pung.obj", 5}};
    return files;
}

// One triangle that the unit fit has to move (y centre 2) and scale (largest size 8, factor 0.25).
// After the fit its corners are (-1, -1, c), (1, -1, -c) and (0, 1, 0) with c = tag / 8.
inline std::string modelText(int tag) {
    const std::string z = std::to_string(tag * 0.5);
    return "# test model " + std::to_string(tag) + "\nv -4 -2 " + z + "\nv 4 -2 -" + z +
           "\nv 0 6 0\nf 1 2 3\n";
}

// The calls that drawing the fitted model of `tag` as outlines sends.
inline Calls outline(int tag) {
    const float c = tag / 8.0f;
    return {"glBegin(GL_LINE_LOOP)", glrec::call("glVertex3fv", glrec::fv({-1, -1, c})),
            glrec::call("glVertex3fv", glrec::fv({1, -1, -c})),
            glrec::call("glVertex3fv", glrec::fv({0, 1, 0})), "glEnd()"};
}

// Frees the models a test loaded and puts every field back to its start value.
inline void resetScene() {
    for (ZelModel* model : {sceneState.f16Model, sceneState.hangModel, sceneState.abortModel,
                            sceneState.rader1Model, sceneState.pungModel})
        if (model) zelFreeModel(model);
    sceneState = SceneState{};
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetScene();
        glrec::clear();
        previous_ = std::filesystem::current_path();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "scene_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::create_directory(dir_ / "data");
        for (const ModelFile& file : modelFiles()) writeFile(file.path, modelText(file.tag));
        std::filesystem::current_path(dir_);
    }

    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
        resetScene();
        glrec::clear();
    }

    void writeFile(const std::string& relative, const std::string& text) {
        std::ofstream(dir_ / relative) << text;
    }
    void removeFile(const std::string& relative) { std::filesystem::remove(dir_ / relative); }

    // Runs one callback and returns the GL calls it made.
    template <class F>
    Calls record(F&& callback) {
        glrec::clear();
        callback();
        return glrec::calls();
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

}  // namespace scenetest
