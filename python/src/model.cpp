// Models: zel.Model over a ZelModel, with its groups and materials, the operations, saving and
// the making of meshes.
//
// Replaced arrays. Some operations replace an array instead of changing it: zelVertexNormals frees
// the normals and allocates new ones, and so do zelComputeFacetNormals (facet normals), the texture
// coordinate generators (texture coordinates) and zelWeldVertices (vertices). A view of the freed
// array would dangle. So before such an operation, when views of the array exist, the binding
// detaches it: their ViewOwner takes the array (and frees it with the last of those views), and
// the model gets a copy to work on. Views taken before the operation keep the values they had;
// the property gives the new array. Operations that change an array in place (the unit fit,
// scale, translate and flip, the renumbering of the triangles' indices) show through every view.
//
// Threads. While a mesh is made or a model saved without the GIL, another thread's attempt to
// change that model raises instead of racing: the count of such readers is kept under the GIL,
// like every other piece of bookkeeping here.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "module.h"

namespace zelpy {

namespace {

py::object* triangleDtype;  // the structured dtype of ZelTriangle, made once

// A texture map's values, taken when asked for (nothing in the library changes them).
struct TextureMap {
    py::object name, path, offset, scale;
    bool clamp;
    float bumpMultiplier;
    py::object type;
    bool inside;
};

// A material of a model or a mesh: its colours are views (changes reach zelSaveOBJ's MTL file).
struct Material {
    std::shared_ptr<const void> keep;
    ZelMaterial* material;

    py::object colour(float* values) const {
        return view(ownerCapsule(keep), py::dtype::of<float>(), {4}, {sizeof(float)}, values, true);
    }
    py::object colour3(float* values) const {
        return view(ownerCapsule(keep), py::dtype::of<float>(), {3}, {sizeof(float)}, values, true);
    }
    py::object map(uint32_t index) const {
        const ZelTextureMap& map = *zelMaterialMap(material, index);
        if (!map.name) return py::none();
        return py::cast(TextureMap{text(map.name), text(map.path),
                                   py::make_tuple(map.offset[0], map.offset[1], map.offset[2]),
                                   py::make_tuple(map.scale[0], map.scale[1], map.scale[2]),
                                   map.clamp != 0, map.bumpmultiplier,
                                   map.type ? text(map.type) : py::none(), map.inside != 0});
    }
};

struct Group {
    std::shared_ptr<ModelState> state;
    ZelGroup* group;
};

uint32_t normalsMode(py::handle normals) {
    if (normals.is_none()) return ZEL_NONE;
    if (py::isinstance<py::str>(normals)) {
        std::string kind = normals.cast<std::string>();
        if (kind == "flat") return ZEL_FLAT;
        if (kind == "smooth") return ZEL_SMOOTH;
    }
    throw py::value_error("normals must be None, \"flat\" or \"smooth\", not " +
                          std::string(py::repr(normals)));
}

// `mode` without the flags the model's `holds` cannot honour, each dropped flag a ZelWarning with
// the library's line, so that the library, asked only for what the model has, prints nothing. The
// lines are collected first: a warning may raise (warnings as errors), and that must not unwind
// through the library.
uint32_t checkMode(uint32_t mode, uint32_t holds, uint32_t use, const char* operation) {
    std::vector<std::string> lines;
    auto collect = [](void* user, const char* line) noexcept {
        try {
            static_cast<std::vector<std::string>*>(user)->emplace_back(line);
        } catch (...) {
            // Out of memory for a warning's text: the flag is dropped all the same.
        }
    };
    mode = zelCheckMode(mode, holds, use, operation, collect, &lines);
    for (const std::string& line : lines) warn(line.c_str());
    return mode;
}

struct ArrayOf {
    float** slot;
    uint32_t count;
    size_t width;
};

ArrayOf arrayOf(ZelModel* m, Kind kind) {
    switch (kind) {
        case kVertices:
            return {&m->vertices, m->vertexcount, 3};
        case kColors:
            return {&m->colors, m->vertexcount, 3};
        case kNormals:
            return {&m->normals, m->normalcount, 3};
        case kTexcoords:
            return {&m->texcoords, m->texcoordcount, 2};
        default:
            return {&m->facetnorms, m->facetnormcount, 3};
    }
}

// Counts a call that reads the model without the GIL; made and ended with the GIL held.
class Reading {
public:
    explicit Reading(ModelState& state) : state_(state) { state_.readers++; }
    ~Reading() { state_.readers--; }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

private:
    ModelState& state_;
};

class Model {
public:
    explicit Model(std::shared_ptr<ModelState> state) : state_(std::move(state)) {}

