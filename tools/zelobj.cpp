// zelobj: inspects and converts Wavefront OBJ models with the zel library.
//
//   zelobj info FILE.obj
//   zelobj convert IN.obj OUT.obj [options]
//   zelobj mesh FILE.obj [options]
//
// See kUsage for the options.
#include <meshoptimizer.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mesh.h"
#include "zel.h"

namespace {

const char kUsage[] =
    "usage: zelobj info FILE.obj\n"
    "       zelobj convert IN.obj OUT.obj [options]\n"
    "       zelobj mesh FILE.obj [options]\n"
    "       zelobj --help\n"
    "\n"
    "info prints the model's counts (vertices, normals, texture coordinates, facet normals,\n"
    "triangles, groups, materials), every group (name in quotes, so leading blanks show; triangle\n"
    "count; material) and every material (name, Ka, Kd and Ks colours, shininess on the 0..128\n"
    "scale).\n"
    "\n"
    "convert reads IN.obj (and its material library), applies the operations below in the order\n"
    "given, and writes OUT.obj (and, with --material, its material library beside it).\n"
    "\n"
    "operations:\n"
    "  --fit                 centre the model and scale it into the cube from -1 to 1\n"
    "  --scale F             multiply every vertex coordinate by F\n"
    "  --flip                reverse the winding of every triangle and negate the normals\n"
    "  --facet-normals       compute one unit normal per triangle\n"
    "  --vertex-normals A    compute vertex normals, averaging facet normals within A degrees\n"
    "                        (facet normals are computed first when the model has none)\n"
    "  --planar-texcoords    texture coordinates from each vertex's x and z\n"
    "  --sphere-texcoords    sphere-map texture coordinates from the normals (needs normals)\n"
    "  --weld EPSILON        merge vertices closer than EPSILON on every axis\n"
    "\n"
    "what the written file holds besides positions and faces (default: none of these):\n"
    "  --flat                the facet normals\n"
    "  --smooth              the vertex normals\n"
    "  --texture             the texture coordinates\n"
    "  --color               accepted for symmetry with drawing; writes nothing more\n"
    "  --material            the materials: usemtl lines and the material library\n"
    "\n"
    "mesh reads FILE.obj, applies the operations given, makes the mesh that vertex arrays would\n"
    "draw (zelMakeMesh), each vertex holding what --flat (facet normals, computed first when the\n"
    "model has none), --smooth (vertex normals) and --texture (texture coordinates) ask for\n"
    "(--color and --material add nothing), and prints its vertex, index and group counts and the\n"
    "vertex cache's misses per triangle (ACMR, for a FIFO cache of 16 vertices) with the\n"
    "triangles in the model's order and after the mesh's reordering.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written or an operation lacks\n"
    "its data, 2 on a usage error.\n";

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "zelobj: %s\n\n%s", message.c_str(), kUsage);
    std::exit(2);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "zelobj: %s\n", message.c_str());
    std::exit(1);
}

// A name in double quotes, with quotes, backslashes and control characters escaped.
std::string quoted(const char* name) {
    std::string text = "\"";
    for (const char* p = name; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += *p;
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            text += escape;
        } else {
            text += *p;
        }
    }
    return text + "\"";
}

void printColour(const char* label, const float* rgb) {
    std::printf("  %s %f %f %f", label, rgb[0], rgb[1], rgb[2]);
}

int info(const char* path) {
    ZelModel* model = zelReadOBJ(path);
    std::printf("file: %s\n", path);
    std::printf("material library: %s\n", model->mtllib ? model->mtllib : "(none)");
    std::printf("vertices: %u\n", model->vertexcount);
    std::printf("normals: %u\n", model->normalcount);
    std::printf("texcoords: %u\n", model->texcoordcount);
    std::printf("facet normals: %u\n", model->facetnormcount);
    std::printf("triangles: %u\n", model->trianglecount);
    std::printf("groups: %u\n", model->groupcount);
    std::printf("materials: %u\n", model->materialcount);

    std::printf("\ngroups, newest first:\n");
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        std::printf("  %s: %u triangles", quoted(group->name).c_str(), group->trianglecount);
        if (group->material < model->materialcount)
            std::printf(", material %u %s", group->material,
                        quoted(model->materials[group->material].name).c_str());
        std::printf("\n");
    }

    if (model->materialcount) std::printf("\nmaterials:\n");
    for (uint32_t i = 0; i < model->materialcount; i++) {
        const ZelMaterial& material = model->materials[i];
        std::printf("  %u %s\n  ", i, quoted(material.name).c_str());
        printColour("Ka", material.ambient);
        printColour("Kd", material.diffuse);
        printColour("Ks", material.specular);
        std::printf("  shininess %f\n", material.shininess);
    }
    zelFreeModel(model);
    return 0;
}

