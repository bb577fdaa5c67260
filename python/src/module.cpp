// The extension module behind the Python package `zel` (zel/__init__.py re-exports it): loading,
// the operations, saving and meshes of zel.h, with every array of a model or a mesh handed to
// Python as a numpy view of the library's own memory. Only the public header is used.
//
// Ownership. A model is held by a ModelState, which frees it with zelFreeModel when its last share
// goes. The Python Model, its Groups and Materials, and every view hold a share: a view's base
// object is a capsule holding a ViewOwner, which holds one. So a view keeps its model alive for as
// long as it lives, and the model is freed once the last of them is gone. Meshes are held the same
// way by a MeshState.
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
// Threads. Loading and making meshes run with the GIL released. While a mesh is made or a model
// saved without the GIL, another thread's attempt to change that model raises instead of racing:
// the count of such readers is kept under the GIL, like every other piece of bookkeeping here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "zel.h"

namespace py = pybind11;

namespace {

PyObject* loadErrorType;
PyObject* saveErrorType;
PyObject* warningType;
py::object* triangleDtype;  // the structured dtype of ZelTriangle, made once

// ---- Strings and paths
// ---------------------------------------------------------------------------

// A string of the library (a path, a group or material name) as Python text, or None. Names are
// bytes from the file: they are decoded as file names are (UTF-8, other bytes kept as surrogates),
// so nothing is lost and os.fsencode gives the bytes back.
py::object text(const char* value) {
    if (!value) return py::none();
    PyObject* decoded = PyUnicode_DecodeFSDefault(value);
    if (!decoded) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(decoded);
}

// A path argument (str, bytes or os.PathLike) as the bytes the C library opens.
std::string pathBytes(py::handle path) {
    PyObject* bytes = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &bytes)) throw py::error_already_set();
    py::object hold = py::reinterpret_steal<py::object>(bytes);
    return std::string(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
}

// An integer argument within 0..limit, with a plain message when it is not.
uint64_t countArgument(py::handle value, const char* name, uint64_t limit) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(name) + " must be an int, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (!number) throw py::error_already_set();
    if (number < py::int_(0) || number > py::int_(limit))
        throw py::value_error(std::string(name) + " must be within 0.." + std::to_string(limit) +
                              ", not " + std::string(py::str(number)));
    return number.cast<uint64_t>();
}

// Issues `message` as a zel.ZelWarning, attributed to the Python line that called into the module.
void warn(const std::string& message) {
    static py::handle warnFunction =
        py::object(py::module_::import("warnings").attr("warn")).release();
    warnFunction(text(message.c_str()), py::handle(warningType), 1);
}

// ---- Views
// ---------------------------------------------------------------------------------------

struct ModelState;

enum Kind { kVertices, kColors, kNormals, kTexcoords, kFacetNormals, kKinds };

// What a view's base capsule holds: a share of the model or mesh that owns the memory. The owner of
// a model array's views is registered in the model's state while the array is the model's current
// one (see detach), and then takes the array over.
struct ViewOwner {
    std::shared_ptr<const void> keep;
    ModelState* registry = nullptr;  // the model whose current array `kind` the views show
    Kind kind = kVertices;
    float* detached = nullptr;    // an array the model no longer holds, freed with the last view
    PyObject* capsule = nullptr;  // the capsule that owns this owner (borrowed)
    ~ViewOwner();
};

struct ModelState {
    ZelModel* model;
    ViewOwner* views[kKinds] = {};
    int readers = 0;  // calls reading the model without the GIL (mesh, save, faces)
    explicit ModelState(ZelModel* m) : model(m) {}
    ModelState(const ModelState&) = delete;
    ModelState& operator=(const ModelState&) = delete;
    ~ModelState() { zelFreeModel(model); }
};

ViewOwner::~ViewOwner() {
    if (registry && registry->views[kind] == this) registry->views[kind] = nullptr;
    std::free(detached);
}

py::object ownerCapsule(std::shared_ptr<const void> keep, ViewOwner** made = nullptr) {
    auto owner = std::make_unique<ViewOwner>();
    owner->keep = std::move(keep);
    py::capsule capsule(owner.get(), [](void* p) { delete static_cast<ViewOwner*>(p); });
    owner->capsule = capsule.ptr();
    if (made) *made = owner.get();
    owner.release();
    return std::move(capsule);
}

