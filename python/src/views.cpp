// Text and arguments handed between Python and the library, and the numpy views of the library's
// memory with the capsules that keep it alive (see module.h).
#include <cstdlib>

#include "module.h"

namespace zelpy {

// Names are bytes from the file: they are decoded as file names are (UTF-8, other bytes kept as
// surrogates), so nothing is lost and os.fsencode gives the bytes back.
py::object text(const char* value) {
    if (!value) return py::none();
    PyObject* decoded = PyUnicode_DecodeFSDefault(value);
    if (!decoded) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(decoded);
}

std::string pathBytes(py::handle path) {
    PyObject* bytes = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &bytes)) throw py::error_already_set();
    py::object hold = py::reinterpret_steal<py::object>(bytes);
    return std::string(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
}

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

ViewOwner::~ViewOwner() {
    if (registry && registry->views[kind] == this) registry->views[kind] = nullptr;
    std::free(detached);
}

py::object ownerCapsule(std::shared_ptr<const void> keep, ViewOwner** made) {
    auto owner = std::make_unique<ViewOwner>();
    owner->keep = std::move(keep);
    py::capsule capsule(owner.get(), [](void* p) { delete static_cast<ViewOwner*>(p); });
    owner->capsule = capsule.ptr();
    if (made) *made = owner.get();
    owner.release();
    return std::move(capsule);
}

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
                    size_t rowFloats, bool writable) {
    const py::ssize_t item = sizeof(float);
    return view(base, py::dtype::of<float>(),
                {static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(columns)},
                {static_cast<py::ssize_t>(rowFloats) * item, item}, data, writable);
}

py::array indexList(py::handle base, const uint32_t* data, size_t count, bool writable) {
    return view(base, py::dtype::of<uint32_t>(), {static_cast<py::ssize_t>(count)},
                {static_cast<py::ssize_t>(sizeof(uint32_t))}, data, writable);
}

py::array cornerRows(py::handle base, const ZelCorner* data, size_t count) {
    const py::ssize_t item = sizeof(uint32_t);
    return view(base, py::dtype::of<uint32_t>(), {static_cast<py::ssize_t>(count), 3},
                {static_cast<py::ssize_t>(sizeof(ZelCorner)), item}, data, false);
}

}  // namespace zelpy
