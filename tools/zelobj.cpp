// zelobj: inspects and converts Wavefront OBJ models with the zel library.
//
//   zelobj info FILE.obj [load options]
//   zelobj convert IN.obj OUT.obj [options]
//   zelobj mesh FILE.obj [options]
//
// See kUsage for the options. A model is read as real files need (zelLoadOBJ with
// ZEL_LOAD_REAL_FILES), or with --documented exactly as zelReadOBJ reads it, plus the load flags
// given.
#include <meshoptimizer.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "zel.h"

namespace {

const char kUsage[] =
    "usage: zelobj info FILE.obj [load options]\n"
    "       zelobj convert IN.obj OUT.obj [options]\n"
    "       zelobj mesh FILE.obj [options]\n"
    "       zelobj --help\n"
    "\n"
    "info prints the model's counts (vertices, whether they have colours, normals, texture\n"
    "coordinates, facet normals, triangles, groups, materials, the polygons kept, lines, points\n"
    "and distinct smoothing groups), every group (name in quotes, so\n"
    "leading blanks show; triangle count; material) and every material (name, Ka, Kd and Ks\n"
    "colours, shininess on the 0..128 scale, dissolve, the parameters that differ from their\n"
    "absent values (emission, ior, illum, transmission, the PBR ones), each texture map's "
    "keyword,\n"
    "name as the file gives it, path to open, and the options that differ from their defaults,\n"
    "and the statements kept as the file gives them).\n"
    "\n"
    "load options, for every command (default: the model is read as real files need, with\n"
    "whole keywords, names whole, lines of any length, \"o\" lines as groups, and a missing\n"
    "library or an unknown keyword a warning; warnings go to standard output):\n"
    "  --documented          read exactly as the library's zelReadOBJ reads, adding only the\n"
    "                        options below that are given\n"
    "  --objects             an \"o\" line starts a group, as a \"g\" line does\n"
    "  --missing-libraries   a material library that cannot be read is a warning, not a failure\n"
    "  --unknown-keywords    a line whose keyword the reader does not know (vp ...) is skipped\n"
    "                        with a warning, not a failure\n"
    "  --whole-keywords      statements are read by whole keywords (Ni is not Ns), names whole,\n"
    "                        lines of any length\n"
    "  --confined-libraries  refuse a material library outside the model's folder\n"
    "  --concave-polygons    faces that are not convex are cut by ear clipping, not fanned\n"
    "  --polygons            each face is kept as written (written back as one \"f\" line)\n"
    "  --max-bytes N         fail, before reading the data, when the model's arrays would need\n"
    "                        more than N bytes\n"
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
    "  --vertex-colors       each vertex's colour (\"v x y z r g b\")\n"
    "  --color               accepted for symmetry with drawing; writes nothing more\n"
    "  --material            the materials: usemtl lines and the material library\n"
    "  --triangles           faces as triangles only, without the kept polygons, lines, points\n"
    "                        and smoothing groups (default: each face is kept as written, and\n"
    "                        those are written when the model keeps any)\n"
    "\n"
    "mesh reads FILE.obj, applies the operations given, makes the mesh that vertex arrays would\n"
    "draw (zelMakeMesh), each vertex holding what --flat (facet normals, computed first when the\n"
    "model has none), --smooth (vertex normals), --texture (texture coordinates) and\n"
    "--vertex-colors (colours) ask for (--color and --material add nothing), and prints its\n"
    "vertex, index and group counts and the vertex cache's misses per triangle (ACMR, for a\n"
    "FIFO cache of 16 vertices) with the triangles in the model's order and after the mesh's\n"
    "reordering.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written (the reader's line on\n"
    "standard error) or an operation lacks its data, 2 on a usage error.\n";

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

// "    map_Kd name "wood.png" path "dir/wood.png" -s 2.000000 2.000000 1.000000 -clamp on": the
// options as an MTL line gives them, those that differ from their defaults.
void printMap(const char* keyword, const ZelTextureMap& map) {
    if (!map.name) return;
    std::printf("    %s name %s path %s", keyword, quoted(map.name).c_str(),
                quoted(map.path).c_str());
    auto vector = [](const char* option, const float* values, float usual) {
        if (values[0] != usual || values[1] != usual || values[2] != usual)
            std::printf(" %s %f %f %f", option, values[0], values[1], values[2]);
    };
    vector("-o", map.offset, 0.0f);
    vector("-s", map.scale, 1.0f);
    if (map.clamp) std::printf(" -clamp on");
    if (map.bumpmultiplier != 1.0f) std::printf(" -bm %f", map.bumpmultiplier);
    if (map.type) std::printf(" -type %s", map.type);
    if (!map.inside) std::printf(" (outside the model's folder)");
    std::printf("\n");
}

// The parameters beyond the dissolve that differ from their absent values, one line each
// ("    emission 0.100000 0.200000 0.300000", "    illum 2"), then the statements kept as the
// file gave them.
void printAdded(const ZelMaterial& material) {
    auto colour = [](const char* label, const float* rgb, float absent) {
        if (rgb[0] != absent || rgb[1] != absent || rgb[2] != absent)
            std::printf("    %s %f %f %f\n", label, rgb[0], rgb[1], rgb[2]);
    };
    colour("emission", material.emission, 0.0f);
    if (material.ior != 1.0f) std::printf("    ior %f\n", material.ior);
    if (material.illum != -1) std::printf("    illum %d\n", static_cast<int>(material.illum));
    colour("transmission", material.transmission, 1.0f);
    const struct {
        const char* label;
        float value;
    } numbers[] = {{"roughness", material.roughness},
                   {"metallic", material.metallic},
                   {"sheen", material.sheen},
                   {"clearcoat", material.clearcoat},
                   {"clearcoatroughness", material.clearcoatroughness},
                   {"anisotropy", material.anisotropy},
                   {"anisotropyrotation", material.anisotropyrotation}};
    for (const auto& number : numbers)
        if (number.value != 0.0f) std::printf("    %s %f\n", number.label, number.value);
    for (uint32_t k = 0; k < material.statementcount; k++)
        std::printf("    statement %s\n", quoted(material.statements[k]).c_str());
}

// How the model is read: through zelLoadOBJ with the real files' flags and those given, or with
// --documented and nothing else exactly as zelReadOBJ reads it.
struct Load {
    bool documented = false;
    uint32_t flags = 0;  // given
    uint64_t maxBytes = 0;
};

// Reads the model; a failure prints the reader's line on standard error and ends the program
// with status 1, as zelReadOBJ does.
ZelModel* readModel(const char* path, const Load& load) {
    if (load.documented && !load.flags && !load.maxBytes) return zelReadOBJ(path);
    ZelLoadOptions options = {};
    options.flags = load.flags | (load.documented ? 0 : ZEL_LOAD_REAL_FILES);
    options.maxbytes = load.maxBytes;
    ZelError error;
    ZelModel* model = zelLoadOBJ(path, &options, &error);
    if (!model) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", error.message);
        std::exit(1);
    }
    return model;
}

