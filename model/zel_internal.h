// Internal interface of the zel library: float and vector helpers, the precondition check, the
// status that failures travel back in, and the reader entry points that return a status instead of
// ending the process (used by the public functions, the tests and the fuzzers).
#pragma once

#include <pthread.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "zel.h"

namespace zel {

[[noreturn]] void failedPrecondition(const char* expr, const char* file, int line,
                                     const char* func);

}  // namespace zel

// Checks a precondition in every build: a failure prints the expression in the usual assertion form
// and aborts.
#define ZEL_REQUIRE(expr) \
    ((expr) ? (void)0 : zel::failedPrecondition(#expr, __FILE__, __LINE__, __func__))

// Checks an internal invariant (a bound a quick path may read up to, an order the merge relies on)
// in debug, sanitizer and fuzzing builds, where ZEL_ASSERTIONS is set; compiled out elsewhere, so
// it may sit on hot paths. A failure reads as a failed precondition.
#if defined(ZEL_ASSERTIONS) && ZEL_ASSERTIONS
#define ZEL_ASSERT(expr) ZEL_REQUIRE(expr)
#else
#define ZEL_ASSERT(expr) ((void)sizeof((expr) ? 1 : 0))
#endif

// The hot paths are small functions that must be inlined into the reading loops.
#define ZEL_HOT inline __attribute__((always_inline))

namespace zel {

// Float and vector helpers shared by the geometry operations.
float absf(float value);                                          // -value if value < 0, else value
float maxf(float a, float b);                                     // b if b > a, else a
void crossProduct(const float* u, const float* v, float* n);      // n = u x v
void normalizeVec(float* v);                                      // v /= |v|; zero stays zero
float dotProduct(const float* u, const float* v);                 // u . v
bool nearlyEqual(const float* u, const float* v, float epsilon);  // per-axis |u - v| < epsilon

// Creates a group named `name` (a copy) at the head of the model's group list, without looking for
// an existing one.
ZelGroup* newGroup(ZelModel* model, const char* name);

// A texture map that is not set: no name, offset 0, scale 1, no clamp, bump multiplier 1.
extern const ZelTextureMap kNoTextureMap;
// The texture maps of a material, in the order the writer writes them (zelMapKeyword's numbering):
// the keyword written, the field, and the other keywords that set it when read.
struct MapField {
    const char* keyword;
    ZelTextureMap ZelMaterial::*field;
    const char* alias[2];
};
extern const MapField kMapFields[ZEL_MAP_COUNT];
// The parameters of the PBR extension that hold one number, 0 when absent, in the order the writer
// writes them: the keyword and the field.
struct NumberField {
    const char* keyword;
    float ZelMaterial::*field;
};
extern const NumberField kPbrFields[7];
std::array<ZelTextureMap*, ZEL_MAP_COUNT> textureMaps(ZelMaterial& material);
std::array<const ZelTextureMap*, ZEL_MAP_COUNT> textureMaps(const ZelMaterial& material);
// Frees a map's strings and leaves it unset.
void freeTextureMap(ZelTextureMap* map);
// Frees `count` materials (their names and maps) and the array; null is ignored.
void freeMaterials(ZelMaterial* materials, uint32_t count);
// A copy of `count` materials, names and maps included, allocated as freeMaterials frees it.
ZelMaterial* copyMaterials(const ZelMaterial* materials, uint32_t count);

// Where a diagnostic line goes.
enum class Stream { Out, Err };

// The outcome of an internal operation. A failure carries its complete diagnostic line and the
// 1-based line of the file it is about (0 when it is about no line).
struct Status {
    bool ok = true;
    Stream stream = Stream::Err;
    std::string message;
    uint32_t line = 0;
    // Where the reason begins in `message`, past the "PATH: " of a failure about a named file.
    uint32_t reasonAt = 0;
    // The failure is memory that could not be had.
    bool outOfMemory = false;
};

// Builds a failure with a printf-style message (the line end included in `fmt`).
Status failure(Stream stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Prints a failure's line on its stream and ends the process with status 1.
[[noreturn]] void exitWith(const Status& status);

// Puts a failure into the caller's error record (when there is one).
void fillError(const Status& status, ZelError* error);

// Out of memory travels inside the library as std::bad_alloc, as the standard containers raise
// it; these allocate as malloc, calloc and strdup do and raise it instead of returning null. Every
// public entry point catches it (exitOnOutOfMemory, or a returned failure), so it never reaches a
// caller, and whatever was allocated before is released on the way.
void* allocate(size_t bytes);
void* allocateZeroed(size_t count, size_t size);
char* copyString(const char* text);

// The failure of an operation on a file that could not get its memory: "<operation>() failed: out
// of memory <doing> "PATH".\n", doing "reading" or "writing" (a failure with no message if even
// that cannot be made).
Status outOfMemory(const char* operation, const char* doing, const char* path) noexcept;

// Prints "<operation>() failed: out of memory.\n" on standard error and ends the process with
// status 1.
[[noreturn]] void exitOutOfMemory(const char* operation);

// Runs body(); out of memory ends the process as exitOutOfMemory does.
template <class Body>
auto exitOnOutOfMemory(const char* operation, Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        exitOutOfMemory(operation);
    }
}

// Supplies the text of a file for in-memory reading: returns false when there is no such file.
using TextProvider = std::function<bool(const std::string& path, std::string& text)>;

// The processors the process may run on: its affinity mask, as nproc counts it (so that taskset
// and container limits are respected).
uint32_t usableProcessors();

// Threads that run task(index) for index 1 .. count - 1 beside the calling thread (which does its
// own share, index 0), joined by join() or at the end of their scope. A thread that cannot be
// started is left out, so the work must be shared out as it is taken, not by index alone.
class HelperThreads {
public:
    HelperThreads(uint32_t count, std::function<void(uint32_t index)> task);
    ~HelperThreads() { join(); }
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    void join();

private:
    struct Start {
        HelperThreads* owner;
        uint32_t index;
    };
    std::function<void(uint32_t)> task_;
    std::vector<Start> starts_;  // reserved up front: the threads hold pointers into it
    std::vector<pthread_t> threads_;
};

// How an OBJ file is read. Only the time it takes depends on threads and sizes, never the result.
struct ReadOptions {
    // 0: one thread per processor the process may run on (files below a few MiB take one).
    uint32_t threads = 0;
    // The buffer each thread streams the input through; 0: 1 MiB for files, and text in memory is
    // scanned in place. Any other size applies to both (tests place the refills with it).
    size_t bufferSize = 0;
    // The bytes of input per range when not 0; otherwise chosen from the size and the threads.
    uint64_t rangeSize = 0;
    // Supplies the material libraries by their full path; null: they are read from disk.
    const TextProvider* libraries = nullptr;
    // Receives each "can't find material" line, and the warnings of the load flags; null: the
    // lines go to standard output.
    std::function<void(const std::string& line)> warn;
    // ZEL_LOAD_* flags: 0 reads the documented dialect.
    uint32_t flags = 0;
    // When not 0, the most bytes the model's arrays may take (see ZelLoadOptions.maxbytes).
    uint64_t maxBytes = 0;
};

// Reads an OBJ file from disk. On failure *out is null and nothing is left allocated.
Status readOBJFile(const char* path, const ReadOptions& options, ZelModel** out);
inline Status readOBJFile(const char* path, ZelModel** out) {
    return readOBJFile(path, ReadOptions{}, out);
}

// Reads OBJ text held in memory, as if it were the file `path`. On failure *out is null and
// nothing is left allocated.
Status readOBJMemory(const char* path, const char* data, size_t size, const ReadOptions& options,
                     ZelModel** out);
// The same, with the material libraries asked of `mtl` by their full path.
inline Status readOBJMemory(const char* path, const char* data, size_t size,
                            const TextProvider& mtl, ZelModel** out) {
    ReadOptions options;
    options.libraries = &mtl;
    return readOBJMemory(path, data, size, options, out);
}

// The line zelFindMaterial prints for a material name that is not found.
std::string materialNotFound(const char* name);

// Reads the material library `name` into `model` (see zelReadMTL). With `mtl` null it reads from
// disk. `flags` are the load's ZEL_LOAD_* flags (ZEL_LOAD_WHOLE_KEYWORDS chooses the dialect). On
// failure the model keeps the materials it had.
Status readMTL(ZelModel* model, const char* name, const TextProvider* mtl, uint32_t flags = 0);

// The directory part of `path`, as zelDirName gives it.
std::string dirName(const char* path);

// The path of the material library `name` of `model`: the directory part of the model's path
// followed by the name.
std::string libraryPath(const ZelModel* model, const char* name);

// The warning for the material library `name` of `model` that cannot be read, under
// ZEL_LOAD_MISSING_LIBRARIES.
std::string missingLibraryWarning(const ZelModel* model, const std::string& name);

// The failure for the material library `name` of `model` that ZEL_LOAD_CONFINED_LIBRARIES refuses,
// and in *warning (when not null) the line that stands for it under ZEL_LOAD_MISSING_LIBRARIES.
Status outsideLibrary(const ZelModel* model, const std::string& name, std::string* warning);

// Whether `path` names something inside `folder` (a directory part as dirName gives it, "" for
// the current directory): it starts with the folder, the rest is relative and never climbs above
// it by "..", and, when it exists, it is still inside with every link resolved.
bool pathInside(const std::string& folder, const std::string& path);

// Welds like zelWeldPositions but leaves `positions` unchanged and writes the 1-based welded index
// of input position i to map[i] (map has *count + 1 entries; map[0] is set to 0), exact for any
// count. zelWeldVertices uses it.
float* weldPositions(const float* positions, uint32_t* count, float epsilon, uint32_t* map);

// Writes the model as an OBJ file (and its MTL file, see zelWriteOBJ). Warnings go to standard
// output; a file that cannot be opened is a returned failure.
Status writeOBJ(const ZelModel* model, const char* filename, uint32_t mode);

// Writes the model's materials to the directory part of `filename` followed by `mtllibname`.
Status writeMTL(const ZelModel* model, const char* filename, const char* mtllibname);

// Writes what writeOBJ writes, but under temporary names that are renamed into place only once
// every write has succeeded; a failure (a file that cannot be created, a failed write) leaves
// nothing behind.
Status saveOBJ(const ZelModel* model, const char* path, uint32_t mode);

// Writes into strings what writeOBJ writes into files: the OBJ text into *obj and, when materials
// are written, the MTL text into *mtl.
Status writeOBJMemory(const ZelModel* model, uint32_t mode, std::string* obj, std::string* mtl);

// Reads a binary PPM (P6) image, as zelLoadPPM does, returning a failure with its diagnostic line
// instead of printing it. On success *pixels receives a malloc'ed block of width * height * 3
// bytes; on failure *pixels is null and *width and *height are untouched.
Status loadPPMFile(const char* filename, int* width, int* height, unsigned char** pixels);

// The same over an image held in memory; `name` stands for the file name in diagnostics.
Status loadPPMMemory(const char* name, const unsigned char* data, size_t size, int* width,
                     int* height, unsigned char** pixels);

}  // namespace zel