// A view of `data` laid out as `shape` with byte `strides`, whose memory `base` keeps alive.
py::array view(py::handle base, const py::dtype& dtype, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides, const void* data, bool writable) {
    // An empty array still needs an address; numpy never reads through it.
    alignas(16) static const uint32_t nothing[4] = {};
    py::array array(dtype, std::move(shape), std::move(strides), data ? data : nothing, base);
    if (!writable || !data)
        py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

py::array floatRows(py::handle base, const float* data, size_t rows, size_t columns,
                    size_t rowFloats, bool writable = true) {
    const py::ssize_t item = sizeof(float);
    return view(base, py::dtype::of<float>(),
                {static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)},
                {static_cast<py::ssize_t>(rowFloats) * item, item}, data, writable);
}

py::array indexList(py::handle base, const uint32_t* data, size_t count, bool writable) {
    return view(base, py::dtype::of<uint32_t>(), {static_cast<py::ssize_t>(count)},
                {static_cast<py::ssize_t>(sizeof(uint32_t))}, data, writable);
}

// ---- Materials, groups
// -----------------------------------------------------------------------------

// A texture map's values, taken when asked for (nothing in the library changes them).
struct TextureMap {
    py::object name, path, offset, scale;
    bool clamp;
    float bumpMultiplier;
};

// A material of a model or a mesh: its colours are views (changes reach zelSaveOBJ's MTL file).
struct Material {
    std::shared_ptr<const void> keep;
    ZelMaterial* material;

    py::object colour(float* values) const {
        return view(ownerCapsule(keep), py::dtype::of<float>(), {4}, {sizeof(float)}, values, true);
    }
    py::object map(const ZelTextureMap& map) const {
        if (!map.name) return py::none();
        return py::cast(TextureMap{text(map.name), text(map.path),
                                   py::make_tuple(map.offset[0], map.offset[1], map.offset[2]),
                                   py::make_tuple(map.scale[0], map.scale[1], map.scale[2]),
                                   map.clamp != 0, map.bumpmultiplier});
    }
};

py::list materialList(const std::shared_ptr<const void>& keep, ZelMaterial* materials,
                      uint32_t count) {
    py::list list;
    for (uint32_t i = 0; materials && i < count; i++) list.append(Material{keep, &materials[i]});
    return list;
}

struct Group {
    std::shared_ptr<ModelState> state;
    ZelGroup* group;
};

struct MeshGroup {
    py::object name;
    uint32_t first, count, material;
};

// ---- Modes and their warnings
// --------------------------------------------------------------------

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

// What a model holds, flag by flag, with the library's warning for a request it cannot honour.
struct ModeCheck {
    uint32_t flag;
    bool missing;
    const char* text;
};

// Drops the flags the model cannot honour with a ZelWarning each, in the library's order and with
// its texts, so that the library, asked only for what the model has, prints nothing.
uint32_t reconcile(uint32_t mode, const char* operation, std::initializer_list<ModeCheck> checks) {
    for (const ModeCheck& check : checks)
        if ((mode & check.flag) && check.missing) {
            mode &= ~check.flag;
            warn(std::string(operation) + "() warning: " + check.text);
        }
    return mode;
}

// ---- Models
// ----------------------------------------------------------------------------------------

struct ModelFree {
    void operator()(ZelModel* model) const { zelFreeModel(model); }
};
using ModelPtr = std::unique_ptr<ZelModel, ModelFree>;

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

// Processors this process may run on (its affinity mask).
unsigned usableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

class Model {
public:
    explicit Model(ModelPtr model) : state_(std::make_shared<ModelState>(model.get())) {
        model.release();
    }

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
            const size_t parts = std::min<size_t>({usableProcessors(), count / 65536 + 1, 8});
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