int info(const char* path, const Load& load) {
    ZelModel* model = readModel(path, load);
    std::printf("file: %s\n", path);
    std::printf("material library: %s\n", model->mtllib ? model->mtllib : "(none)");
    std::printf("vertices: %u\n", model->vertexcount);
    std::printf("vertex colors: %s\n", model->colors ? "yes" : "no");
    std::printf("normals: %u\n", model->normalcount);
    std::printf("texcoords: %u\n", model->texcoordcount);
    std::printf("facet normals: %u\n", model->facetnormcount);
    std::printf("triangles: %u\n", model->trianglecount);
    std::printf("groups: %u\n", model->groupcount);
    std::printf("materials: %u\n", model->materialcount);
    uint64_t polygons = 0, lines = 0, points = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        polygons += group->polygoncount;
        lines += group->linecount;
        points += group->pointcount;
    }
    std::set<uint32_t> smoothing;
    for (uint32_t t = 0; model->smoothinggroups && t < model->trianglecount; t++)
        if (model->smoothinggroups[t]) smoothing.insert(model->smoothinggroups[t]);
    std::printf("polygons kept: %llu\n", static_cast<unsigned long long>(polygons));
    std::printf("lines: %llu\n", static_cast<unsigned long long>(lines));
    std::printf("points: %llu\n", static_cast<unsigned long long>(points));
    std::printf("smoothing groups: %zu\n", smoothing.size());

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
        ZelMaterial& material = model->materials[i];
        std::printf("  %u %s\n  ", i, quoted(material.name).c_str());
        printColour("Ka", material.ambient);
        printColour("Kd", material.diffuse);
        printColour("Ks", material.specular);
        std::printf("  shininess %f\n", material.shininess);
        std::printf("    dissolve %f\n", material.dissolve);
        printAdded(material);
        for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++)
            printMap(zelMapKeyword(k), *zelMaterialMap(&material, k));
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

