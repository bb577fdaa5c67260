#include "viewer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zelview {

const char kHelp[] =
    "zelview keys: w filled/outline, s flat/smooth, c color/material/vertexcolor, "
    "t texture on/off, p texture coordinates (file/planar/sphere), "
    "l display list/mesh/immediate, +/- zoom, r reset view, h help, q quit; "
    "mouse: left drag turns, right drag or wheel zooms\n";

const char kUsage[] =
    "usage: zelview [--documented] FILE.obj [TEXTURE.ppm]\n"
    "       zelview --help\n"
    "\n"
    "Shows a Wavefront OBJ model (with the materials its MTL library gives), fitted into view,\n"
    "lit and drawn with the zel library. Each group is textured with its material's diffuse\n"
    "map (PNG, JPEG, TGA, BMP or binary PPM), or, when no material has one, with a\n"
    "checkerboard; a binary PPM (P6) image given after the model textures every group instead.\n"
    "Materials show their emission, and translucent ones (dissolve below 1) are blended over\n"
    "the opaque groups.\n"
    "\n"
    "The model is read as real files need: statements by whole keywords, names whole, \"o\"\n"
    "lines as groups, and a library that cannot be read or an unknown keyword a warning.\n"
    "--documented reads it exactly as the library's zelReadOBJ does.\n"
    "\n"
    "keys:\n"
    "  w        filled triangles / outlines (outlines are not lit)\n"
    "  s        flat (facet normals) / smooth (vertex normals)\n"
    "  c        each group's diffuse colour / its full material (needs an MTL library) / each\n"
    "           vertex's colour (when the file gives them)\n"
    "  t        texture on / off\n"
    "  p        texture coordinates: the file's own (if any), planar (x and z), sphere (normals)\n"
    "  l        drawing from a display list / a mesh in vertex arrays / in immediate mode\n"
    "  + -      zoom in / out\n"
    "  r        reset the view\n"
    "  h        print the keys\n"
    "  q, Esc   quit\n"
    "mouse: left drag turns the model, right drag (up and down) or the wheel zooms.\n"
    "\n"
    "Exit status: 0 when closed, 1 when the model or the PPM image given cannot be read, 2 on a\n"
    "usage error. A map that cannot be read is one warning line; the model is shown without it.\n";

ArgsOutcome parseArgs(int argc, const char* const* argv, Options* options, std::string* error) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0)
            return ArgsOutcome::Help;
        if (std::strcmp(arg, "--documented") == 0) {
            options->documented = true;
            continue;
        }
        if (arg[0] == '-' && arg[1] != '\0') {
            *error = std::string("unknown option ") + arg;
            return ArgsOutcome::UsageError;
        }
        files.push_back(arg);
    }
    if (files.empty()) {
        *error = "no model file given";
        return ArgsOutcome::UsageError;
    }
    if (files.size() > 2) {
        *error = "too many arguments";
        return ArgsOutcome::UsageError;
    }
    options->modelPath = files[0];
    options->texturePath = files.size() > 1 ? files[1] : std::string();
    return ArgsOutcome::Run;
}

namespace {

// True when every corner of every triangle names a normal.
bool everyCornerHasNormal(const ZelModel& model) {
    for (uint32_t t = 0; t < model.trianglecount; t++) {
        for (uint32_t idx : model.triangles[t].normalidx) {
            if (idx == 0 || idx > model.normalcount) return false;
        }
    }
    return true;
}

template <class T>
T* mallocCopy(const std::vector<T>& values) {
    T* copy = static_cast<T*>(std::malloc(values.size() * sizeof(T)));
    std::memcpy(copy, values.data(), values.size() * sizeof(T));
    return copy;
}

}  // namespace