    void save(py::handle path, py::handle normals, bool texture, bool materials, bool colors) {
        const std::string file = pathBytes(path);
        ZelModel* model = m();
        uint32_t mode = normalsMode(normals) | (texture ? ZEL_TEXTURE : 0) |
                        (materials ? ZEL_MATERIAL : 0) | (colors ? ZEL_VERTEXCOLOR : 0);
        mode =
            reconcile(mode, "zelWriteOBJ",
                      {{ZEL_FLAT, !model->facetnorms,
                        "flat normal output requested with no facet normals defined."},
                       {ZEL_SMOOTH, !model->normals,
                        "smooth normal output requested with no normals defined."},
                       {ZEL_TEXTURE, !model->texcoords,
                        "texture coordinate output requested with no texture coordinates defined."},
                       {ZEL_MATERIAL, !model->materials,
                        "material output requested with no materials defined."},
                       {ZEL_VERTEXCOLOR, !model->colors,
                        "vertex color output requested with no vertex colors defined."}});
        ZelError error;
        int saved;
        {
            Reading reading(*state_);
            py::gil_scoped_release release;
            saved = zelSaveOBJ(model, file.c_str(), mode, &error);
        }
        if (!saved) {
            py::object exception = py::handle(saveErrorType)(text(error.message));
            PyErr_SetObject(saveErrorType, exception.ptr());
            throw py::error_already_set();
        }
    }

    py::object mesh(py::handle normals, bool texture, bool colors);

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

// ---- Meshes
// ------------------------------------------------------------------------------------------

struct MeshState {
    ZelMesh* mesh;
    explicit MeshState(ZelMesh* m) : mesh(m) {}
    MeshState(const MeshState&) = delete;
    MeshState& operator=(const MeshState&) = delete;
    ~MeshState() { zelFreeMesh(mesh); }
};

class Mesh {
public:
    explicit Mesh(ZelMesh* mesh) {
        try {
            state_ = std::make_shared<MeshState>(mesh);
        } catch (...) {
            zelFreeMesh(mesh);
            throw;
        }
    }

    ZelMesh* m() const { return state_->mesh; }

    py::array vertices() { return columns(0, m()->stride); }
    py::array indices() {
        return view(ownerCapsule(state_), py::dtype::of<uint32_t>(),
                    {static_cast<py::ssize_t>(m()->indexcount / 3), py::ssize_t{3}},
                    {3 * py::ssize_t{sizeof(uint32_t)}, py::ssize_t{sizeof(uint32_t)}},
                    m()->indices, true);
    }

    // Where each attribute sits in a vertex: x y z, then the normal, the texture coordinate and
    // the colour, each when the mesh holds it.
    py::object attribute(uint32_t flags, size_t width) {
        const uint32_t mode = m()->mode;
        size_t at = 3;
        for (uint32_t flag : {ZEL_FLAT | ZEL_SMOOTH, ZEL_TEXTURE, ZEL_VERTEXCOLOR}) {
            const size_t size = flag == ZEL_TEXTURE ? 2 : 3;
            if (flag == flags) {
                if (!(mode & flag) || at + size > m()->stride || size != width) return py::none();
                return columns(at, size);
            }
            if (mode & flag) at += size;
        }
        return py::none();
    }

    py::list groups() {
        py::list list;
        for (uint32_t i = 0; i < m()->groupcount; i++) {
            const ZelMeshGroup& g = m()->groups[i];
            list.append(MeshGroup{text(g.name), g.first, g.count, g.material});
        }
        return list;
    }

    py::list materials() { return materialList(state_, m()->materials, m()->materialcount); }

    py::array columns(size_t first, size_t count) {
        return floatRows(ownerCapsule(state_), m()->vertices + first, m()->vertexcount, count,
                         m()->stride);
    }

private:
    std::shared_ptr<MeshState> state_;
};

// A model zelMakeMesh would refuse (its preconditions, and the 32-bit index limit), with why; ""
// when it may be made. Models the reader and the operations make always pass.
std::string meshProblem(const ZelModel* model, uint32_t mode) {
    uint64_t entries = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        const std::string where = "group \"" + std::string(group->name) + "\": ";
        entries += group->trianglecount;
        if (model->materials && group->material >= model->materialcount)
            return where + "material " + std::to_string(group->material) + " is not one of the " +
                   std::to_string(model->materialcount) + " materials";
        if (group->trianglecount && !group->triangleidx) return where + "no triangle list";
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const uint32_t index = group->triangleidx[e];
            if (index >= model->trianglecount)
                return where + "triangle " + std::to_string(index) + " is not one of the " +
                       std::to_string(model->trianglecount) + " triangles";
            const ZelTriangle& t = model->triangles[index];
            bool bad = (mode & ZEL_FLAT) && t.facetidx > model->facetnormcount;
            for (int k = 0; k < 3; k++)
                bad = bad || t.vertexidx[k] > model->vertexcount ||
                      ((mode & ZEL_SMOOTH) && t.normalidx[k] > model->normalcount) ||
                      ((mode & ZEL_TEXTURE) && t.texcoordidx[k] > model->texcoordcount);
            if (bad)
                return where + "triangle " + std::to_string(index) +
                       " has an index beyond its array";
        }
    }
    if (entries > UINT32_MAX / 3)
        return "the groups list " + std::to_string(entries) +
               " triangles, more than 32-bit indices can count";
    return "";
}