// The options: an operation (with or without a value), a flag of the written mode, or how the
// model is read.
enum class Kind { Operation, Mode, Triangles, LoadFlag, Documented, MaxBytes };

struct Option {
    const char* name;
    Kind kind;
    Operation operation;
    bool takesValue;
    uint32_t flag;  // the mode flag or the load flag
};

const Option kOptions[] = {
    {"--fit", Kind::Operation, Operation::Fit, false, 0},
    {"--scale", Kind::Operation, Operation::Scale, true, 0},
    {"--flip", Kind::Operation, Operation::Flip, false, 0},
    {"--facet-normals", Kind::Operation, Operation::FacetNormals, false, 0},
    {"--vertex-normals", Kind::Operation, Operation::VertexNormals, true, 0},
    {"--planar-texcoords", Kind::Operation, Operation::PlanarTexCoords, false, 0},
    {"--sphere-texcoords", Kind::Operation, Operation::SphereTexCoords, false, 0},
    {"--weld", Kind::Operation, Operation::Weld, true, 0},
    {"--flat", Kind::Mode, Operation::Fit, false, ZEL_FLAT},
    {"--smooth", Kind::Mode, Operation::Fit, false, ZEL_SMOOTH},
    {"--texture", Kind::Mode, Operation::Fit, false, ZEL_TEXTURE},
    {"--vertex-colors", Kind::Mode, Operation::Fit, false, ZEL_VERTEXCOLOR},
    {"--color", Kind::Mode, Operation::Fit, false, ZEL_COLOR},
    {"--material", Kind::Mode, Operation::Fit, false, ZEL_MATERIAL},
    {"--triangles", Kind::Triangles, Operation::Fit, false, 0},
    {"--objects", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_OBJECTS},
    {"--missing-libraries", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_MISSING_LIBRARIES},
    {"--unknown-keywords", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_UNKNOWN_KEYWORDS},
    {"--whole-keywords", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_WHOLE_KEYWORDS},
    {"--confined-libraries", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_CONFINED_LIBRARIES},
    {"--documented", Kind::Documented, Operation::Fit, false, 0},
    {"--concave-polygons", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_CONCAVE_POLYGONS},
    {"--polygons", Kind::LoadFlag, Operation::Fit, false, ZEL_LOAD_POLYGONS},
    {"--max-bytes", Kind::MaxBytes, Operation::Fit, true, 0},
};

// A byte count: digits only, above 0.
uint64_t byteCountArgument(const char* option, const char* text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (!(*text >= '0' && *text <= '9') || *end != '\0' || errno == ERANGE || value == 0)
        usageError(std::string(option) + " needs a number of bytes above 0, not \"" + text + "\"");
    return value;
}

struct Options {
    uint32_t mode = ZEL_NONE;
    bool trianglesOnly = false;
    std::vector<Step> steps;
    Load load;
};

// Reads the options in argv[0..argc-1]. With `files` (info), the command takes only load options
// and the other arguments are its files, in any order. Usage errors end the program.
Options parseOptions(const char* command, int argc, char** argv,
                     std::vector<const char*>* files = nullptr) {
    const bool loadOnly = files != nullptr;
    Options options;
    for (int i = 0; i < argc; i++) {
        const Option* option = nullptr;
        for (const Option& candidate : kOptions)
            if (std::strcmp(argv[i], candidate.name) == 0) option = &candidate;
        if (!option && files && std::strncmp(argv[i], "--", 2) != 0) {
            files->push_back(argv[i]);
            continue;
        }
        if (!option) usageError(std::string("unknown option \"") + argv[i] + "\"");
        const bool loading = option->kind == Kind::LoadFlag || option->kind == Kind::MaxBytes ||
                             option->kind == Kind::Documented;
        if (loadOnly && !loading)
            usageError(std::string(command) + " takes only load options, not \"" + argv[i] + "\"");
        if (option->takesValue && i + 1 >= argc)
            usageError(std::string(option->name) + " needs a value");
        switch (option->kind) {
            case Kind::Operation:
                options.steps.push_back(
                    {option->operation,
                     option->takesValue ? numberArgument(option->name, argv[++i]) : 0.0f});
                break;
            case Kind::Mode:
                options.mode |= option->flag;
                break;
            case Kind::Triangles:
                options.trianglesOnly = true;
                break;
            case Kind::LoadFlag:
                options.load.flags |= option->flag;
                break;
            case Kind::Documented:
                options.load.documented = true;
                break;
            case Kind::MaxBytes:
                options.load.maxBytes = byteCountArgument(option->name, argv[++i]);
                break;
        }
    }
    return options;
}