float numberArgument(const char* option, const char* text) {
    char* end = nullptr;
    errno = 0;
    float value = std::strtof(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        usageError(std::string(option) + " needs a number, not \"" + text + "\"");
    return value;
}

enum class Operation {
    Fit,
    Scale,
    Flip,
    FacetNormals,
    VertexNormals,
    PlanarTexCoords,
    SphereTexCoords,
    Weld
};

struct Step {
    Operation operation;
    float value;
};

void apply(ZelModel* model, const Step& step) {
    switch (step.operation) {
        case Operation::Fit:
            zelFitToUnitCube(model);
            break;
        case Operation::Scale:
            zelScaleModel(model, step.value);
            break;
        case Operation::Flip:
            zelFlipWinding(model);
            break;
        case Operation::FacetNormals:
            zelComputeFacetNormals(model);
            break;
        case Operation::VertexNormals:
            if (!model->facetnorms) zelComputeFacetNormals(model);
            zelVertexNormals(model, step.value);
            break;
        case Operation::PlanarTexCoords:
            zelPlanarTexCoords(model);
            break;
        case Operation::SphereTexCoords:
            if (!model->normals)
                fail(
                    "--sphere-texcoords needs normals: the model has none (give --vertex-normals "
                    "before it)");
            zelSphereTexCoords(model);
            break;
        case Operation::Weld:
            zelWeldVertices(model, step.value);
            break;
    }
}

// The options of convert: an operation (with or without a value) or a flag of the written mode.
struct Option {
    const char* name;
    bool isOperation;
    Operation operation;
    bool takesValue;
    uint32_t flag;
};

const Option kOptions[] = {
    {"--fit", true, Operation::Fit, false, 0},
    {"--scale", true, Operation::Scale, true, 0},
    {"--flip", true, Operation::Flip, false, 0},
    {"--facet-normals", true, Operation::FacetNormals, false, 0},
    {"--vertex-normals", true, Operation::VertexNormals, true, 0},
    {"--planar-texcoords", true, Operation::PlanarTexCoords, false, 0},
    {"--sphere-texcoords", true, Operation::SphereTexCoords, false, 0},
    {"--weld", true, Operation::Weld, true, 0},
    {"--flat", false, Operation::Fit, false, ZEL_FLAT},
    {"--smooth", false, Operation::Fit, false, ZEL_SMOOTH},
    {"--texture", false, Operation::Fit, false, ZEL_TEXTURE},
    {"--color", false, Operation::Fit, false, ZEL_COLOR},
    {"--material", false, Operation::Fit, false, ZEL_MATERIAL},
};

// Reads the options (operations and mode flags) in argv[0..argc-1]: usage errors end the program.
uint32_t parseOptions(int argc, char** argv, std::vector<Step>* steps) {
    uint32_t mode = ZEL_NONE;
    for (int i = 0; i < argc; i++) {
        const Option* option = nullptr;
        for (const Option& candidate : kOptions)
            if (std::strcmp(argv[i], candidate.name) == 0) option = &candidate;
        if (!option) usageError(std::string("unknown option \"") + argv[i] + "\"");
        if (!option->isOperation) {
            mode |= option->flag;
            continue;
        }
        float value = 0;
        if (option->takesValue) {
            if (i + 1 >= argc) usageError(std::string(option->name) + " needs a value");
            value = numberArgument(option->name, argv[++i]);
        }
        steps->push_back({option->operation, value});
    }
    return mode;
}

int convert(int argc, char** argv) {
    if (argc < 2) usageError("convert needs an input and an output file");
    const char* input = argv[0];
    const char* output = argv[1];
    std::vector<Step> steps;
    const uint32_t mode = parseOptions(argc - 2, argv + 2, &steps);
    ZelModel* model = zelReadOBJ(input);
    for (const Step& step : steps) apply(model, step);
    zelWriteOBJ(model, output, mode);
    zelFreeModel(model);
    return 0;
}

int mesh(int argc, char** argv) {
    if (argc < 1) usageError("mesh needs a model file");
    const char* path = argv[0];
    std::vector<Step> steps;
    uint32_t mode = parseOptions(argc - 1, argv + 1, &steps);
    ZelModel* model = zelReadOBJ(path);
    for (const Step& step : steps) apply(model, step);
    if ((mode & ZEL_FLAT) && !model->facetnorms) zelComputeFacetNormals(model);
    mode &= ZEL_FLAT | ZEL_SMOOTH | ZEL_TEXTURE;
    ZelMesh* made = zelMakeMesh(model, mode);
    if (!made) return 1;
    // Runs of one triangle leave every triangle where it was: the same vertices in the model's
    // order, for the figure before the reordering.
    zel::MeshOptions asRead;
    asRead.runTriangles = 1;
    std::fflush(stdout);
    ZelMesh* unordered = zel::makeMesh(model, made->mode, asRead);
    auto acmr = [](const ZelMesh* m) {
        return meshopt_analyzeVertexCache(m->indices, m->indexcount, m->vertexcount,
                                          zel::kMeshCacheSize, 0, 0)
            .acmr;
    };
    std::printf("file: %s\n", path);
    std::printf("vertex: position%s%s (%u floats)\n",
                (made->mode & ZEL_FLAT)     ? ", facet normal"
                : (made->mode & ZEL_SMOOTH) ? ", normal"
                                            : "",
                (made->mode & ZEL_TEXTURE) ? ", texture coordinate" : "", made->stride);
    std::printf("vertices: %u\n", made->vertexcount);
    std::printf("indices: %u (%u triangles)\n", made->indexcount, made->indexcount / 3);
    std::printf("groups: %u\n", made->groupcount);
    std::printf("ACMR (FIFO cache of %u vertices): %.3f in the model's order, %.3f reordered\n",
                zel::kMeshCacheSize, acmr(unordered), acmr(made));
    zelFreeMesh(unordered);
    zelFreeMesh(made);
    zelFreeModel(model);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) usageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "info") {
        if (argc != 3) usageError("info takes exactly one file");
        return info(argv[2]);
    }
    if (command == "convert") return convert(argc - 2, argv + 2);
    if (command == "mesh") return mesh(argc - 2, argv + 2);
    usageError("unknown command \"" + command + "\"");
}
