// Fuzzes read, geometry operations, write and read again.
//
// Input layout: byte 0 the write mode (bits 0-6 as given, bit 7 standing for a high bit the writer
// must ignore), which is also the mode of a mesh made before writing; byte 1 the smoothing angle;
// byte 2 the weld epsilon (its low four bits: an index into a table of ordinary and extreme values)
// and how the mesh is made (bits 4-6: runs of 1-7 triangles, or 0 for the usual length; bit 7: on
// two threads); byte 3 the number of operations (0-8) followed by one byte per operation, then the
// OBJ text with its optional "#MTL" library part (see fuzz_support.h).
//
// The operations are called only where their preconditions hold: vertex normals get facet normals
// first, sphere mapping runs only on a model with normals. The mesh of the operated model must
// hold every corner of every group with distinct vertices (mesh_check.h). The written text is then
// read back and compared with the model that was written:
//  - counts: vertices, the normals written (vertex or facet normals), texture coordinates,
//    triangles, materials (one more: the written "default" follows a new built-in one);
//  - values: each exactly what "%f" printing and reading back gives;
//  - indices: every triangle, in written order, with the index triples its face form carries;
//  - materials: every value, map and kept statement, read back in the dialect the model was
//    read in (whole keywords or first letters, chosen by a hash of the input);
//  - groups: each under the name it reads back as (a blank ahead of "default"; a group line ends
//    at its line end, so one carriage return at the end of a short name goes with it), holding the
//    triangles written under it, with its material's name.
// A model whose written indices are not all valid (a face that gave no normal index while the file
// had normals, say) cannot read back: then the second read must fail with its diagnostic line.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "mesh.h"
#include "mesh_check.h"