    ZelModel* m() const { return state_->model; }

    py::object array(Kind kind) {
        ArrayOf a = arrayOf(m(), kind);
        if (!*a.slot) return py::none();
        return floatRows(ownerOf(kind), *a.slot + a.width, a.count, a.width, a.width);
    }

    py::array triangles() {
        const py::ssize_t count = m()->trianglecount;
        return view(ownerCapsule(state_), py::reinterpret_borrow<py::dtype>(*triangleDtype),
                    {count}, {static_cast<py::ssize_t>(sizeof(ZelTriangle))}, m()->triangles,
                    false);
    }

    // The 0-based vertex indices of the triangles' corners: vertexidx - 1, on every processor for
    // a large model. Reading the triangle records and first touching the new pages is the work.
    // numpy asks for transparent huge pages for a large array, and a fault on one can stall in
    // the kernel's compaction (2.5 million triangles took 8 to 60 ms here, 37 at the median); in
    // plain pages they take 13 to 15. So a large array is allocated here, with that advice undone.
    py::array faces() {
        const size_t count = m()->trianglecount;
        const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(count), 3};
        const size_t bytes = 3 * sizeof(uint32_t) * count, page = 4096;
        py::array out;
        uint32_t* to;
        if (bytes < (size_t{4} << 20)) {
            py::array_t<uint32_t> small(shape);
            to = small.mutable_data();
            out = std::move(small);
        } else {
            std::unique_ptr<void, void (*)(void*)> block(std::malloc(bytes), std::free);
            if (!block) throw std::bad_alloc();
            const uintptr_t start = reinterpret_cast<uintptr_t>(block.get());
            const uintptr_t first = (start + page - 1) / page * page;
            const uintptr_t last = (start + bytes) / page * page;
            madvise(reinterpret_cast<void*>(first), last - first, MADV_NOHUGEPAGE);  // advice only
            py::capsule owner(block.get(), [](void* memory) { std::free(memory); });
            to = static_cast<uint32_t*>(block.release());
            out = view(owner, py::dtype::of<uint32_t>(), shape, {12, 4}, to, true);
        }
        const ZelTriangle* from = m()->triangles;
        auto run = [to, from](size_t begin, size_t end) {
            for (size_t t = begin; t < end; t++) {
                to[3 * t] = from[t].vertexidx[0] - 1;
                to[3 * t + 1] = from[t].vertexidx[1] - 1;
                to[3 * t + 2] = from[t].vertexidx[2] - 1;
            }
        };
        {
            Reading reading(*state_);
            py::gil_scoped_release release;
            const size_t parts = std::min<size_t>({zelProcessorCount(), count / 65536 + 1, 8});
            std::vector<std::thread> threads;
            for (size_t p = 1; p < parts; p++) {
                const size_t begin = count * p / parts, end = count * (p + 1) / parts;
                try {
                    threads.emplace_back(run, begin, end);
                } catch (const std::system_error&) {
                    run(begin, end);  // no thread to be had: this part on this one
                }
            }
            run(0, count / parts);
            for (std::thread& thread : threads) thread.join();
        }
        return out;
    }

    py::object smoothingGroups() {
        if (!m()->smoothinggroups) return py::none();
        return indexList(ownerCapsule(state_), m()->smoothinggroups, m()->trianglecount, false);
    }

    py::list groups() {
        py::list list;
        for (ZelGroup* group = m()->groups; group; group = group->next)
            list.append(Group{state_, group});
        return list;
    }

    py::list materials() { return materialList(state_, m()->materials, m()->materialcount); }

    py::tuple extents() {
        float size[3];
        zelExtents(m(), size);
        return py::make_tuple(size[0], size[1], size[2]);
    }

    float fitToUnitCube() {
        changing();
        return zelFitToUnitCube(m());
    }

    void scale(float factor) {
        changing();
        zelScaleModel(m(), factor);
    }