py::object Model::mesh(py::handle normals, bool texture, bool colors) {
    ZelModel* model = m();
    uint32_t mode =
        normalsMode(normals) | (texture ? ZEL_TEXTURE : 0) | (colors ? ZEL_VERTEXCOLOR : 0);
    mode = reconcile(
        mode, "zelMakeMesh",
        {{ZEL_FLAT, !model->facetnorms,
          "flat render mode requested with no facet normals defined."},
         {ZEL_SMOOTH, !model->normals, "smooth render mode requested with no normals defined."},
         {ZEL_TEXTURE, !model->texcoords,
          "texture render mode requested with no texture coordinates defined."},
         {ZEL_VERTEXCOLOR, !model->colors,
          "vertex color render mode requested with no vertex colors defined."}});
    std::string problem;
    ZelMesh* made = nullptr;
    {
        Reading reading(*state_);
        py::gil_scoped_release release;
        problem = meshProblem(model, mode);
        if (problem.empty()) made = zelMakeMesh(model, mode);
    }
    if (!problem.empty()) throw py::value_error("no mesh can be made of this model: " + problem);
    if (!made) throw std::runtime_error("zelMakeMesh() failed");
    return py::cast(Mesh(made));
}

// ---- Loading
// ---------------------------------------------------------------------------------------

// One load's dealings with Python: the warnings the reader reports (on any thread, without the GIL)
// and the `library` callable, called with the GIL taken back. An exception the callable raises is
// kept, the reader is told there is no such library, and the exception is raised again once the
// load has returned. Made and destroyed with the GIL held.
class LoadCall {
public:
    explicit LoadCall(py::object library) : library_(std::move(library)) {}
    LoadCall(const LoadCall&) = delete;
    LoadCall& operator=(const LoadCall&) = delete;
    ~LoadCall() {
        releaseLibrary();
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
    }

    bool hasLibrary() const { return !library_.is_none(); }

    static void warning(void* user, const char* message) noexcept {
        auto* call = static_cast<LoadCall*>(user);
        try {
            std::lock_guard<std::mutex> lock(call->mutex_);
            call->warnings_.emplace_back(message);
        } catch (...) {
            // Out of memory for a warning's text: the load itself reports what it runs into.
        }
    }

    static int library(void* user, const char* path, const char** data, size_t* size) noexcept {
        auto* call = static_cast<LoadCall*>(user);
        PyGILState_STATE gil = PyGILState_Ensure();
        int supplied = 0;
        if (!call->type_) {
            try {
                call->releaseLibrary();
                py::object bytes = call->library_(text(path));
                if (!bytes.is_none()) {
                    if (PyUnicode_Check(bytes.ptr()))
                        throw py::type_error(
                            "the library callable must return bytes or None, not str");
                    if (PyObject_GetBuffer(bytes.ptr(), &call->held_, PyBUF_SIMPLE) != 0)
                        throw py::error_already_set();
                    call->holding_ = true;
                    *data = static_cast<const char*>(call->held_.buf);
                    *size = static_cast<size_t>(call->held_.len);
                    supplied = 1;
                }
            } catch (...) {
                call->keepException();
            }
        }
        PyGILState_Release(gil);
        return supplied;
    }

    // After the load, with the GIL: the warnings, then the callable's exception, if any.
    void finish() {
        releaseLibrary();
        for (const std::string& message : warnings_) warn(message);
        if (type_) {
            PyErr_Restore(type_, value_, traceback_);
            type_ = value_ = traceback_ = nullptr;
            throw py::error_already_set();
        }
    }

private:
    void releaseLibrary() {
        if (holding_) PyBuffer_Release(&held_);
        holding_ = false;
    }