ModelInfo prepareModel(ZelModel* model) {
    ModelInfo info;
    zelFitToUnitCube(model);
    zelComputeFacetNormals(model);
    // Normals read for only some corners would leave the others with the zero vector: then all
    // are computed.
    info.fileNormals = model->normals != nullptr && everyCornerHasNormal(*model);
    // Within the file's smoothing groups, when it has them: the edges its author marked hard stay
    // hard (without them this is zelVertexNormals). A model of lines and points alone has no
    // triangle to take a normal from (and each of its vertices would be reported as such).
    if (!info.fileNormals && model->trianglecount) zelSmoothingGroupNormals(model, 90.0f);

    info.materials = model->materials != nullptr;
    info.vertexColors = model->colors != nullptr;
    info.fileTexCoords = model->texcoords != nullptr;
    if (info.fileTexCoords) {
        info.savedTexCoordCount = model->texcoordcount;
        info.savedTexCoords.assign(model->texcoords,
                                   model->texcoords + 2 * (size_t(model->texcoordcount) + 1));
        info.savedTexCoordIdx.reserve(3 * size_t(model->trianglecount));
        for (uint32_t t = 0; t < model->trianglecount; t++) {
            for (uint32_t idx : model->triangles[t].texcoordidx)
                info.savedTexCoordIdx.push_back(idx);
        }
    } else {
        zelPlanarTexCoords(model);
    }
    return info;
}

void applyTexSource(ZelModel* model, const ModelInfo& info, TexSource source) {
    switch (source) {
        case TexSource::Planar:
            zelPlanarTexCoords(model);
            return;
        case TexSource::Sphere:
            zelSphereTexCoords(model);
            return;
        case TexSource::File:
            if (!info.fileTexCoords) return;
            std::free(model->texcoords);
            model->texcoords = mallocCopy(info.savedTexCoords);
            model->texcoordcount = info.savedTexCoordCount;
            for (uint32_t t = 0; t < model->trianglecount; t++) {
                for (int k = 0; k < 3; k++) {
                    model->triangles[t].texcoordidx[k] = info.savedTexCoordIdx[3 * size_t(t) + k];
                }
            }
            return;
    }
}

ViewState initialState(const ModelInfo& info, bool mapsRead) {
    ViewState state;
    state.hasMaterials = info.materials;
    state.hasFileTexCoords = info.fileTexCoords;
    state.hasVertexColors = info.vertexColors;
    state.colouring = info.vertexColors ? Colouring::VertexColor
                      : info.materials  ? Colouring::Material
                                        : Colouring::Plain;
    state.texture = mapsRead;
    state.texSource = info.fileTexCoords ? TexSource::File : TexSource::Planar;
    return state;
}

namespace {

void zoomBy(ViewState* state, float factor) {
    state->distance =
        std::clamp(state->distance * factor, ViewState::kMinDistance, ViewState::kMaxDistance);
}

TexSource nextSource(const ViewState& state) {
    switch (state.texSource) {
        case TexSource::File:
            return TexSource::Planar;
        case TexSource::Planar:
            return TexSource::Sphere;
        case TexSource::Sphere:
            break;
    }
    return state.hasFileTexCoords ? TexSource::File : TexSource::Planar;
}

// The colouring after `state`'s, among those the model offers.
Colouring nextColouring(const ViewState& state) {
    std::vector<Colouring> offered;
    if (state.hasMaterials) offered = {Colouring::Color, Colouring::Material};
    if (state.hasVertexColors) offered.push_back(Colouring::VertexColor);
    if (!state.hasMaterials) offered.push_back(Colouring::Plain);
    const auto at = std::find(offered.begin(), offered.end(), state.colouring);
    return at == offered.end() || at + 1 == offered.end() ? offered.front() : *(at + 1);
}

}  // namespace

