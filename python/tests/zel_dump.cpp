// The C side of the Python package's differential tests: loads an OBJ file with zelLoadOBJ and the
// flags the package reads with by default (ZEL_LOAD_REAL_FILES), applies
// the operations named after it in order, and writes what the model holds to standard output.
//
//     zel_dump [--printed] FILE [OPERATION...]
//
// Operations: facets, smooth=ANGLE, planar, sphere, weld=EPSILON, fit, flip, scale=FACTOR,
// save=PATH (zelSaveOBJ with ZEL_NONE; a failure is written as a record save-error, its message),
// mesh=MODE (zelMakeMesh, the mesh then freed) and write=MODE:PATH (zelWriteOBJ); MODE is a number
// of ZEL_* flags.
//
// With --printed, standard output holds only what the library prints while the operations run,
// each operation's own text on a line before it, and no records. Otherwise the output is a list
// of records, each "<key> <bytes>\n" followed by that many raw bytes:
//   error            "<line>\n<message>" when the load fails (and nothing else)
//   path, mtllib     the strings (mtllib only when set)
//   vertices colors normals texcoords facetnorms
//                    the float arrays from element 1 on (each only when the model has it)
//   triangles        the ZelTriangle records
//   group            per group in list order: its name, then group.material (uint32) and
//                    group.triangles (uint32 each)
//   material         per material: its name, then material.values (diffuse, ambient, specular,
//                    shininess, dissolve as 14 floats)
// Warnings the load reports are not part of the output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zel.h"

namespace {

void record(const char* key, const void* data, size_t bytes) {
    std::printf("%s %zu\n", key, bytes);
    if (bytes) std::fwrite(data, 1, bytes, stdout);
}

void text(const char* key, const char* value) {
    record(key, value, std::strlen(value));
}

void floats(const char* key, const float* values, size_t width, uint32_t count) {
    if (values) record(key, values + width, sizeof(float) * width * count);
}

bool apply(ZelModel* model, const std::string& operation) {
    const size_t equals = operation.find('=');
    const std::string name = operation.substr(0, equals);
    const std::string argument = equals == std::string::npos ? "" : operation.substr(equals + 1);
    const float value = std::strtof(argument.c_str(), nullptr);
    const uint32_t mode = static_cast<uint32_t>(std::strtoul(argument.c_str(), nullptr, 10));
    ZelError error;
    if (name == "mesh")
        zelFreeMesh(zelMakeMesh(model, mode));
    else if (name == "write" && argument.find(':') != std::string::npos)
        zelWriteOBJ(model, argument.substr(argument.find(':') + 1).c_str(), mode);
    else if (name == "save") {
        if (!zelSaveOBJ(model, argument.c_str(), ZEL_NONE, &error))
            record("save-error", error.message, std::strlen(error.message));
    } else if (name == "facets")
        zelComputeFacetNormals(model);
    else if (name == "smooth")
        zelVertexNormals(model, value);
    else if (name == "planar")
        zelPlanarTexCoords(model);
    else if (name == "sphere")
        zelSphereTexCoords(model);
    else if (name == "weld")
        zelWeldVertices(model, value);
    else if (name == "fit")
        zelFitToUnitCube(model);
    else if (name == "flip")
        zelFlipWinding(model);
    else if (name == "scale")
        zelScaleModel(model, value);
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool printed = argc > 1 && std::strcmp(argv[1], "--printed") == 0;
    const int file = printed ? 2 : 1;
    if (argc <= file) {
        std::fprintf(stderr, "usage: zel_dump [--printed] FILE [OPERATION...]\n");
        return 2;
    }
    ZelLoadOptions options{};
    options.quiet = 1;
    options.flags = ZEL_LOAD_REAL_FILES;
    ZelError error;
    ZelModel* model = zelLoadOBJ(argv[file], &options, &error);
    if (!model) {
        std::string failure = std::to_string(error.line) + "\n" + error.message;
        record("error", failure.data(), failure.size());
        return 0;
    }
    for (int i = file + 1; i < argc; i++) {
        if (printed) std::printf("%s\n", argv[i]);
        if (!apply(model, argv[i])) {
            std::fprintf(stderr, "zel_dump: unknown operation \"%s\"\n", argv[i]);
            return 2;
        }
    }
    if (printed) {
        zelFreeModel(model);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    text("path", model->path);
    if (model->mtllib) text("mtllib", model->mtllib);
    floats("vertices", model->vertices, 3, model->vertexcount);
    floats("colors", model->colors, 3, model->vertexcount);
    floats("normals", model->normals, 3, model->normalcount);
    floats("texcoords", model->texcoords, 2, model->texcoordcount);
    floats("facetnorms", model->facetnorms, 3, model->facetnormcount);
    record("triangles", model->triangles, sizeof(ZelTriangle) * model->trianglecount);
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        text("group", group->name);
        record("group.material", &group->material, sizeof group->material);
        record("group.triangles", group->triangleidx, sizeof(uint32_t) * group->trianglecount);
    }
    for (uint32_t i = 0; i < model->materialcount; i++) {
        const ZelMaterial& m = model->materials[i];
        text("material", m.name);
        float values[14];
        std::memcpy(values, m.diffuse, sizeof m.diffuse);
        std::memcpy(values + 4, m.ambient, sizeof m.ambient);
        std::memcpy(values + 8, m.specular, sizeof m.specular);
        values[12] = m.shininess;
        values[13] = m.dissolve;
        record("material.values", values, sizeof values);
    }
    zelFreeModel(model);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
