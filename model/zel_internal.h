// Internal interface of the zel library: float and vector helpers, the precondition check, the
// status that failures travel back in, and the reader entry points that return a status instead of
// ending the process (used by the public functions, the tests and the fuzzers).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "zel.h"

namespace zel {

[[noreturn]] void failedPrecondition(const char* expr, const char* file, int line, const char* func);

}  // namespace zel

// Checks a precondition in every build: a failure prints the expression in the usual assertion form
// and aborts.
#define ZEL_REQUIRE(expr) \
    ((expr) ? (void)0 : zel::failedPrecondition(#expr, __FILE__, __LINE__, __func__))

// Float and vector helpers shared by the geometry operations.
float zelAbsf(float value);                                         // -value if value < 0, else value
float zelMaxf(float a, float b);                                    // b if b > a, else a
void zelCrossProduct(const float* u, const float* v, float* n);     // n = u x v
void zelNormalizeVec(float* v);                                     // v /= |v|; zero stays zero
float zelDotProduct(const float* u, const float* v);                // u . v
bool zelNearlyEqual(const float* u, const float* v, float epsilon); // per-axis |u - v| < epsilon

namespace zel {

// Creates a group named `name` (a copy) at the head of the model's group list, without looking for
// an existing one.
ZelGroup* newGroup(ZelModel* model, const char* name);

// Where a diagnostic line goes.
enum class Stream { Out, Err };

// The outcome of an internal operation. A failure carries its complete diagnostic line.
struct Status {
    bool ok = true;
    Stream stream = Stream::Err;
    std::string message;
};

// Builds a failure with a printf-style message (the line end included in `fmt`).
Status failure(Stream stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Prints a failure's line on its stream and ends the process with status 1.
[[noreturn]] void exitWith(const Status& status);

// Supplies the text of a file for in-memory reading: returns false when there is no such file.
using TextProvider = std::function<bool(const std::string& path, std::string& text)>;

// Reads an OBJ file from disk. On failure *out is null and nothing is left allocated.
Status readOBJFile(const char* path, ZelModel** out);

// Reads OBJ text held in memory, as if it were the file `path`; material libraries it names are
// asked of `mtl` by their full path. On failure *out is null and nothing is left allocated.
Status readOBJMemory(const char* path, const char* data, size_t size, const TextProvider& mtl,
                     ZelModel** out);

// Reads the material library `name` into `model` (see zelReadMTL). With `mtl` null it reads from
// disk. On failure the model keeps the materials it had.
Status readMTL(ZelModel* model, const char* name, const TextProvider* mtl);

// Welds like zelWeldPositions but leaves `positions` unchanged and writes the 1-based welded index
// of input position i to map[i] (map has *count + 1 entries; map[0] is set to 0), exact for any
// count. zelWeldVertices uses it.
float* weldPositions(const float* positions, uint32_t* count, float epsilon, uint32_t* map);

// Writes the model as an OBJ file (and its MTL file, see zelWriteOBJ). Warnings go to standard
// output; a file that cannot be opened is a returned failure.
Status writeOBJ(const ZelModel* model, const char* filename, uint32_t mode);

// Writes the model's materials to the directory part of `filename` followed by `mtllibname`.
Status writeMTL(const ZelModel* model, const char* filename, const char* mtllibname);

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