    // With a C++ exception in flight and the GIL held: keeps it as a Python exception.
    void keepException() {
        try {
            throw;
        } catch (py::error_already_set& e) {
            e.restore();
        } catch (py::builtin_exception& e) {
            e.set_error();
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (...) {
            PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception in the library callable");
        }
        PyErr_Fetch(&type_, &value_, &traceback_);
    }

    py::object library_;
    std::mutex mutex_;
    std::vector<std::string> warnings_;
    Py_buffer held_{};
    bool holding_ = false;
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

// The bytes of a bytes-like object, held while the GIL is released.
class Bytes {
public:
    explicit Bytes(py::handle data) {
        if (PyObject_GetBuffer(data.ptr(), &buffer_, PyBUF_SIMPLE) != 0)
            throw py::error_already_set();
    }
    ~Bytes() { PyBuffer_Release(&buffer_); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    const char* data() const { return static_cast<const char*>(buffer_.buf); }
    size_t size() const { return static_cast<size_t>(buffer_.len); }

private:
    Py_buffer buffer_;
};

py::object load(const std::string& path, const Bytes* data, py::object library, py::handle threads,
                bool objects, bool missingLibraries, bool unknownKeywords, py::handle maxBytes) {
    if (!library.is_none() && !PyCallable_Check(library.ptr()))
        throw py::type_error("library must be a callable or None");
    LoadCall call(std::move(library));
    ZelLoadOptions options{};
    options.threads = static_cast<uint32_t>(countArgument(threads, "threads", UINT32_MAX));
    options.maxbytes = countArgument(maxBytes, "max_bytes", UINT64_MAX);
    options.flags = (objects ? ZEL_LOAD_OBJECTS : 0) |
                    (missingLibraries ? ZEL_LOAD_MISSING_LIBRARIES : 0) |
                    (unknownKeywords ? ZEL_LOAD_UNKNOWN_KEYWORDS : 0);
    options.warning = LoadCall::warning;
    options.library = call.hasLibrary() ? LoadCall::library : nullptr;
    options.user = &call;
    ZelError error;
    ModelPtr model;
    {
        py::gil_scoped_release release;
        model.reset(
            data ? zelLoadOBJMemory(path.c_str(), data->data(), data->size(), &options, &error)
                 : zelLoadOBJ(path.c_str(), &options, &error));
    }
    call.finish();
    if (!model) {
        py::object exception = py::handle(loadErrorType)(text(error.message));
        exception.attr("line") = error.line;
        PyErr_SetObject(loadErrorType, exception.ptr());
        throw py::error_already_set();
    }
    return py::cast(Model(std::move(model)));
}

// ---- The module ---------------------------------------------------------------------------------

PyObject* newException(const char* name, PyObject* base, const char* doc, py::dict attributes) {
    PyObject* type = PyErr_NewExceptionWithDoc(name, doc, base, attributes.ptr());
    if (!type) throw py::error_already_set();
    return type;
}

const char* const kModuleDoc = R"(Wavefront OBJ models with their MTL materials, as numpy arrays.

The zel library's models, operations, writer and meshes for Python. A model's arrays are numpy
views of the library's own memory, not copies; a view keeps its model alive.

    import zel
    model = zel.load("ship.obj")
    model.vertices            # (n, 3) float32, a view
    model.faces               # (t, 3) uint32, 0-based indices into model.vertices
    model.compute_facet_normals()
    model.vertex_normals(90)
    mesh = model.mesh(normals="smooth")
    model.save("out.obj", normals="smooth", materials=True)
)";

}  // namespace

PYBIND11_MODULE(_zel, module) {
    py::options options;
    options.disable_function_signatures();
    module.doc() = kModuleDoc;
    module.attr("__version__") = ZEL_VERSION_STRING;

    py::dict lineDefault;
    lineDefault["line"] = 0;
    loadErrorType = newException(
        "zel.LoadError", PyExc_ValueError,
        "An OBJ file or its material library could not be read.\n\n"
        "str(error) is the line the library reports; `line` is the 1-based line of the file it is "
        "about\n(a face with a bad index, an unknown keyword, the mtllib of a missing library), or "
        "0.",
        lineDefault);
    saveErrorType = newException(
        "zel.SaveError", PyExc_OSError,
        "A model could not be written; str(error) is the line the library reports. The files "
        "under\nthe target names are left as they were.",
        py::dict());
    warningType = newException(
        "zel.ZelWarning", PyExc_UserWarning,
        "A line the library reports and goes on: a material it cannot find, a request a model "
        "cannot\nhonour (the flag is dropped).",
        py::dict());
    module.attr("LoadError") = py::handle(loadErrorType);
    module.attr("SaveError") = py::handle(saveErrorType);
    module.attr("ZelWarning") = py::handle(warningType);

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
        .def("__repr__", [](const TextureMap& map) {
            return "<zel.TextureMap " + std::string(py::repr(map.name)) + ">";
        });

    py::class_<Material>(module, "Material",
                         "A material from an MTL library, of a model or of a mesh. The colours "
                         "are\nwritable float32 views of the library's memory (R, G, B, A).")
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
            "diffuse_map", [](const Material& m) { return m.map(m.material->diffusemap); },
            "map_Kd, or None.")
        .def_property_readonly(
            "ambient_map", [](const Material& m) { return m.map(m.material->ambientmap); },
            "map_Ka, or None.")
        .def_property_readonly(
            "specular_map", [](const Material& m) { return m.map(m.material->specularmap); },
            "map_Ks, or None.")
        .def_property_readonly(
            "shininess_map", [](const Material& m) { return m.map(m.material->shininessmap); },
            "map_Ns, or None.")
        .def_property_readonly(
            "alpha_map", [](const Material& m) { return m.map(m.material->alphamap); },
            "map_d, or None.")
        .def_property_readonly(
            "bump_map", [](const Material& m) { return m.map(m.material->bumpmap); },
            "map_bump, map_Bump or bump, or None.")
        .def("__repr__", [](const Material& m) {
            return "<zel.Material " + std::string(py::repr(text(m.material->name))) + ">";
        });

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
        .def("__repr__", [](const Group& g) {
            return "<zel.Group " + std::string(py::repr(text(g.group->name))) + ": " +
                   std::to_string(g.group->trianglecount) + " triangles>";
        });

