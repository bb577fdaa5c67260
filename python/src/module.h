// What the parts of the extension module share: text and argument conversion, the ownership of
// the numpy views (views.cpp), the exceptions and warnings (load.cpp), materials (model.cpp) and
// meshes (mesh.cpp), and each part's registration function, called by module.cpp.
#ifndef ZEL_PYTHON_MODULE_H
#define ZEL_PYTHON_MODULE_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zel.h"

namespace zelpy {

namespace py = pybind11;

// ---- Text and arguments (views.cpp)

// A string of the library (a path, a group or material name) as Python text, or None.
py::object text(const char* value);

// A path argument (str, bytes or os.PathLike) as the bytes the C library opens.
std::string pathBytes(py::handle path);

// An integer argument within 0..limit, with a plain message when it is not.
uint64_t countArgument(py::handle value, const char* name, uint64_t limit);

// ---- Views (views.cpp)
//
// A model is held by a ModelState, which frees it with zelFreeModel when its last share goes. The
// Python Model, its Groups and Materials, and every view hold a share: a view's base object is a
// capsule holding a ViewOwner, which holds one. So a view keeps its model alive for as long as it
// lives, and the model is freed once the last of them is gone. Meshes are held the same way.

struct ModelState;

// The model arrays whose views are tracked, so that an operation replacing one can hand it over
// to its views (Model::detach).
enum Kind { kVertices, kColors, kNormals, kTexcoords, kFacetNormals, kKinds };

// What a view's base capsule holds: a share of the model or mesh that owns the memory. The owner of
// a model array's views is registered in the model's state while the array is the model's current
// one, and then takes the array over.
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

// A new capsule holding a ViewOwner with a share `keep`; *made, when given, is that owner.
py::object ownerCapsule(std::shared_ptr<const void> keep, ViewOwner** made = nullptr);

// A view of `data` laid out as `shape` with byte `strides`, whose memory `base` keeps alive.
py::array view(py::handle base, const py::dtype& dtype, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides, const void* data, bool writable);

// `rows` rows of `columns` floats, `rowFloats` apart.
py::array floatRows(py::handle base, const float* data, size_t rows, size_t columns,
                    size_t rowFloats, bool writable = true);

py::array indexList(py::handle base, const uint32_t* data, size_t count, bool writable);

// A read-only (count, 3) uint32 view of `count` corners (vertex, texture, normal index).
py::array cornerRows(py::handle base, const ZelCorner* data, size_t count);

// ---- Exceptions and warnings (load.cpp)

// Issues `message` as a zel.ZelWarning, attributed to the Python line that called into the module.
void warn(const char* message);

// Raises zel.SaveError with the library's message.
[[noreturn]] void raiseSaveError(const ZelError& error);

// ---- Shared by models and meshes

// The materials `materials[0..count)` as zel.Material objects sharing `keep` (model.cpp).
py::list materialList(const std::shared_ptr<const void>& keep, ZelMaterial* materials,
                      uint32_t count);

// A zel.Model owning `model` (not NULL), which it frees also when it throws (model.cpp).
py::object modelObject(ZelModel* model);

// A zel.Mesh made of `model` under `mode` (already checked) by zelBuildMesh, without the GIL; a
// model it cannot mesh raises ValueError with its message, memory it cannot have MemoryError
// (mesh.cpp).
py::object makeMesh(const ZelModel* model, uint32_t mode);

// ---- Registration, in the order module.cpp calls them

void registerLoading(py::module_& module);
void registerModel(py::module_& module);
void registerMesh(py::module_& module);

}  // namespace zelpy

#endif
