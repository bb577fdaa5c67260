// Loading: zel.load and zel.load_bytes over zelLoadOBJ and zelLoadOBJMemory, read without the
// GIL, and the package's exceptions and warning category.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "module.h"

namespace zelpy {

namespace {

PyObject* loadErrorType;
PyObject* saveErrorType;
PyObject* warningType;

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
        for (const std::string& message : warnings_) warn(message.c_str());
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

// The load flags the keyword arguments ask for. Each of objects, missing_libraries,
// unknown_keywords, whole_keywords and concave_polygons is True or False, or None: on as real
// files need, off with documented=True.
struct Flags {
    bool documented;
    py::object objects, missingLibraries, unknownKeywords, wholeKeywords, concavePolygons;
    bool polygons, confinedLibraries;

    uint32_t value() const {
        auto flag = [this](const py::object& given, uint32_t bit) -> uint32_t {
            if (given.is_none()) return documented ? 0 : bit;
            return given.cast<bool>() ? bit : 0;
        };
        return flag(objects, ZEL_LOAD_OBJECTS) |
               flag(missingLibraries, ZEL_LOAD_MISSING_LIBRARIES) |
               flag(unknownKeywords, ZEL_LOAD_UNKNOWN_KEYWORDS) |
               flag(wholeKeywords, ZEL_LOAD_WHOLE_KEYWORDS) |
               flag(concavePolygons, ZEL_LOAD_CONCAVE_POLYGONS) |
               (polygons ? ZEL_LOAD_POLYGONS : 0) |
               (confinedLibraries ? ZEL_LOAD_CONFINED_LIBRARIES : 0);
    }
};

py::object load(const std::string& path, const Bytes* data, py::object library, py::handle threads,
                const Flags& flags, py::handle maxBytes) {
    if (!library.is_none() && !PyCallable_Check(library.ptr()))
        throw py::type_error("library must be a callable or None");
    LoadCall call(std::move(library));
    ZelLoadOptions options{};
    options.threads = static_cast<uint32_t>(countArgument(threads, "threads", UINT32_MAX));
    options.maxbytes = countArgument(maxBytes, "max_bytes", UINT64_MAX);
    options.flags = flags.value();
    options.warning = LoadCall::warning;
    options.library = call.hasLibrary() ? LoadCall::library : nullptr;
    options.user = &call;
    ZelError error;
    std::unique_ptr<ZelModel, void (*)(ZelModel*)> model(nullptr, zelFreeModel);
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
    return modelObject(model.release());
}

PyObject* newException(const char* name, PyObject* base, const char* doc, py::dict attributes) {
    PyObject* type = PyErr_NewExceptionWithDoc(name, doc, base, attributes.ptr());
    if (!type) throw py::error_already_set();
    return type;
}

}  // namespace

void warn(const char* message) {
    static py::handle warnFunction =
        py::object(py::module_::import("warnings").attr("warn")).release();
    warnFunction(text(message), py::handle(warningType), 1);
}

void raiseSaveError(const ZelError& error) {
    py::object exception = py::handle(saveErrorType)(text(error.message));
    PyErr_SetObject(saveErrorType, exception.ptr());
    throw py::error_already_set();
}

void registerLoading(py::module_& module) {
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

    const char* const kFlagsDoc =
        "By default a file is read as real files need: statements by whole keywords (Ni is not\n"
        "Ns), names whole, lines of any length, an \"o\" line starts a group, a material\n"
        "library that cannot be opened or a keyword such as vp is a warning, not a failure, and\n"
        "concave faces are cut by ear clipping. documented=True reads exactly as the library's\n"
        "zelReadOBJ does instead. objects, missing_libraries, unknown_keywords, whole_keywords\n"
        "and concave_polygons turn one of those on (True) or off (False) either way.\n"
        "polygons: keep each face as written (Group.polygon_starts ...). confined_libraries:\n"
        "refuse a material library outside the model's folder. Lines, points and smoothing\n"
        "groups are kept on every load. max_bytes: when not 0, the most bytes the model's\n"
        "arrays may take; a\n"
        "larger file fails before they are allocated. threads: 0 reads on every processor\n"
        "(files below a few MiB take one), 1 on the calling thread alone.";
    static const std::string loadDoc =
        std::string(
            "load(path, *, threads=0, documented=False, objects=None, "
            "missing_libraries=None, unknown_keywords=None, whole_keywords=None, "
            "concave_polygons=None, polygons=False, confined_libraries=False, "
            "max_bytes=0)\n--\n\n"
            "Reads the OBJ file at path (str, bytes or os.PathLike) and the material "
            "libraries it\nnames, and returns a Model. Raises LoadError (a ValueError: "
            "the message the library\nreports and the file line it is about) when a file "
            "cannot be read or a face names\nno element; warnings (\"can't find "
            "material\", a skipped keyword or library) are\nZelWarnings. Runs without "
            "the GIL.\n\n") +
        kFlagsDoc;
    module.def(
        "load",
        [](py::handle path, py::handle threads, bool documented, py::object objects,
           py::object missingLibraries, py::object unknownKeywords, py::object wholeKeywords,
           py::object concavePolygons, bool polygons, bool confinedLibraries, py::handle maxBytes) {
            return load(pathBytes(path), nullptr, py::none(), threads,
                        {documented, objects, missingLibraries, unknownKeywords, wholeKeywords,
                         concavePolygons, polygons, confinedLibraries},
                        maxBytes);
        },
        py::arg("path"), py::kw_only(), py::arg("threads") = 0, py::arg("documented") = false,
        py::arg("objects") = py::none(), py::arg("missing_libraries") = py::none(),
        py::arg("unknown_keywords") = py::none(), py::arg("whole_keywords") = py::none(),
        py::arg("concave_polygons") = py::none(), py::arg("polygons") = false,
        py::arg("confined_libraries") = false, py::arg("max_bytes") = 0, loadDoc.c_str());

    module.def(
        "load_bytes",
        [](py::handle data, py::handle path, py::object library, py::handle threads,
           bool documented, py::object objects, py::object missingLibraries,
           py::object unknownKeywords, py::object wholeKeywords, py::object concavePolygons,
           bool polygons, bool confinedLibraries, py::handle maxBytes) {
            Bytes bytes(data);
            return load(pathBytes(path), &bytes, std::move(library), threads,
                        {documented, objects, missingLibraries, unknownKeywords, wholeKeywords,
                         concavePolygons, polygons, confinedLibraries},
                        maxBytes);
        },
        py::arg("data"), py::arg("path") = "memory.obj", py::kw_only(),
        py::arg("library") = py::none(), py::arg("threads") = 0, py::arg("documented") = false,
        py::arg("objects") = py::none(), py::arg("missing_libraries") = py::none(),
        py::arg("unknown_keywords") = py::none(), py::arg("whole_keywords") = py::none(),
        py::arg("concave_polygons") = py::none(), py::arg("polygons") = false,
        py::arg("confined_libraries") = false, py::arg("max_bytes") = 0,
        "load_bytes(data, path='memory.obj', *, library=None, threads=0, documented=False, "
        "objects=None, missing_libraries=None, unknown_keywords=None, whole_keywords=None, "
        "concave_polygons=None, polygons=False, confined_libraries=False, max_bytes=0)\n--\n\n"
        "Reads OBJ text from data (bytes or any bytes-like object) as load reads a file, with\n"
        "the same options; the same bytes give the same model. path names the model and the\n"
        "directory where material libraries are looked for. library, when given, is called\n"
        "with a library's path (str) instead of reading the disk, and returns its bytes, or\n"
        "None when there is no such library. An exception it raises ends the load and is\n"
        "raised again here.");
}

}  // namespace zelpy
