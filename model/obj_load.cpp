// The OBJ reader's entry points: the public functions, which turn the caller's ZelLoadOptions into
// the reader's ReadOptions and report the outcome, and the internal ones, which open the input and
// hand it to the range reader (obj_ranges.cpp).
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "obj_scan.h"
#include "zel_internal.h"

namespace zel {

Status readOBJFile(const char* path, const ReadOptions& options, ZelModel** out) {
    *out = nullptr;
    Input input;
    if (!openForReading(path, &input))
        return failure(Stream::Err, "zelReadOBJ() failed: can't open data file \"%s\".\n", path);
    Status status = readOBJInput(path, input, options, out);
    close(input.fd);
    return status;
}

Status readOBJMemory(const char* path, const char* data, size_t size, const ReadOptions& options,
                     ZelModel** out) {
    Input input;
    input.data = data;
    input.size = size;
    return readOBJInput(path, input, options, out);
}

}  // namespace zel

ZelModel* zelReadOBJ(const char* path) {
    ZEL_REQUIRE(path);
    ZelModel* model = nullptr;
    zel::Status status =
        zel::exitOnOutOfMemory("zelReadOBJ", [&] { return zel::readOBJFile(path, &model); });
    if (!status.ok) zel::exitWith(status);
    return model;
}

namespace {

// The reader's options from the caller's. The library callback's bytes are copied, so they need
// stay valid only for the call. Not-found lines for standard output are held in `held`, to be
// printed once the load has succeeded: a load that fails prints nothing.
zel::ReadOptions readOptions(const ZelLoadOptions* options, zel::TextProvider* libraries,
                             std::vector<std::string>* held) {
    zel::ReadOptions read;
    read.warn = [held](const std::string& line) { held->push_back(line); };
    if (!options) return read;
    read.threads = options->threads;
    read.flags = options->flags;
    read.maxBytes = options->maxbytes;
    if (options->library) {
        *libraries = [options](const std::string& path, std::string& text) {
            const char* data = nullptr;
            size_t size = 0;
            if (!options->library(options->user, path.c_str(), &data, &size)) return false;
            text.assign(data ? data : "", data ? size : 0);
            return true;
        };
        read.libraries = libraries;
    }
    if (options->warning) {
        read.warn = [options](const std::string& line) {
            std::string message = line;
            if (!message.empty() && message.back() == '\n') message.pop_back();
            options->warning(options->user, message.c_str());
        };
    } else if (options->quiet) {
        read.warn = [](const std::string&) {};
    }
    return read;
}

// Reports a load's outcome: the failure into `error`, or the held not-found lines printed.
ZelModel* finishLoad(const zel::Status& status, ZelModel* model,
                     const std::vector<std::string>& held, ZelError* error) {
    if (!status.ok) {
        zel::fillError(status, error);
        return nullptr;
    }
    for (const std::string& line : held) std::fputs(line.c_str(), stdout);
    return model;
}

// Runs a load: read(readOptions) reads into *model. Out of memory anywhere on the way is the
// load's failure, with nothing left allocated.
template <class Read>
ZelModel* load(const char* path, const ZelLoadOptions* options, ZelError* error, Read&& read) {
    ZelModel* model = nullptr;
    try {
        zel::TextProvider libraries;
        std::vector<std::string> held;
        zel::Status status = read(readOptions(options, &libraries, &held), &model);
        return finishLoad(status, model, held, error);
    } catch (const std::bad_alloc&) {
        if (model) zelFreeModel(model);
        zel::fillError(zel::outOfMemory("zelReadOBJ", "reading", path), error);
        return nullptr;
    }
}

}  // namespace

ZelModel* zelLoadOBJ(const char* path, const ZelLoadOptions* options, ZelError* error) {
    ZEL_REQUIRE(path);
    return load(path, options, error, [&](const zel::ReadOptions& read, ZelModel** model) {
        return zel::readOBJFile(path, read, model);
    });
}

ZelModel* zelLoadOBJMemory(const char* path, const char* data, size_t size,
                           const ZelLoadOptions* options, ZelError* error) {
    ZEL_REQUIRE(path);
    ZEL_REQUIRE(data || size == 0);
    return load(path, options, error, [&](const zel::ReadOptions& read, ZelModel** model) {
        return zel::readOBJMemory(path, data ? data : "", size, read, model);
    });
}