namespace {

const float kEpsilons[16] = {0.0f, 1e-6f,  1e-4f, 1e-3f, 0.01f, 0.1f,     0.5f,   1.0f,
                             2.0f, 100.0f, 1e30f, -1.0f, NAN,   INFINITY, 1e-40f, FLT_MIN};

// The longest stored line remainder of the reader.
constexpr size_t kLineLimit = 127;

enum Operation { FacetNormals, VertexNormals, PlanarTexCoords, SphereTexCoords, Weld, Fit, Flip };
constexpr int kOperations = 7;

struct Plan {
    uint32_t mode;
    float angle;
    float epsilon;
    zel::MeshOptions mesh;
    std::vector<int> operations;
    size_t textStart;
};

bool parsePlan(const uint8_t* data, size_t size, Plan* plan) {
    if (size < 4) return false;
    plan->mode = (data[0] & 0x7fu) | (uint32_t(data[0] & 0x80u) << 24);
    plan->angle = data[1] == 255 ? NAN : (static_cast<float>(data[1]) - 20.0f) * 1.5f;
    plan->epsilon = kEpsilons[data[2] % 16];
    plan->mesh.runTriangles = (data[2] >> 4) & 7;
    plan->mesh.threads = data[2] & 0x80 ? 2 : 1;
    size_t count = data[3] % 9;
    if (size < 4 + count) return false;
    for (size_t i = 0; i < count; i++) plan->operations.push_back(data[4 + i] % kOperations);
    plan->textStart = 4 + count;
    return true;
}

void apply(ZelModel* model, int operation, const Plan& plan) {
    switch (operation) {
        case FacetNormals:
            zelComputeFacetNormals(model);
            break;
        case VertexNormals:
            if (!model->facetnorms) zelComputeFacetNormals(model);
            zelVertexNormals(model, plan.angle);
            break;
        case PlanarTexCoords:
            zelPlanarTexCoords(model);
            break;
        case SphereTexCoords:
            if (model->normals) zelSphereTexCoords(model);
            break;
        case Weld:
            zelWeldVertices(model, plan.epsilon);
            break;
        case Fit:
            zelFitToUnitCube(model);
            break;
        case Flip:
            zelFlipWinding(model);
            break;
    }
}

// The mode in force after the writer's reconciliation.
uint32_t modeInForce(const ZelModel* m, uint32_t mode) {
    if ((mode & ZEL_FLAT) && !m->facetnorms) mode &= ~ZEL_FLAT;
    if ((mode & ZEL_SMOOTH) && !m->normals) mode &= ~ZEL_SMOOTH;
    if ((mode & ZEL_TEXTURE) && !m->texcoords) mode &= ~ZEL_TEXTURE;
    if ((mode & ZEL_FLAT) && (mode & ZEL_SMOOTH)) mode &= ~ZEL_FLAT;
    if (!m->materials) mode &= ~(ZEL_COLOR | ZEL_MATERIAL);
    if (!m->colors) mode &= ~ZEL_VERTEXCOLOR;
    return mode;
}

// What a float reads back as after "%f".
float printedAndRead(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%f", value);
    return std::strtof(text, nullptr);
}

bool sameFloat(float expected, float actual) {
    if (std::isnan(expected))
        return std::isnan(actual) && std::signbit(expected) == std::signbit(actual);
    uint32_t a, b;
    std::memcpy(&a, &expected, 4);
    std::memcpy(&b, &actual, 4);
    return a == b;
}

void checkValues(const float* written, const float* read, uint32_t count, int width) {
    for (size_t i = 1; i <= count; i++)
        for (int k = 0; k < width; k++)
            FUZZ_CHECK(sameFloat(printedAndRead(written[width * i + k]), read[width * i + k]));
}

bool inRange(uint32_t index, uint32_t count) {
    return index >= 1 && index <= count && index <= INT32_MAX;
}

// Whether every index the face lines carry names an element the file holds.
bool indicesReadable(const ZelModel* m, uint32_t mode) {
    const bool smooth = mode & ZEL_SMOOTH, flat = (mode & ZEL_FLAT) && !smooth,
               texture = mode & ZEL_TEXTURE;
    for (const ZelGroup* g = m->groups; g; g = g->next)
        for (uint32_t i = 0; i < g->trianglecount; i++) {
            const ZelTriangle& t = m->triangles[g->triangleidx[i]];
            if (flat && !inRange(t.facetidx, m->facetnormcount)) return false;
            for (int k = 0; k < 3; k++) {
                if (!inRange(t.vertexidx[k], m->vertexcount)) return false;
                if (texture && !inRange(t.texcoordidx[k], m->texcoordcount)) return false;
                if (smooth && !inRange(t.normalidx[k], m->normalcount)) return false;
            }
        }
    return true;
}

// The name a group written from `name` has when read back. By whole keywords a name has no
// blanks around it and reads back whole.
std::string groupNameReadBack(const char* name, bool wholeKeywords) {
    if (wholeKeywords) return name;
    std::string back =
        name[0] == '\0' || std::strchr(" \t\n\v\f\r", name[0]) ? name : " " + std::string(name);
    // The line "g" + name + line end: its rest is cut at 127 characters, and a carriage return
    // just before the line end belongs to the line end.
    if (back.size() + 1 <= kLineLimit && !back.empty() && back.back() == '\r') back.pop_back();
    return back.substr(0, kLineLimit);
}

// A material name that is one word reads back as itself, cut to the 126 characters that fit in
// the line after "newmtl" or "usemtl" and its blank.
bool isWord(const char* name) {
    if (!*name) return false;
    for (const char* p = name; *p; p++)
        if (std::strchr(" \t\n\v\f\r", *p)) return false;
    return true;
}

std::string materialNameReadBack(const char* name) {
    return std::string(name).substr(0, kLineLimit - 1);
}

// A value written only when it differs from `absent` reads back as `absent` otherwise.
float writtenUnless(float value, float absent) {
    return value == absent ? absent : printedAndRead(value);
}

// The three components of a colour written only when one differs from `absent`.
void checkColour(const float* written, const float* read, float absent) {
    const bool same = written[0] == absent && written[1] == absent && written[2] == absent;
    for (int c = 0; c < 3; c++)
        FUZZ_CHECK(sameFloat(same ? absent : printedAndRead(written[c]), read[c]));
}

// What the MTL convention and its PBR extension add: each value, map and kept statement.
void checkAdded(const ZelMaterial& w, const ZelMaterial& r) {
    checkColour(w.emission, r.emission, 0.0f);
    checkColour(w.transmission, r.transmission, 1.0f);
    FUZZ_CHECK(sameFloat(writtenUnless(w.ior, 1.0f), r.ior));
    FUZZ_CHECK(r.illum == w.illum);
    const float ZelMaterial::*numbers[] = {
        &ZelMaterial::roughness,         &ZelMaterial::metallic,           &ZelMaterial::sheen,
        &ZelMaterial::clearcoat,         &ZelMaterial::clearcoatroughness, &ZelMaterial::anisotropy,
        &ZelMaterial::anisotropyrotation};
    for (auto number : numbers) FUZZ_CHECK(sameFloat(writtenUnless(w.*number, 0.0f), r.*number));
    FUZZ_CHECK(r.statementcount == w.statementcount);
    for (uint32_t k = 0; k < w.statementcount; k++)
        FUZZ_CHECK(std::strcmp(r.statements[k], w.statements[k]) == 0);
}

void checkMaterials(const ZelModel* a, const ZelModel* b, bool wholeKeywords) {
    FUZZ_CHECK(b->materialcount == a->materialcount + 1);
    for (uint32_t i = 0; i < a->materialcount; i++) {
        const ZelMaterial& w = a->materials[i];
        const ZelMaterial& r = b->materials[i + 1];
        // A name read by whole keywords has no blanks around it, and reads back whole.
        if (wholeKeywords)
            FUZZ_CHECK(std::strcmp(r.name, w.name) == 0);
        else if (isWord(w.name))
            FUZZ_CHECK(r.name == materialNameReadBack(w.name));
        checkAdded(w, r);
        for (int k = 0; k < 3; k++) {
            FUZZ_CHECK(sameFloat(printedAndRead(w.ambient[k]), r.ambient[k]));
            FUZZ_CHECK(sameFloat(printedAndRead(w.diffuse[k]), r.diffuse[k]));
            FUZZ_CHECK(sameFloat(printedAndRead(w.specular[k]), r.specular[k]));
        }
        FUZZ_CHECK(r.ambient[3] == 1.0f && r.diffuse[3] == 1.0f && r.specular[3] == 1.0f);
        FUZZ_CHECK(sameFloat(w.dissolve == 1.0f ? 1.0f : printedAndRead(w.dissolve), r.dissolve));
        // Each map comes back with its name and its options as "%f" writes them; an option at its
        // default is not written.
        ZelTextureMap wm[ZEL_MAP_COUNT], rm[ZEL_MAP_COUNT];
        for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
            wm[k] = *zelMaterialMap(const_cast<ZelMaterial*>(&w), k);
            rm[k] = *zelMaterialMap(const_cast<ZelMaterial*>(&r), k);
        }
        for (uint32_t k = 0; k < ZEL_MAP_COUNT; k++) {
            FUZZ_CHECK((wm[k].name == nullptr) == (rm[k].name == nullptr));
            if (!wm[k].name) continue;
            FUZZ_CHECK(std::strcmp(wm[k].name, rm[k].name) == 0);
            auto vector = [](const float* written, const float* read, float usual) {
                const bool same = written[0] == usual && written[1] == usual && written[2] == usual;
                for (int c = 0; c < 3; c++)
                    FUZZ_CHECK(sameFloat(same ? usual : printedAndRead(written[c]), read[c]));
            };
            vector(wm[k].offset, rm[k].offset, 0.0f);
            vector(wm[k].scale, rm[k].scale, 1.0f);
            FUZZ_CHECK(rm[k].clamp == (wm[k].clamp != 0));
            const float bm = wm[k].bumpmultiplier;
            FUZZ_CHECK(sameFloat(bm == 1.0f ? 1.0f : printedAndRead(bm), rm[k].bumpmultiplier));
            FUZZ_CHECK((wm[k].type == nullptr) == (rm[k].type == nullptr));
            FUZZ_CHECK(!wm[k].type || std::strcmp(wm[k].type, rm[k].type) == 0);
        }
        float shininess = printedAndRead(static_cast<double>(w.shininess) / 128.0 * 1000.0);
        shininess = static_cast<float>(shininess / 1000.0);
        shininess = static_cast<float>(shininess * 128.0);
        FUZZ_CHECK(sameFloat(shininess, r.shininess));
    }
}