unsigned pressKey(ViewState* state, unsigned char key, std::string* note) {
    switch (key) {
        case 'w':
            state->outline = !state->outline;
            return kRedraw;
        case 's':
            state->smooth = !state->smooth;
            return kRedraw;
        case 'c':
            if (!state->hasMaterials && !state->hasVertexColors) {
                *note =
                    "zelview: the model has no materials: color and material need an MTL "
                    "library\n";
                return kNothing;
            }
            state->colouring = nextColouring(*state);
            return kRedraw;
        case 't':
            state->texture = !state->texture;
            return kRedraw;
        case 'p':
            state->texSource = nextSource(*state);
            return kRedraw | kNewTexCoords;
        case 'l':
            state->path = state->path == DrawPath::List   ? DrawPath::Mesh
                          : state->path == DrawPath::Mesh ? DrawPath::Immediate
                                                          : DrawPath::List;
            return kRedraw;
        case '+':
        case '=':
            zoomBy(state, 1.0f / 1.1f);
            return kRedraw;
        case '-':
            zoomBy(state, 1.1f);
            return kRedraw;
        case 'r':
            state->yaw = ViewState::kStartYaw;
            state->pitch = ViewState::kStartPitch;
            state->distance = ViewState::kStartDistance;
            return kRedraw;
        case 'h':
        case '?':
            return kPrintHelp;
        case 'q':
        case 27:  // Esc
            return kQuit;
        default:
            return kNothing;
    }
}

unsigned mouseButton(ViewState* state, int button, bool down, int x, int y) {
    if (button == 3 || button == 4) {
        if (!down) return kNothing;
        zoomBy(state, button == 3 ? 1.0f / 1.1f : 1.1f);
        return kRedraw;
    }
    if (button != 0 && button != 2) return kNothing;
    if (down) {
        if (state->dragButton == -1) {
            state->dragButton = button;
            state->lastX = x;
            state->lastY = y;
        }
    } else if (state->dragButton == button) {
        state->dragButton = -1;
    }
    return kNothing;
}

unsigned mouseMotion(ViewState* state, int x, int y) {
    if (state->dragButton == -1) return kNothing;
    const int dx = x - state->lastX;
    const int dy = y - state->lastY;
    state->lastX = x;
    state->lastY = y;
    if (dx == 0 && dy == 0) return kNothing;
    if (state->dragButton == 0) {
        // Half a degree a pixel; the pitch stops at straight above and below.
        state->yaw = std::fmod(state->yaw + 0.5f * dx, 360.0f);
        state->pitch = std::clamp(state->pitch + 0.5f * dy, -90.0f, 90.0f);
    } else {
        // Dragging down moves the eye away: 1 % a pixel.
        zoomBy(state, std::exp(0.01f * dy));
    }
    return kRedraw;
}

uint32_t drawMode(const ViewState& state) {
    uint32_t mode = state.smooth ? ZEL_SMOOTH : ZEL_FLAT;
    if (state.outline) mode |= ZEL_WIREFRAME;
    if (state.colouring == Colouring::Color) mode |= ZEL_COLOR;
    if (state.colouring == Colouring::Material) mode |= ZEL_MATERIAL | ZEL_BLEND;
    if (state.colouring == Colouring::VertexColor) mode |= ZEL_VERTEXCOLOR;
    if (state.texture) mode |= ZEL_TEXTURE;
    return mode;
}

uint32_t meshMode(uint32_t mode) {
    return mode & ZEL_MESH_ATTRIBUTES;
}

std::string windowTitle(const ViewState& state, const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string title = "zelview: ";
    title += slash == std::string::npos ? path : path.substr(slash + 1);
    title += state.outline ? " - outline" : " - filled";
    title += state.smooth ? " smooth" : " flat";
    switch (state.colouring) {
        case Colouring::Plain:
            title += " plain";
            break;
        case Colouring::Color:
            title += " color";
            break;
        case Colouring::Material:
            title += " material";
            break;
        case Colouring::VertexColor:
            title += " vertexcolor";
            break;
    }
    if (!state.texture) {
        title += " untextured";
    } else {
        switch (state.texSource) {
            case TexSource::File:
                title += " texture(file)";
                break;
            case TexSource::Planar:
                title += " texture(planar)";
                break;
            case TexSource::Sphere:
                title += " texture(sphere)";
                break;
        }
    }
    switch (state.path) {
        case DrawPath::List:
            title += " list";
            break;
        case DrawPath::Mesh:
            title += " mesh";
            break;
        case DrawPath::Immediate:
            title += " immediate";
            break;
    }
    return title;
}

}  // namespace zelview