    void translate(py::handle offset) {
        py::sequence values = py::reinterpret_borrow<py::sequence>(offset);
        if (!PySequence_Check(offset.ptr()) || py::len(values) != 3)
            throw py::value_error("offset must be a sequence of 3 numbers (x, y, z)");
        float xyz[3];
        for (size_t i = 0; i < 3; i++) {
            double value = PyFloat_AsDouble(py::object(values[i]).ptr());
            if (value == -1.0 && PyErr_Occurred()) throw py::error_already_set();
            xyz[i] = static_cast<float>(value);
        }
        changing();
        zelTranslateModel(m(), xyz);
    }

    void flipWinding() {
        changing();
        zelFlipWinding(m());
    }

    void computeFacetNormals() {
        changing();
        detach(kFacetNormals);
        zelComputeFacetNormals(m());
    }

    void vertexNormals(float angle) {
        changing();
        if (!m()->facetnorms)
            throw py::value_error(
                "vertex_normals() needs facet normals: call compute_facet_normals() first");
        detach(kNormals);
        zelVertexNormals(m(), angle);
    }

    void planarTexcoords() {
        changing();
        detach(kTexcoords);
        zelPlanarTexCoords(m());
    }

    void sphereTexcoords() {
        changing();
        if (!m()->normals)
            throw py::value_error(
                "sphere_texcoords() needs normals: read them or call vertex_normals() first");
        detach(kTexcoords);
        zelSphereTexCoords(m());
    }

    void weld(float epsilon) {
        changing();
        // The colours are laid out per vertex: a weld that merges them replaces them too.
        detach(kVertices);
        detach(kColors);
        zelWeldVertices(m(), epsilon);
    }

    void save(py::handle path, py::handle normals, bool texture, bool materials, bool colors,
              bool polygons) {
        const std::string file = pathBytes(path);
        ZelModel* model = m();
        uint32_t mode = normalsMode(normals) | (texture ? ZEL_TEXTURE : 0) |
                        (materials ? ZEL_MATERIAL : 0) | (colors ? ZEL_VERTEXCOLOR : 0) |
                        (polygons ? ZEL_POLYGONS : 0);
        mode = checkMode(mode, zelModelHolds(model), ZEL_USE_WRITE, "zelWriteOBJ");
        ZelError error;
        int saved;
        {
            Reading reading(*state_);
            py::gil_scoped_release release;
            saved = zelSaveOBJ(model, file.c_str(), mode, &error);
        }
        if (!saved) raiseSaveError(error);
    }

    py::object mesh(py::handle normals, bool texture, bool colors) {
        ZelModel* model = m();
        uint32_t mode =
            normalsMode(normals) | (texture ? ZEL_TEXTURE : 0) | (colors ? ZEL_VERTEXCOLOR : 0);
        mode = checkMode(mode, zelModelHolds(model), ZEL_USE_DRAW, "zelMakeMesh");
        Reading reading(*state_);
        return makeMesh(model, mode);
    }

    std::string repr() {
        return "<zel.Model " + std::string(py::repr(text(m()->path))) + ": " +
               std::to_string(m()->vertexcount) + " vertices, " +
               std::to_string(m()->trianglecount) + " triangles, " +
               std::to_string(m()->groupcount) + " groups, " + std::to_string(m()->materialcount) +
               " materials>";
    }

private:
    // The capsule behind the views of array `kind`: one while any view of the current array lives.
    py::object ownerOf(Kind kind) {
        if (ViewOwner* owner = state_->views[kind])
            return py::reinterpret_borrow<py::object>(owner->capsule);
        ViewOwner* owner = nullptr;
        py::object capsule = ownerCapsule(state_, &owner);
        owner->registry = state_.get();
        owner->kind = kind;
        state_->views[kind] = owner;
        return capsule;
    }

    // Before an operation replaces array `kind`: the views of it, if any, take it over, and the
    // model works on a copy.
    void detach(Kind kind) {
        ViewOwner* owner = state_->views[kind];
        if (!owner) return;
        ArrayOf a = arrayOf(m(), kind);
        const size_t floats = a.width * (size_t{a.count} + 1);
        float* copy = static_cast<float*>(std::malloc(floats * sizeof(float)));
        if (!copy) throw std::bad_alloc();
        std::memcpy(copy, *a.slot, floats * sizeof(float));
        owner->detached = *a.slot;
        owner->registry = nullptr;
        state_->views[kind] = nullptr;
        *a.slot = copy;
    }

    void changing() {
        if (state_->readers)
            throw std::runtime_error(
                "the model is being read by another thread (mesh(), save() or faces); change it "
                "once that call has returned");
    }

