// zelview's state and decisions, apart from OpenGL and GLUT: the command line, what each key and
// mouse movement changes, the drawing mode and window title that follow from the state, the model
// preparation, and the texture images and which material takes which (image.cpp). main.cpp and
// render.cpp put this on the screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zel.h"

namespace zelview {

// ---- Command line ------------------------------------------------------------------------------

struct Options {
    std::string modelPath;    // the OBJ file
    std::string texturePath;  // a PPM image for every group, or empty (the materials' maps, else
                              // the generated checkerboard)
    bool documented = false;  // read as zelReadOBJ reads, not with kLoadFlags
};

enum class ArgsOutcome { Run, Help, UsageError };

// Reads `zelview [--documented] FILE.obj [TEXTURE.ppm]` (or -h / --help). On a usage error, *error
// says what is wrong.
ArgsOutcome parseArgs(int argc, const char* const* argv, Options* options, std::string* error);

extern const char kUsage[];  // the usage text with the keys, for --help and usage errors
extern const char kHelp[];   // the one-line key summary printed at start and by 'h'

// The load flags zelview reads with unless --documented is given: real files' (whole keywords,
// "o" lines start groups, a material library that cannot be read and keywords the library does not
// know are warnings, concave faces cut so that they show as they are), so that any OBJ file a user
// has opens.
constexpr uint32_t kLoadFlags = ZEL_LOAD_REAL_FILES;

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
    bool vertexColors = false;   // the file gave vertices colours
    uint32_t savedTexCoordCount = 0;
    std::vector<float> savedTexCoords;       // 2 * (count + 1) floats, slot 0 included
    std::vector<uint32_t> savedTexCoordIdx;  // 3 per triangle
};

// Fits the model into the cube from -1 to 1, computes facet normals, and vertex normals (corners
// within 90 degrees averaged) unless the file gave every corner a normal; keeps the file's texture
// coordinates, or generates planar ones when it had none. Afterwards every ZEL_* flag can be drawn
// without a warning (materials only when a library was read, vertex colours only when the file
// gave them).
ModelInfo prepareModel(ZelModel* model);

// Replaces the model's texture coordinates by those of `source` (File only when the file had them).
void applyTexSource(ZelModel* model, const ModelInfo& info, TexSource source);

// ---- View state, keys and mouse ----------------------------------------------------------------

// How the model reaches OpenGL: a display list made by zelMakeList, a mesh made by zelMakeMesh and
// drawn from vertex arrays, or zelDraw in immediate mode every frame.
enum class DrawPath { List, Mesh, Immediate };

enum class Colouring {
    Plain,        // none of the colour flags: one light grey (a model without materials)
    Color,        // ZEL_COLOR: each group's diffuse colour
    Material,     // ZEL_MATERIAL: each group's full material
    VertexColor,  // ZEL_VERTEXCOLOR: each vertex's own colour, lit (colour tracking on)
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
    bool hasVertexColors = false;
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
    static constexpr float kStartDistance = 5.5f;  // a model fitted to the unit cube shows whole
    static constexpr float kMinDistance = 1.2f;
    static constexpr float kMaxDistance = 20.0f;
};

// The start state for a model prepared by prepareModel: filled, smooth, coloured by the vertex
// colours when the file gave them, else by the materials when there are some, else plain;
// textured when `mapsRead` (the materials' own images are what a user opening a textured model
// wants to see), the file's texture coordinates when it had them; drawn from a display list.
ViewState initialState(const ModelInfo& info, bool mapsRead = false);

// What an input asks of the program (a bit set).
enum Effect : unsigned {
    kNothing = 0,
    kRedraw = 1,        // the picture changes
    kNewTexCoords = 2,  // texture coordinates must be regenerated (applyTexSource) first
    kQuit = 4,
    kPrintHelp = 8,
};

// Applies a key. *note receives a line for the user when the key cannot do what it names (for
// example colour and material without materials). 'c' goes round the colourings the model offers:
// color and material with materials, vertexcolor with vertex colours, plain without materials.
unsigned pressKey(ViewState* state, unsigned char key, std::string* note);

// GLUT's buttons: 0 left, 2 right, 3 and 4 the wheel turned up (zoom in) and down (zoom out).
unsigned mouseButton(ViewState* state, int button, bool down, int x, int y);
unsigned mouseMotion(ViewState* state, int x, int y);

// The ZEL_* flags to draw with.
uint32_t drawMode(const ViewState& state);

// The flags of a drawing mode that a mesh must hold (zelMakeMesh's): normals, texture coordinates
// and vertex colours. The others are applied when the mesh is drawn.
uint32_t meshMode(uint32_t mode);

// "zelview: NAME - filled smooth material texture(planar) list", NAME the file name of `path`; the
// colouring is plain, color, material or vertexcolor; the last word is the draw path: list, mesh
// or immediate.
std::string windowTitle(const ViewState& state, const std::string& path);

// ---- Texture images (image.cpp) -----------------------------------------------------------------

// What one texture object holds: width and height powers of two (OpenGL 1.1 takes no others),
// 8 bits a sample, bottom row first (as OpenGL takes it).
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;  // 3: RGB; 4: RGBA, for an image with an alpha channel
    std::vector<unsigned char> pixels;
};

// A `size` x `size` RGB checkerboard of `squares` x `squares` squares, light and blue.
Image checkerboard(int size = 64, int squares = 8);

// The pixels of an image file (top row first, `channels` bytes a pixel, 3 or 4), turned bottom
// row first and resampled (nearest pixel) to the smallest powers of two at least as large, 1024
// at most.
Image textureImage(const unsigned char* pixels, int width, int height, int channels = 3);

// Reads the image file `path` into *image as textureImage makes it: PNG, JPEG, TGA and BMP through
// stb_image, binary PPM (P6) through zelLoadPPM, told apart by their contents. Images with an
// alpha channel (grey or colour) become RGBA, all others RGB. Returns false, with *reason saying
// why in a few words (no line end) and nothing printed, when the file cannot be read.
bool readImage(const std::string& path, Image* image, std::string* reason);

// The warning line for a texture that cannot be read: zelview: can't read texture "PATH": REASON
std::string textureWarning(const std::string& path, const std::string& reason);

// One texture object to make.
struct Texture {
    Image image;
    bool clamp = false;  // the map's "-clamp on": coordinates beyond 0..1 take the edge texels
};

// The textures a model is drawn with, and which one each material takes.
struct TextureSet {
    std::vector<Texture> textures;  // each image once, however many materials name it
    // One entry for each material (one in all when the model has none), as zelDrawTextured
    // indexes them: an index into `textures`, or -1 for a material drawn untextured.
    std::vector<int> textureOf;
    int mapsRead = 0;      // diffuse maps that were read
    std::string warnings;  // a textureWarning line for each map that could not be read
};

// Chooses each material's texture. With `given` (the command line's image), that image for every
// material. Otherwise, when some material names a diffuse map (map_Kd), each such material gets
// the image at the map's path (read once for all materials naming it), and the others, as well as
// those whose image cannot be read, none; when none names one, every material gets the
// checkerboard.
TextureSet chooseTextures(const ZelModel& model, const Image* given = nullptr);

}  // namespace zelview
