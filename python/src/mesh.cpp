// Meshes: zel.Mesh over a ZelMesh, with its interleaved vertices, indices and groups as views of
// the mesh's own memory, made without the GIL.
#include <stdexcept>
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

}  // namespace

py::object makeMesh(const ZelModel* model, uint32_t mode) {
    std::string problem;
    ZelMesh* made = nullptr;
    {
        py::gil_scoped_release release;
        problem = meshProblem(model, mode);
        if (problem.empty()) made = zelMakeMesh(model, mode);
    }
    if (!problem.empty()) throw py::value_error("no mesh can be made of this model: " + problem);
    if (!made) throw std::runtime_error("zelMakeMesh() failed");
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
}

}  // namespace zelpy