int convert(int argc, char** argv) {
    if (argc < 2) usageError("convert needs an input and an output file");
    const char* input = argv[0];
    const char* output = argv[1];
    const Options options = parseOptions("convert", argc - 2, argv + 2);
    // Faces are kept as written, to be written back so, unless only triangles are asked for.
    Load load = options.load;
    if (!options.trianglesOnly && !load.documented) load.flags |= ZEL_LOAD_POLYGONS;
    ZelModel* model = readModel(input, load);
    for (const Step& step : options.steps) apply(model, step);
    const bool shapes = !options.trianglesOnly && (zelModelHolds(model) & ZEL_POLYGONS);
    zelWriteOBJ(model, output, options.mode | (shapes ? ZEL_POLYGONS : 0u));
    zelFreeModel(model);
    return 0;
}

int mesh(int argc, char** argv) {
    if (argc < 1) usageError("mesh needs a model file");
    const char* path = argv[0];
    const Options options = parseOptions("mesh", argc - 1, argv + 1);
    uint32_t mode = options.mode;
    ZelModel* model = readModel(path, options.load);
    for (const Step& step : options.steps) apply(model, step);
    if ((mode & ZEL_FLAT) && !model->facetnorms) zelComputeFacetNormals(model);
    ZelMesh* made = zelMakeMesh(model, mode & ZEL_MESH_ATTRIBUTES);
    if (!made) return 1;
    // The same mesh with every triangle where it was, for the figure before the reordering.
    ZelMeshOptions asRead{};
    asRead.keeporder = 1;
    ZelError error;
    std::fflush(stdout);
    ZelMesh* unordered = zelBuildMesh(model, made->mode, &asRead, &error);
    if (!unordered) {
        std::fprintf(stderr, "%s\n", error.message);
        zelFreeMesh(made);
        zelFreeModel(model);
        return 1;
    }
    auto acmr = [](const ZelMesh* m) {
        return meshopt_analyzeVertexCache(m->indices, m->indexcount, m->vertexcount,
                                          ZEL_MESH_CACHE_SIZE, 0, 0)
            .acmr;
    };
    std::printf("file: %s\n", path);
    std::printf("vertex: position%s%s%s (%u floats)\n",
                (made->mode & ZEL_FLAT)     ? ", facet normal"
                : (made->mode & ZEL_SMOOTH) ? ", normal"
                                            : "",
                (made->mode & ZEL_TEXTURE) ? ", texture coordinate" : "",
                (made->mode & ZEL_VERTEXCOLOR) ? ", color" : "", made->stride);
    std::printf("vertices: %u\n", made->vertexcount);
    std::printf("indices: %u (%u triangles)\n", made->indexcount, made->indexcount / 3);
    std::printf("groups: %u\n", made->groupcount);
    std::printf("ACMR (FIFO cache of %u vertices): %.3f in the model's order, %.3f reordered\n",
                ZEL_MESH_CACHE_SIZE, acmr(unordered), acmr(made));
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
        std::vector<const char*> files;
        const Options options = parseOptions("info", argc - 2, argv + 2, &files);
        if (files.size() != 1) usageError("info takes exactly one file");
        return info(files[0], options.load);
    }
    if (command == "convert") return convert(argc - 2, argv + 2);
    if (command == "mesh") return mesh(argc - 2, argv + 2);
    usageError("unknown command \"" + command + "\"");
}
