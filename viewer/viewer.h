// zelview's state and decisions, apart from OpenGL and GLUT: the command line, what each key and
// mouse movement changes, the drawing mode and window title that follow from the state, the model
// preparation and the texture image. main.cpp and render.cpp put this on the screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zel.h"

namespace zelview {

// ---- Command line ------------------------------------------------------------------------------

struct Options {
    std::string modelPath;    // the OBJ file
    std::string texturePath;  // a PPM image, or empty for the generated checkerboard
};

enum class ArgsOutcome { Run, Help, UsageError };

// Reads `zelview FILE.obj [TEXTURE.ppm]` (or -h / --help). On a usage error, *error says what is
// wrong.
ArgsOutcome parseArgs(int argc, const char* const* argv, Options* options, std::string* error);

extern const char kUsage[];  // the usage text with the keys, for --help and usage errors
extern const char kHelp[];   // the one-line key summary printed at start and by 'h'

// ---- Model preparation -------------------------------------------------------------------------

// Where texture coordinates come from: the file's own, or generated from the vertices' x and z
// (planar) or from the vertex normals (sphere).
enum class TexSource { File, Planar, Sphere };

// What the file brought, kept so that its texture coordinates can be put back after generated ones
// replaced them.
struct ModelInfo {
    bool fileNormals = false;    // the file's normals are used (every corner has one)
    bool fileTexCoords = false;  // the file had texture coordinates
    bool materials = false;      // a material library was read
    uint32_t savedTexCoordCount = 0;
    std::vector<float> savedTexCoords;       // 2 * (count + 1) floats, slot 0 included
    std::vector<uint32_t> savedTexCoordIdx;  // 3 per triangle
};

// Fits the model into the cube from -1 to 1, computes facet normals, and vertex normals (corners
// within 90 degrees averaged) unless the file gave every corner a normal; keeps the file's texture
// coordinates, or generates planar ones when it had none. Afterwards every ZEL_* flag can be drawn
// without a warning (materials only when the file named a library).
ModelInfo prepareModel(ZelModel* model);

// Replaces the model's texture coordinates by those of `source` (File only when the file had them).
void applyTexSource(ZelModel* model, const ModelInfo& info, TexSource source);

// ---- View state, keys and mouse ----------------------------------------------------------------

// How the model reaches OpenGL: a display list made by zelMakeList, a mesh made by zelMakeMesh and
// drawn from vertex arrays, or zelDraw in immediate mode every frame.
enum class DrawPath { List, Mesh, Immediate };

enum class Colouring {
    Plain,     // neither ZEL_COLOR nor ZEL_MATERIAL: one light grey (a model without materials)
    Color,     // ZEL_COLOR: each group's diffuse colour
    Material,  // ZEL_MATERIAL: each group's full material
};

struct ViewState {
    // Drawing mode.
    bool outline = false;
    bool smooth = true;
    Colouring colouring = Colouring::Plain;
    bool texture = false;
    TexSource texSource = TexSource::Planar;
    DrawPath path = DrawPath::List;
    // What the model offers.
    bool hasMaterials = false;
    bool hasFileTexCoords = false;
    // The view: degrees about y (yaw) and x (pitch), the eye's distance from the model's centre.
    float yaw = kStartYaw;
    float pitch = kStartPitch;
    float distance = kStartDistance;
    // A drag in progress: the GLUT button (-1 for none) and the last pointer position.
    int dragButton = -1;
    int lastX = 0;
    int lastY = 0;

    static constexpr float kStartYaw = 30.0f;
    static constexpr float kStartPitch = 20.0f;
    static constexpr float kStartDistance = 3.0f;
    static constexpr float kMinDistance = 1.2f;
    static constexpr float kMaxDistance = 20.0f;
};

// The start state for a model prepared by prepareModel: filled, smooth, material (colour tracking
// is not used unless asked for) when there are materials, untextured, the file's texture
// coordinates when it had them, drawn from a display list.
ViewState initialState(const ModelInfo& info);

// What an input asks of the program (a bit set).
enum Effect : unsigned {
    kNothing = 0,
    kRedraw = 1,        // the picture changes
    kNewTexCoords = 2,  // texture coordinates must be regenerated (applyTexSource) first
    kQuit = 4,
    kPrintHelp = 8,
};

// Applies a key. *note receives a line for the user when the key cannot do what it names (for
// example colour and material without materials).
unsigned pressKey(ViewState* state, unsigned char key, std::string* note);

// GLUT's buttons: 0 left, 2 right, 3 and 4 the wheel turned up (zoom in) and down (zoom out).
unsigned mouseButton(ViewState* state, int button, bool down, int x, int y);
unsigned mouseMotion(ViewState* state, int x, int y);

// The ZEL_* flags to draw with.
uint32_t drawMode(const ViewState& state);

// The flags of a drawing mode that a mesh must hold (zelMakeMesh's): normals and texture
// coordinates. The others are applied when the mesh is drawn.
uint32_t meshMode(uint32_t mode);

// "zelview: NAME - filled smooth material texture(planar) list", NAME the file name of `path`; the
// last word is the draw path: list, mesh or immediate.
std::string windowTitle(const ViewState& state, const std::string& path);

// ---- Texture image -----------------------------------------------------------------------------

// RGB, 8 bits a sample, bottom row first (as OpenGL takes it); width and height powers of two.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// A `size` x `size` checkerboard of `squares` x `squares` squares, light and blue.
Image checkerboard(int size = 64, int squares = 8);

// The PPM pixels (top row first, as zelLoadPPM returns them), turned bottom row first and resampled
// (nearest pixel) to the smallest powers of two at least as large, 1024 at most, since OpenGL 1.1
// takes only such sizes.
Image textureImage(const unsigned char* pixels, int width, int height);

}  // namespace zelview
