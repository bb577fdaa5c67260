// The WebAssembly side of the web package: plain C functions over zel.h that web/zel.mjs calls.
//
// A load runs on the calling thread (with helpers in the threaded build); what it reports comes
// back through this file's own state, never through JavaScript callbacks, because the library may
// call its warning and library callbacks from helper threads, whose JavaScript is not the caller's:
//  - material libraries come from a table that JavaScript fills before the load (zw_library_add);
//    a path the table lacks is recorded as missing, so that JavaScript can fetch it (its library
//    function is async) and load again;
//  - warnings are collected, and read once the load has returned.
// The arrays of a model or a mesh are described by "layouts": rows of 32-bit numbers (counts and
// addresses in the module's memory) from which zel.mjs copies the arrays out once.
#include <zel.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define ZW_EXPORT extern "C" EMSCRIPTEN_KEEPALIVE
#else
#define ZW_EXPORT extern "C"
#endif

namespace {

// A library the table holds: its bytes, or none (the caller's function found no such library).
struct Library {
    std::string bytes;
    bool found;
};

struct LoadState {
    std::mutex mutex;
    std::map<std::string, Library> libraries;
    std::vector<std::string> missing;  // paths asked for that the table lacks, in order asked
    std::vector<std::string> warnings;
    ZelError error{};
    std::string json;  // the last zw_*_json result
};

LoadState state;

void warning(void*, const char* message) {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.warnings.emplace_back(message);
}

int library(void*, const char* path, const char** data, size_t* size) {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = state.libraries.find(path);
    if (found == state.libraries.end()) {
        bool known = false;
        for (const std::string& name : state.missing) known = known || name == path;
        if (!known) state.missing.emplace_back(path);
        return 0;
    }
    if (!found->second.found) return 0;
    *data = found->second.bytes.data();
    *size = found->second.bytes.size();
    return 1;
}

uint32_t address(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// JSON text for the materials: strings escaped byte for byte (JavaScript decodes them as UTF-8),
// floats with 17 significant digits: the double each float widens to, exactly.
class Json {
public:
    void raw(const char* text) { out_ += text; }
    void number(double value) {
        char buffer[32];
        if (value != value || value - value != 0) {
            out_ += "null";  // NaN and the infinities have no JSON form
            return;
        }
        std::snprintf(buffer, sizeof buffer, "%.17g", value);
        out_ += buffer;
    }
    void string(const char* text) {
        if (!text) {
            out_ += "null";
            return;
        }
        out_ += '"';
        for (const char* c = text; *c; c++) {
            unsigned char byte = static_cast<unsigned char>(*c);
            if (byte == '"' || byte == '\\') {
                out_ += '\\';
                out_ += *c;
            } else if (byte < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", byte);
                out_ += buffer;
            } else {
                out_ += *c;
            }
        }
        out_ += '"';
    }
    void key(const char* name) {
        string(name);
        out_ += ':';
    }
    // A key that follows another member of its object.
    void member(const char* name) {
        out_ += ',';
        key(name);
    }
    void boolean(bool value) { out_ += value ? "true" : "false"; }
    void numbers(const float* values, int count) {
        out_ += '[';
        for (int i = 0; i < count; i++) {
            if (i) out_ += ',';
            number(values[i]);
        }
        out_ += ']';
    }
    std::string& text() { return out_; }

private:
    std::string out_;
};

void materialJson(Json& json, ZelMaterial* material) {
    json.raw("{");
    json.key("name");
    json.string(material->name);
    const struct {
        const char* name;
        const float* values;
        int count;
    } colours[] = {{"diffuse", material->diffuse, 4},
                   {"ambient", material->ambient, 4},
                   {"specular", material->specular, 4},
                   {"emission", material->emission, 3},
                   {"transmission", material->transmission, 3}};
    for (const auto& colour : colours) {
        json.member(colour.name);
        json.numbers(colour.values, colour.count);
    }
    const struct {
        const char* name;
        float value;
    } scalars[] = {{"shininess", material->shininess},
                   {"dissolve", material->dissolve},
                   {"ior", material->ior},
                   {"roughness", material->roughness},
                   {"metallic", material->metallic},
                   {"sheen", material->sheen},
                   {"clearcoat", material->clearcoat},
                   {"clearcoatRoughness", material->clearcoatroughness},
                   {"anisotropy", material->anisotropy},
                   {"anisotropyRotation", material->anisotropyrotation}};
    for (const auto& scalar : scalars) {
        json.member(scalar.name);
        json.number(scalar.value);
    }
    json.member("illum");
    json.number(material->illum);
    json.member("statements");
    json.raw("[");
    for (uint32_t i = 0; i < material->statementcount; i++) {
        if (i) json.raw(",");
        json.string(material->statements[i]);
    }
    json.raw("],");
    // The maps by the keyword the writer writes them under; zel.mjs names them.
    json.key("maps");
    json.raw("{");
    bool first = true;
    for (uint32_t index = 0; index < ZEL_MAP_COUNT; index++) {
        const ZelTextureMap* map = zelMaterialMap(material, index);
        if (!map->name) continue;
        if (!first) json.raw(",");
        first = false;
        json.key(zelMapKeyword(index));
        json.raw("{");
        json.key("name");
        json.string(map->name);
        json.member("path");
        json.string(map->path);
        json.member("offset");
        json.numbers(map->offset, 3);
        json.member("scale");
        json.numbers(map->scale, 3);
        json.member("clamp");
        json.boolean(map->clamp);
        json.member("bumpMultiplier");
        json.number(map->bumpmultiplier);
        json.member("type");
        json.string(map->type);
        json.member("inside");
        json.boolean(map->inside);
        json.raw("}");
    }
    json.raw("}}");
}

const char* materialsJson(ZelMaterial* materials, uint32_t count) {
    Json json;
    json.raw("[");
    for (uint32_t i = 0; i < count; i++) {
        if (i) json.raw(",");
        materialJson(json, &materials[i]);
    }
    json.raw("]");
    state.json = std::move(json.text());
    return state.json.c_str();
}

}  // namespace

// ---- Libraries and reports ------------------------------------------------------------------

// Forgets the libraries, the missing paths and the warnings of the loads before.
ZW_EXPORT void zw_library_clear() {
    state.libraries.clear();
    state.missing.clear();
}

// Adds the library at `path`: its `size` bytes at `data` (copied), or, with `found` 0, none.
ZW_EXPORT void zw_library_add(const char* path, const char* data, size_t size, int found) {
    state.libraries[path] = Library{found ? std::string(data, size) : std::string(), found != 0};
}

ZW_EXPORT uint32_t zw_missing_count() {
    return static_cast<uint32_t>(state.missing.size());
}
ZW_EXPORT const char* zw_missing(uint32_t index) {
    return state.missing[index].c_str();
}

ZW_EXPORT uint32_t zw_warning_count() {
    return static_cast<uint32_t>(state.warnings.size());
}
ZW_EXPORT const char* zw_warning(uint32_t index) {
    return state.warnings[index].c_str();
}

ZW_EXPORT const char* zw_error_message() {
    return state.error.message;
}
ZW_EXPORT uint32_t zw_error_line() {
    return state.error.line;
}
ZW_EXPORT uint32_t zw_error_out_of_memory() {
    return state.error.outofmemory;
}

// ---- Models ---------------------------------------------------------------------------------

namespace {

ZelLoadOptions loadOptions(uint32_t threads, uint32_t flags, double maxBytes) {
    state.missing.clear();
    state.warnings.clear();
    state.error = ZelError{};
    ZelLoadOptions options{};
    options.threads = threads;
    options.flags = flags;
    options.maxbytes = maxBytes > 0 ? static_cast<uint64_t>(maxBytes) : 0;
    options.library = library;
    options.warning = warning;
    return options;
}

}  // namespace

// Reads the `size` bytes at `data` as zelLoadOBJMemory does, libraries from the table. Returns the
// model, or 0 with the failure in zw_error_*. maxBytes is a double: JavaScript numbers hold every
// byte count up to 2^53 exactly.
ZW_EXPORT ZelModel* zw_load(const char* path, const char* data, size_t size, uint32_t threads,
                            uint32_t flags, double maxBytes) {
    ZelLoadOptions options = loadOptions(threads, flags, maxBytes);
    return zelLoadOBJMemory(path, data, size, &options, &state.error);
}

// The same through zelLoadOBJ: the file at `path` in the module's file system, which zel.mjs makes
// over the caller's bytes without copying them, so that the reader takes them a buffer at a time.
ZW_EXPORT ZelModel* zw_load_file(const char* path, uint32_t threads, uint32_t flags,
                                 double maxBytes) {
    ZelLoadOptions options = loadOptions(threads, flags, maxBytes);
    return zelLoadOBJ(path, &options, &state.error);
}

ZW_EXPORT void zw_free_model(ZelModel* model) {
    zelFreeModel(model);
}

// The model's arrays: counts, then addresses of element 1 (the 0-based first element), 0 for an
// array the model has not, then the path and the mtllib. 14 entries.
ZW_EXPORT void zw_model_layout(const ZelModel* model, uint32_t* out) {
    auto from1 = [](const float* array, size_t width) {
        return array ? address(array + width) : 0u;
    };
    out[0] = model->vertexcount;
    out[1] = from1(model->vertices, 3);
    out[2] = from1(model->colors, 3);
    out[3] = model->normalcount;
    out[4] = from1(model->normals, 3);
    out[5] = model->texcoordcount;
    out[6] = from1(model->texcoords, 2);
    out[7] = model->facetnormcount;
    out[8] = from1(model->facetnorms, 3);
    out[9] = model->trianglecount;
    out[10] = address(model->triangles);
    out[11] = address(model->smoothinggroups);
    out[12] = address(model->path);
    out[13] = address(model->mtllib);
}

// Each triangle's three vertex indices, 0-based, into a new array the caller frees (0 when
// memory cannot be had or there are no triangles).
ZW_EXPORT uint32_t* zw_model_faces(const ZelModel* model) {
    uint32_t count = model->trianglecount;
    if (!count) return nullptr;
    auto* faces = static_cast<uint32_t*>(std::malloc(size_t{count} * 3 * sizeof(uint32_t)));
    if (!faces) return nullptr;
    for (uint32_t t = 0; t < count; t++)
        for (int c = 0; c < 3; c++) faces[3 * t + c] = model->triangles[t].vertexidx[c] - 1;
    return faces;
}

ZW_EXPORT uint32_t zw_group_count(const ZelModel* model) {
    return model->groupcount;
}

// The groups in list order, 13 entries each: name, material, triangle count and list, polygon
// count, starts, corners and triangle positions, line count, starts and corners, point count and
// indices. Corners are 3 numbers each (vertex, texture coordinate, normal index).
ZW_EXPORT void zw_group_layout(const ZelModel* model, uint32_t* out) {
    for (const ZelGroup* group = model->groups; group; group = group->next, out += 13) {
        out[0] = address(group->name);
        out[1] = group->material;
        out[2] = group->trianglecount;
        out[3] = address(group->triangleidx);
        out[4] = group->polygoncount;
        out[5] = address(group->polygonstart);
        out[6] = address(group->polygoncorners);
        out[7] = address(group->polygontriangle);
        out[8] = group->linecount;
        out[9] = address(group->linestart);
        out[10] = address(group->linecorners);
        out[11] = group->pointcount;
        out[12] = address(group->pointidx);
    }
}

ZW_EXPORT const char* zw_model_materials(ZelModel* model) {
    return materialsJson(model->materials, model->materialcount);
}

ZW_EXPORT uint32_t zw_model_holds(const ZelModel* model) {
    return zelModelHolds(model);
}

// Checks `mode` against what the model holds, the warnings collected; returns the mode to use.
ZW_EXPORT uint32_t zw_check_mode(const ZelModel* model, uint32_t mode) {
    state.warnings.clear();
    return zelCheckMode(mode, zelModelHolds(model), ZEL_USE_DRAW, "zelMakeMesh", warning, nullptr);
}

ZW_EXPORT void zw_compute_facet_normals(ZelModel* model) {
    zelComputeFacetNormals(model);
}
ZW_EXPORT void zw_vertex_normals(ZelModel* model, float angle) {
    zelVertexNormals(model, angle);
}

// ---- Meshes ---------------------------------------------------------------------------------

// The mesh of `model` under `mode` (checked already), or 0 with the failure in zw_error_*. The
// triangles keep the model's order: meshoptimizer, which orders them for the vertex cache in the
// native build, is not part of this build.
ZW_EXPORT ZelMesh* zw_mesh(const ZelModel* model, uint32_t mode, uint32_t threads) {
    state.error = ZelError{};
    ZelMeshOptions options{};
    options.threads = threads;
    options.keeporder = 1;
    options.quiet = 1;
    return zelBuildMesh(model, mode, &options, &state.error);
}

ZW_EXPORT void zw_free_mesh(ZelMesh* mesh) {
    zelFreeMesh(mesh);
}

// 14 entries: mode, stride, vertex count, vertices, index count, indices, group count, the
// normal, texture coordinate and colour offsets, line index count and indices, point index count
// and indices.
ZW_EXPORT void zw_mesh_layout(const ZelMesh* mesh, uint32_t* out) {
    out[0] = mesh->mode;
    out[1] = mesh->stride;
    out[2] = mesh->vertexcount;
    out[3] = address(mesh->vertices);
    out[4] = mesh->indexcount;
    out[5] = address(mesh->indices);
    out[6] = mesh->groupcount;
    out[7] = mesh->normaloffset;
    out[8] = mesh->texcoordoffset;
    out[9] = mesh->coloroffset;
    out[10] = mesh->lineindexcount;
    out[11] = address(mesh->lineindices);
    out[12] = mesh->pointindexcount;
    out[13] = address(mesh->pointindices);
}

// The mesh's groups, 8 entries each: name, first, count, material, line first and count, point
// first and count.
ZW_EXPORT void zw_mesh_group_layout(const ZelMesh* mesh, uint32_t* out) {
    for (uint32_t i = 0; i < mesh->groupcount; i++, out += 8) {
        const ZelMeshGroup& group = mesh->groups[i];
        out[0] = address(group.name);
        out[1] = group.first;
        out[2] = group.count;
        out[3] = group.material;
        out[4] = group.linefirst;
        out[5] = group.linecount;
        out[6] = group.pointfirst;
        out[7] = group.pointcount;
    }
}

ZW_EXPORT const char* zw_mesh_materials(ZelMesh* mesh) {
    return materialsJson(mesh->materials, mesh->materialcount);
}

ZW_EXPORT uint32_t zw_processor_count() {
    return zelProcessorCount();
}
