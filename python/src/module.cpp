// The extension module behind the Python package `zel` (zel/__init__.py re-exports it): loading,
// the operations, saving and meshes of zel.h, with every array of a model or a mesh handed to
// Python as a numpy view of the library's own memory. Only the public header is used. The parts:
// views.cpp (text, arguments, the views and what keeps their memory alive), load.cpp (loading,
// exceptions, warnings), model.cpp (zel.Model, its groups and materials) and mesh.cpp (zel.Mesh).
#include "module.h"

namespace {

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
    namespace py = pybind11;
    py::options options;
    options.disable_function_signatures();
    module.doc() = kModuleDoc;
    module.attr("__version__") = ZEL_VERSION_STRING;
    zelpy::registerLoading(module);
    zelpy::registerModel(module);
    zelpy::registerMesh(module);
}