    std::shared_ptr<ModelState> state_;
};

}  // namespace

py::list materialList(const std::shared_ptr<const void>& keep, ZelMaterial* materials,
                      uint32_t count) {
    py::list list;
    for (uint32_t i = 0; materials && i < count; i++) list.append(Material{keep, &materials[i]});
    return list;
}

py::object modelObject(ZelModel* model) {
    std::shared_ptr<ModelState> state;
    try {
        state = std::make_shared<ModelState>(model);
    } catch (...) {
        zelFreeModel(model);
        throw;
    }
    return py::cast(Model(std::move(state)));
}

void registerModel(py::module_& module) {
    auto numpy = py::module_::import("numpy");
    py::dict fields;
    fields["names"] = py::make_tuple("vertexidx", "normalidx", "texcoordidx", "facetidx");
    fields["formats"] = py::make_tuple("(3,)u4", "(3,)u4", "(3,)u4", "u4");
    fields["offsets"] =
        py::make_tuple(offsetof(ZelTriangle, vertexidx), offsetof(ZelTriangle, normalidx),
                       offsetof(ZelTriangle, texcoordidx), offsetof(ZelTriangle, facetidx));
    fields["itemsize"] = sizeof(ZelTriangle);
    triangleDtype = new py::object(numpy.attr("dtype")(fields));

    py::class_<TextureMap>(module, "TextureMap",
                           "A material's texture map, from an MTL line such as\n"
                           "\"map_Kd -s 2 2 1 -clamp on wood.png\". The library keeps names and "
                           "paths, never pixels.")
        .def_readonly("name", &TextureMap::name,
                      "The file name as the line gives it, options removed (str).")
        .def_readonly("path", &TextureMap::path,
                      "The file to open: `name` with '/' for '\\', after the MTL file's directory "
                      "unless absolute.")
        .def_readonly("offset", &TextureMap::offset, "-o u v w: (u, v, w), (0, 0, 0) when absent.")
        .def_readonly("scale", &TextureMap::scale, "-s u v w: (u, v, w), (1, 1, 1) when absent.")
        .def_readonly("clamp", &TextureMap::clamp, "True for \"-clamp on\".")
        .def_readonly("bump_multiplier", &TextureMap::bumpMultiplier, "-bm, 1 when absent.")
        .def_readonly("type", &TextureMap::type,
                      "-type (a reflection map's \"sphere\", \"cube_top\" ...), None when absent.")
        .def_readonly("inside", &TextureMap::inside,
                      "True when path stays inside the model's folder (relative, never climbing "
                      "out,\nlinks resolved when the file exists). Check it before opening a map "
                      "of a file\nyou did not write.")
        .def("__repr__", [](const TextureMap& map) {
            return "<zel.TextureMap " + std::string(py::repr(map.name)) + ">";
        });

    py::class_<Material> material(
        module, "Material",
        "A material from an MTL library, of a model or of a mesh. The colours "
        "are\nwritable float32 views of the library's memory (R, G, B, A).");
    material
        .def_property_readonly(
            "name", [](const Material& m) { return text(m.material->name); }, "The name (str).")
        .def_property_readonly(
            "diffuse", [](const Material& m) { return m.colour(m.material->diffuse); },
            "Kd as (4,) float32: R, G, B and alpha 1.")
        .def_property_readonly(
            "ambient", [](const Material& m) { return m.colour(m.material->ambient); },
            "Ka as (4,) float32.")
        .def_property_readonly(
            "specular", [](const Material& m) { return m.colour(m.material->specular); },
            "Ks as (4,) float32.")
        .def_property(
            "shininess", [](const Material& m) { return m.material->shininess; },
            [](Material& m, float value) { m.material->shininess = value; },
            "Ns on OpenGL's 0..128 scale.")
        .def_property(
            "dissolve", [](const Material& m) { return m.material->dissolve; },
            [](Material& m, float value) { m.material->dissolve = value; },
            "Opacity: d, else 1 - Tr, else 1.")
        .def_property_readonly(
            "emission", [](const Material& m) { return m.colour3(m.material->emission); },
            "Ke as (3,) float32: R, G, B, (0, 0, 0) when absent.")
        .def_property_readonly(
            "transmission", [](const Material& m) { return m.colour3(m.material->transmission); },
            "Tf, the transmission filter, as (3,) float32, (1, 1, 1) when absent.")
        .def_property(
            "illum", [](const Material& m) { return m.material->illum; },
            [](Material& m, int32_t value) { m.material->illum = value; },
            "The illumination model, -1 when absent.")
        .def_property_readonly(
            "statements",
            [](const Material& m) {
                py::tuple statements(m.material->statementcount);
                for (uint32_t k = 0; k < m.material->statementcount; k++)
                    statements[k] = text(m.material->statements[k]);
                return statements;
            },
            "The material's other statements (Km, sharpness ...), each its line as the file\n"
            "gives it (tuple of str), written back by save.")
        .def("__repr__", [](const Material& m) {
            return "<zel.Material " + std::string(py::repr(text(m.material->name))) + ">";
        });
    // One property per map of the library's table, named here after its keyword.
    const struct {
        const char* keyword;
        const char* name;
    } mapNames[] = {
        {"map_Ka", "ambient_map"},   {"map_Kd", "diffuse_map"},  {"map_Ks", "specular_map"},
        {"map_Ns", "shininess_map"}, {"map_d", "alpha_map"},     {"map_bump", "bump_map"},
        {"map_Ke", "emission_map"},  {"norm", "normal_map"},     {"disp", "displacement_map"},
        {"decal", "decal_map"},      {"refl", "reflection_map"}, {"map_Pr", "roughness_map"},
        {"map_Pm", "metallic_map"},  {"map_Ps", "sheen_map"}};
    for (uint32_t index = 0; index < ZEL_MAP_COUNT; index++) {
        const std::string keyword = zelMapKeyword(index);
        const auto* named = std::find_if(std::begin(mapNames), std::end(mapNames),
                                         [&](const auto& map) { return keyword == map.keyword; });
        if (named == std::end(mapNames))
            throw std::logic_error("the library's map " + keyword + " has no name in zel.Material");
        material.def_property_readonly(
            named->name, [index](const Material& m) { return m.map(index); },
            (keyword + ", or None.").c_str());
    }
    // The parameters that hold one number, each read and written in place.
    const struct {
        const char* name;
        float ZelMaterial::*field;
        const char* doc;
    } numbers[] = {
        {"ior", &ZelMaterial::ior, "Ni, the index of refraction, 1 when absent."},
        {"roughness", &ZelMaterial::roughness, "Pr, 0 when absent."},
        {"metallic", &ZelMaterial::metallic, "Pm, 0 when absent."},
        {"sheen", &ZelMaterial::sheen, "Ps, 0 when absent."},
        {"clearcoat", &ZelMaterial::clearcoat, "Pc, the clearcoat thickness, 0 when absent."},
        {"clearcoat_roughness", &ZelMaterial::clearcoatroughness, "Pcr, 0 when absent."},
        {"anisotropy", &ZelMaterial::anisotropy, "aniso, 0 when absent."},
        {"anisotropy_rotation", &ZelMaterial::anisotropyrotation, "anisor, 0 when absent."},
    };
    for (const auto& number : numbers) {
        const auto field = number.field;
        material.def_property(
            number.name, [field](const Material& m) { return m.material->*field; },
            [field](Material& m, float value) { m.material->*field = value; }, number.doc);
    }

    py::class_<Group>(module, "Group",
                      "A named group of a model's triangles, drawn with one material.")
        .def_property_readonly(
            "name", [](const Group& g) { return text(g.group->name); },
            "The name, as the file gives it after \"g\" (a leading blank included).")
        .def_property_readonly(
            "material", [](const Group& g) { return g.group->material; },
            "0-based index into Model.materials (0 also when the model has none).")
        .def_property_readonly(
            "triangles",
            [](const Group& g) {
                return indexList(ownerCapsule(g.state), g.group->triangleidx,
                                 g.group->trianglecount, false);
            },
            "0-based indices into Model.triangles, as a read-only uint32 view.")
        .def_property_readonly(
            "polygon_starts",
            [](const Group& g) {
                const ZelGroup* group = g.group;
                return indexList(ownerCapsule(g.state), group->polygonstart,
                                 group->polygoncount ? group->polygoncount + 1 : 0, false);
            },
            "The faces kept as written (load(..., polygons=True)): polygon p has the corners\n"
            "polygon_corners[polygon_starts[p]:polygon_starts[p + 1]]; a read-only uint32 view,\n"
            "empty without polygons.")
        .def_property_readonly(
            "polygon_corners",
            [](const Group& g) {
                const ZelGroup* group = g.group;
                return cornerRows(
                    ownerCapsule(g.state), group->polygoncorners,
                    group->polygoncount ? group->polygonstart[group->polygoncount] : 0);
            },
            "(n, 3) uint32 read-only view: each polygon corner's 1-based vertex, texture\n"
            "coordinate and normal index, 0 where the face gives none.")
        .def_property_readonly(
            "polygon_triangles",
            [](const Group& g) {
                return indexList(ownerCapsule(g.state), g.group->polygontriangle,
                                 g.group->polygoncount, false);
            },
            "Where each polygon's triangles start in Group.triangles (a polygon of n corners\n"
            "became the n - 2 entries from there on); a read-only uint32 view.")
        .def_property_readonly(
            "line_starts",
            [](const Group& g) {
                const ZelGroup* group = g.group;
                return indexList(ownerCapsule(g.state), group->linestart,
                                 group->linecount ? group->linecount + 1 : 0, false);
            },
            "The lines (\"l\"): line k has the corners line_corners[line_starts[k]:\n"
            "line_starts[k + 1]]; a read-only uint32 view, empty without lines.")
        .def_property_readonly(
            "line_corners",
            [](const Group& g) {
                const ZelGroup* group = g.group;
                return cornerRows(ownerCapsule(g.state), group->linecorners,
                                  group->linecount ? group->linestart[group->linecount] : 0);
            },
            "(n, 3) uint32 read-only view: each line corner's vertex and texture coordinate\n"
            "index (0 where not given), and 0.")
        .def_property_readonly(
            "points",
            [](const Group& g) {
                return indexList(ownerCapsule(g.state), g.group->pointidx, g.group->pointcount,
                                 false);
            },
            "The points (\"p\"): 1-based vertex indices, a read-only uint32 view.")
        .def("__repr__", [](const Group& g) {
            return "<zel.Group " + std::string(py::repr(text(g.group->name))) + ": " +
                   std::to_string(g.group->trianglecount) + " triangles>";
        });

    py::class_<Model>(module, "Model",
                      "A model read from an OBJ file (zel.load, zel.load_bytes).\n\n"
                      "Arrays are numpy views of the model's memory from element 1 on (OBJ "
                      "indices are 1-based:\nvertex i of the file is vertices[i - 1]); each view "
                      "keeps the model alive. Operations change\nthe model in place and show "
                      "through existing views, except where one replaces an array\n(normals, "
                      "facet normals, texture coordinates, and the vertices by weld): views taken "
                      "before\nkeep the old values, the property gives the new array.")
        .def_property_readonly(
            "path", [](const Model& model) { return text(model.m()->path); },
            "The OBJ path as given to load (or load_bytes).")
        .def_property_readonly(
            "mtllib", [](const Model& model) { return text(model.m()->mtllib); },
            "The material library named by the last mtllib line, or None.")
        .def_property_readonly(
            "vertices", [](Model& model) { return model.array(kVertices); },
            "(n, 3) float32 positions, a writable view.")
        .def_property_readonly(
            "normals", [](Model& model) { return model.array(kNormals); },
            "(n, 3) float32 vertex normals, a writable view, or None.")
        .def_property_readonly(
            "texcoords", [](Model& model) { return model.array(kTexcoords); },
            "(n, 2) float32 texture coordinates, a writable view, or None.")
        .def_property_readonly(
            "colors", [](Model& model) { return model.array(kColors); },
            "(vertices, 3) float32 vertex colours, a writable view, or None.")
        .def_property_readonly(
            "facet_normals", [](Model& model) { return model.array(kFacetNormals); },
            "(n, 3) float32 facet normals (compute_facet_normals), a writable view, or None.")
        .def_property_readonly(
            "triangles", &Model::triangles,
            "The triangle records, a read-only structured view: vertexidx, normalidx and "
            "texcoordidx\n((3,) uint32 each, 1-based as in the file, 0 when never given) and "
            "facetidx.")
        .def_property_readonly(
            "faces", &Model::faces,
            "(t, 3) uint32: each triangle's 0-based vertex indices (vertexidx - 1), for\n"
            "vertices[faces]. A new array each time, computed, not a view.")
        .def_property_readonly(
            "smoothing_groups", &Model::smoothingGroups,
            "Each triangle's smoothing group (\"s N\"; 0 for \"s off\"), a read-only uint32\n"
            "view, or None when the file has no \"s\" statement.")
        .def_property_readonly("groups", &Model::groups,
                               "The groups (Group) in the library's list order: newest first, "
                               "\"default\" last.")
        .def_property_readonly("materials", &Model::materials,
                               "The materials (Material); material 0 is \"default\". Empty "
                               "without a library.")
        .def("extents", &Model::extents,
             "extents(self, /)\n--\n\n"
             "The size along x, y and z, as a tuple: |max| + |min| of each axis's coordinates.")
        .def("fit_to_unit_cube", &Model::fitToUnitCube,
             "fit_to_unit_cube(self, /)\n--\n\n"
             "Centres the model on the origin and scales it so that its largest size is 2.\n"
             "Returns the scale factor.")
        .def("scale", &Model::scale, py::arg("factor"),
             "scale(self, factor, /)\n--\n\n"
             "Multiplies every vertex coordinate by factor (a float32).")
        .def("translate", &Model::translate, py::arg("offset"),
             "translate(self, offset, /)\n--\n\n"
             "Adds offset, a sequence (x, y, z), to every vertex.")
        .def("flip_winding", &Model::flipWinding,
             "flip_winding(self, /)\n--\n\n"
             "Reverses every triangle's winding and negates every facet and vertex normal.")
        .def("compute_facet_normals", &Model::computeFacetNormals,
             "compute_facet_normals(self, /)\n--\n\n"
             "Computes one unit normal per triangle into facet_normals (replacing it) and sets\n"
             "each triangle's facetidx.")
        .def("vertex_normals", &Model::vertexNormals, py::arg("angle"),
             "vertex_normals(self, angle, /)\n--\n\n"
             "Computes smoothed vertex normals into normals (replacing it): at each vertex the\n"
             "facets within angle degrees of its reference facet share one normal, so edges\n"
             "sharper than angle stay sharp (90 is common). Needs facet normals (ValueError\n"
             "without them). The library prints one line on standard error for each vertex no\n"
             "triangle uses.")
        .def("planar_texcoords", &Model::planarTexcoords,
             "planar_texcoords(self, /)\n--\n\n"
             "Generates texture coordinates from x and z, one per vertex (replacing any).")
        .def("sphere_texcoords", &Model::sphereTexcoords,
             "sphere_texcoords(self, /)\n--\n\n"
             "Generates sphere-map texture coordinates, one per normal (replacing any). Needs\n"
             "normals (ValueError without them).")
        .def("weld", &Model::weld, py::arg("epsilon"),
             "weld(self, epsilon, /)\n--\n\n"
             "Merges vertices within epsilon of each other on every axis into one, replacing\n"
             "vertices and renumbering the triangles' vertexidx.")
        .def("save", &Model::save, py::arg("path"), py::kw_only(), py::arg("normals") = py::none(),
             py::arg("texture") = false, py::arg("materials") = false, py::arg("colors") = false,
             py::arg("polygons") = true,
             "save(self, path, *, normals=None, texture=False, materials=False, colors=False, "
             "polygons=True)\n--\n\n"
             "Writes the model as an OBJ file: with normals (None, \"flat\": the facet normals,\n"
             "or \"smooth\": the vertex normals), texture coordinates, materials (usemtl lines,\n"
             "and the MTL library written beside it under the model's mtllib name) and vertex\n"
             "colours as asked; with polygons (the default) the kept polygons, lines, points\n"
             "and smoothing groups too (a model that keeps none is written as without it).\n"
             "A request the model has no data for is dropped with a\n"
             "ZelWarning. Both files are written under temporary names and renamed into place\n"
             "when complete; a failure raises SaveError and leaves them as they were.")
        .def("mesh", &Model::mesh, py::kw_only(), py::arg("normals") = py::none(),
             py::arg("texture") = false, py::arg("colors") = false,
             "mesh(self, *, normals=None, texture=False, colors=False)\n--\n\n"
             "Makes a Mesh: one interleaved vertex per distinct corner holding its position\n"
             "and, as asked, its normal (\"flat\" or \"smooth\"), texture coordinate and\n"
             "colour; three indices per triangle ordered for the vertex cache, group by group.\n"
             "A request the model has no data for is dropped with a ZelWarning. Runs without\n"
             "the GIL, on every processor for a large model.")
        .def("__repr__", &Model::repr);
}

}  // namespace zelpy
