// Meshes: zel.Mesh over a ZelMesh, with its interleaved vertices, indices and groups as views of
// the mesh's own memory, made without the GIL.
#include <new>
#include <string>

#include "module.h"

namespace zelpy {

namespace {

struct MeshGroup {
    py::object name;
    uint32_t first, count, material;
};

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

    // The `width` columns from `offset` (the library's offset of an attribute), or None for 0:
    // an attribute the mesh does not hold.
    py::object attribute(uint32_t offset, size_t width) {
        if (!offset) return py::none();
        return columns(offset, width);
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

}  // namespace

py::object makeMesh(const ZelModel* model, uint32_t mode) {
    ZelMeshOptions options{};
    options.quiet = 1;  // the mode has been checked, its warnings issued
    ZelError error;
    ZelMesh* made;
    {
        py::gil_scoped_release release;
        made = zelBuildMesh(model, mode, &options, &error);
    }
    if (!made) {
        if (error.outofmemory) throw std::bad_alloc();
        throw py::value_error(error.message);
    }
    return py::cast(Mesh(made));
}

void registerMesh(py::module_& module) {
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
            "normals", [](Mesh& mesh) { return mesh.attribute(mesh.m()->normaloffset, 3); },
            "(vertexcount, 3) float32 columns of vertices, or None.")
        .def_property_readonly(
            "texcoords", [](Mesh& mesh) { return mesh.attribute(mesh.m()->texcoordoffset, 2); },
            "(vertexcount, 2) float32 columns of vertices, or None.")
        .def_property_readonly(
            "colors", [](Mesh& mesh) { return mesh.attribute(mesh.m()->coloroffset, 3); },
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
}

}  // namespace zelpy