void checkReadBack(const ZelModel* a, const ZelModel* b, uint32_t mode, uint32_t flags) {
    const bool smooth = mode & ZEL_SMOOTH, flat = (mode & ZEL_FLAT) && !smooth,
               texture = mode & ZEL_TEXTURE, material = mode & ZEL_MATERIAL;
    fuzz::checkModel(b, flags);

    FUZZ_CHECK(b->vertexcount == a->vertexcount);
    checkValues(a->vertices, b->vertices, a->vertexcount, 3);
    if (mode & ZEL_VERTEXCOLOR) {
        FUZZ_CHECK(b->colors != nullptr);
        checkValues(a->colors, b->colors, a->vertexcount, 3);
    } else {
        FUZZ_CHECK(b->colors == nullptr);
    }
    if (smooth) {
        FUZZ_CHECK(b->normalcount == a->normalcount);
        checkValues(a->normals, b->normals, a->normalcount, 3);
    } else if (flat) {
        FUZZ_CHECK(b->normalcount == a->facetnormcount);
        checkValues(a->facetnorms, b->normals, a->facetnormcount, 3);
    } else {
        FUZZ_CHECK(b->normalcount == 0);
    }
    if (texture) {
        FUZZ_CHECK(b->texcoordcount == a->texcoordcount);
        checkValues(a->texcoords, b->texcoords, a->texcoordcount, 2);
    } else {
        FUZZ_CHECK(b->texcoordcount == 0);
    }

    if (material && a->mtllib) {
        FUZZ_CHECK(b->mtllib != nullptr);
        checkMaterials(a, b, flags & ZEL_LOAD_WHOLE_KEYWORDS);
    } else {
        FUZZ_CHECK(b->materialcount == 0);
    }

    // Triangles, in the order they were written.
    FUZZ_CHECK(b->trianglecount == a->trianglecount);
    std::map<std::string, std::vector<uint32_t>> expectedGroups;
    std::map<std::string, const char*> expectedMaterial;
    uint32_t position = 0;
    for (const ZelGroup* g = a->groups; g; g = g->next) {
        const std::string name = groupNameReadBack(g->name, flags & ZEL_LOAD_WHOLE_KEYWORDS);
        std::vector<uint32_t>& list = expectedGroups[name];
        if (material && a->mtllib) expectedMaterial[name] = a->materials[g->material].name;
        for (uint32_t i = 0; i < g->trianglecount; i++, position++) {
            const ZelTriangle& w = a->triangles[g->triangleidx[i]];
            const ZelTriangle& r = b->triangles[position];
            for (int k = 0; k < 3; k++) {
                FUZZ_CHECK(r.vertexidx[k] == w.vertexidx[k]);
                FUZZ_CHECK(r.texcoordidx[k] == (texture ? w.texcoordidx[k] : 0));
                FUZZ_CHECK(r.normalidx[k] == (smooth ? w.normalidx[k] : flat ? w.facetidx : 0));
            }
            list.push_back(position);
        }
    }
    FUZZ_CHECK(position == a->trianglecount);

    // Groups: the built-in "default" (empty: the file starts with a group line) and one per name.
    // By whole keywords "g default" names the built-in one.
    const bool named = expectedGroups.count("default");
    FUZZ_CHECK(!named || (flags & ZEL_LOAD_WHOLE_KEYWORDS));
    FUZZ_CHECK(b->groupcount == expectedGroups.size() + !named);
    for (const ZelGroup* h = b->groups; h; h = h->next) {
        auto found = expectedGroups.find(h->name);
        if (found == expectedGroups.end()) {
            FUZZ_CHECK(std::strcmp(h->name, "default") == 0);
            FUZZ_CHECK(h->trianglecount == 0);
            continue;
        }
        const std::vector<uint32_t>& list = found->second;
        FUZZ_CHECK(h->trianglecount == list.size());
        FUZZ_CHECK(list.empty() || std::memcmp(h->triangleidx, list.data(), 4 * list.size()) == 0);
        auto used = expectedMaterial.find(h->name);
        if (used == expectedMaterial.end()) continue;
        if (flags & ZEL_LOAD_WHOLE_KEYWORDS)
            FUZZ_CHECK(std::strcmp(b->materials[h->material].name, used->second) == 0);
        else if (isWord(used->second))
            FUZZ_CHECK(b->materials[h->material].name == materialNameReadBack(used->second));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Plan plan;
    if (!parsePlan(data, size, &plan)) return 0;
    const fuzz::ObjInput input = fuzz::splitObjMtl(data + plan.textStart, size - plan.textStart);
    fuzz::MtlServer server{&input};
    const zel::TextProvider library = server.provider();
    // The material libraries' dialect, from a hash of the input, so that mutations move it; the
    // text is read back in the dialect it was read in.
    uint64_t hash = 14695981039346656037u;
    for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 1099511628211u;
    zel::ReadOptions options;
    options.flags = (hash >> 60) % 2 ? ZEL_LOAD_WHOLE_KEYWORDS : 0;
    options.libraries = &library;
    ZelModel* model = nullptr;
    if (!zel::readOBJMemory("fuzz/model.obj", input.obj.data(), input.obj.size(), options, &model)
             .ok)
        return 0;

    for (int operation : plan.operations) apply(model, operation, plan);

    ZelMesh* mesh = zel::makeMesh(model, plan.mode, plan.mesh);
    FUZZ_CHECK(mesh != nullptr);
    FUZZ_CHECK(zeltest::meshMismatch(model, plan.mode, mesh).empty());
    zelFreeMesh(mesh);

    std::string obj, mtl;
    zel::Status written = zel::writeOBJMemory(model, plan.mode, &obj, &mtl);
    FUZZ_CHECK(written.ok);
    const uint32_t mode = modeInForce(model, plan.mode);
    FUZZ_CHECK(mtl.empty() == !((mode & ZEL_MATERIAL) && model->mtllib));

    ZelModel* back = nullptr;
    const zel::TextProvider writtenLibrary = [&mtl](const std::string&, std::string& text) {
        text = mtl;
        return !mtl.empty();
    };
    options.libraries = &writtenLibrary;
    zel::Status read = zel::readOBJMemory("fuzz/back.obj", obj.data(), obj.size(), options, &back);
    if (indicesReadable(model, mode)) {
        FUZZ_CHECK(read.ok);
        checkReadBack(model, back, mode, options.flags);
        zelFreeModel(back);
    } else {
        fuzz::checkFailureLine(read);
        FUZZ_CHECK(read.message.find("does not name one of") != std::string::npos);
    }
    zelFreeModel(model);
    return 0;
}