    py::class_<MeshGroup>(module, "MeshGroup",
                          "One group's range of a mesh's indices, as glDrawElements takes it.")
        .def_readonly("name", &MeshGroup::name, "The model group's name.")
        .def_readonly("first", &MeshGroup::first,
                      "The first entry of Mesh.indices.ravel() (3 per triangle).")
        .def_readonly("count", &MeshGroup::count, "Entries in the range: 3 per triangle.")
        .def_readonly("material", &MeshGroup::material, "0-based index into Mesh.materials.")
        .def("__repr__", [](const MeshGroup& g) {
            return "<zel.MeshGroup " + std::string(py::repr(g.name)) + ": indices " +
                   std::to_string(g.first) + "+" + std::to_string(g.count) + ">";
        });

    py::class_<Mesh>(module, "Mesh",
                     "A model as vertex arrays and GPU buffers take it (Model.mesh): one "
                     "interleaved vertex\nper distinct corner, three uint32 indices per triangle "
                     "in vertex cache order, one index\nrange per group. It holds its own copy of "
                     "everything; the arrays are writable views of it.")
        .def_property_readonly("vertices", &Mesh::vertices,
                               "(vertexcount, stride) float32: x y z, then the normal, the "
                               "texture coordinate and the\ncolour, each when the mesh holds it.")
        .def_property_readonly("indices", &Mesh::indices,
                               "(triangles, 3) uint32: 0-based indices into vertices.")
        .def_property_readonly(
            "stride", [](const Mesh& mesh) { return mesh.m()->stride; }, "Floats per vertex.")
        .def_property_readonly(
            "positions", [](Mesh& mesh) { return mesh.columns(0, 3); },
            "(vertexcount, 3) float32: columns 0..2 of vertices.")
        .def_property_readonly(
            "normals", [](Mesh& mesh) { return mesh.attribute(ZEL_FLAT | ZEL_SMOOTH, 3); },
            "(vertexcount, 3) float32 columns of vertices, or None.")
        .def_property_readonly(
            "texcoords", [](Mesh& mesh) { return mesh.attribute(ZEL_TEXTURE, 2); },
            "(vertexcount, 2) float32 columns of vertices, or None.")
        .def_property_readonly(
            "colors", [](Mesh& mesh) { return mesh.attribute(ZEL_VERTEXCOLOR, 3); },
            "(vertexcount, 3) float32 columns of vertices, or None.")
        .def_property_readonly("groups", &Mesh::groups,
                               "The index ranges (MeshGroup), in the model's group list order.")
        .def_property_readonly("materials", &Mesh::materials,
                               "The mesh's copy of the model's materials (a list, empty when "
                               "none).")
        .def("__repr__", [](const Mesh& mesh) {
            return "<zel.Mesh: " + std::to_string(mesh.m()->vertexcount) + " vertices of " +
                   std::to_string(mesh.m()->stride) + " floats, " +
                   std::to_string(mesh.m()->indexcount / 3) + " triangles, " +
                   std::to_string(mesh.m()->groupcount) + " groups>";
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
             "save(self, path, *, normals=None, texture=False, materials=False, colors=False)\n"
             "--\n\n"
             "Writes the model as an OBJ file: with normals (None, \"flat\": the facet normals,\n"
             "or \"smooth\": the vertex normals), texture coordinates, materials (usemtl lines,\n"
             "and the MTL library written beside it under the model's mtllib name) and vertex\n"
             "colours as asked. A request the model has no data for is dropped with a\n"
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

    module.def(
        "load",
        [](py::handle path, py::handle threads, bool objects, bool missingLibraries,
           bool unknownKeywords, py::handle maxBytes) {
            return load(pathBytes(path), nullptr, py::none(), threads, objects, missingLibraries,
                        unknownKeywords, maxBytes);
        },
        py::arg("path"), py::kw_only(), py::arg("threads") = 0, py::arg("objects") = false,
        py::arg("missing_libraries") = false, py::arg("unknown_keywords") = false,
        py::arg("max_bytes") = 0,
        "load(path, *, threads=0, objects=False, missing_libraries=False, unknown_keywords=False, "
        "max_bytes=0)\n--\n\n"
        "Reads the OBJ file at path (str, bytes or os.PathLike) and the material library it\n"
        "names, and returns a Model. Raises LoadError (a ValueError: the message the library\n"
        "reports and the file line it is about) when a file cannot be read or a face names\n"
        "no element; \"can't find material\" lines are ZelWarnings. Runs without the GIL.\n\n"
        "threads: 0 reads on every processor (files below a few MiB take one), 1 on the\n"
        "calling thread alone. objects: an \"o\" line starts a group. missing_libraries: a\n"
        "material library that cannot be opened is a warning, not a failure.\n"
        "unknown_keywords: a keyword such as vp is skipped with a warning. max_bytes: when\n"
        "not 0, the most bytes the model's arrays may take; a larger file fails before they\n"
        "are allocated.");

    module.def(
        "load_bytes",
        [](py::handle data, py::handle path, py::object library, py::handle threads, bool objects,
           bool missingLibraries, bool unknownKeywords, py::handle maxBytes) {
            Bytes bytes(data);
            return load(pathBytes(path), &bytes, std::move(library), threads, objects,
                        missingLibraries, unknownKeywords, maxBytes);
        },
        py::arg("data"), py::arg("path") = "memory.obj", py::kw_only(),
        py::arg("library") = py::none(), py::arg("threads") = 0, py::arg("objects") = false,
        py::arg("missing_libraries") = false, py::arg("unknown_keywords") = false,
        py::arg("max_bytes") = 0,
        "load_bytes(data, path='memory.obj', *, library=None, threads=0, objects=False, "
        "missing_libraries=False, unknown_keywords=False, max_bytes=0)\n--\n\n"
        "Reads OBJ text from data (bytes or any bytes-like object) as load reads a file; the\n"
        "same bytes give the same model. path names the model and the directory where\n"
        "material libraries are looked for. library, when given, is called with a library's\n"
        "path (str) instead of reading the disk, and returns its bytes, or None when there\n"
        "is no such library. An exception it raises ends the load and is raised again here.");
}
