// One read of OBJ text through the internal reader, with everything a caller sees of it: for the
// tests and the fuzzers that compare readings of the same bytes.
#pragma once

#include <string>
#include <vector>

#include "zel_internal.h"

namespace zeltest {

// The status, the model (freed with the outcome) and the not-found lines, in order.
struct ReadOutcome {
    zel::Status status;
    ZelModel* model = nullptr;
    std::vector<std::string> warnings;

    ReadOutcome() = default;
    ReadOutcome(const ReadOutcome&) = delete;
    ReadOutcome& operator=(const ReadOutcome&) = delete;
    ~ReadOutcome() {
        if (model) zelFreeModel(model);
    }
};

// Reads `text` as the file `path` under `options`: from the file at `path` when fromFile, else
// from a copy of the bytes with nothing after them (a string would end in a NUL), so that the
// sanitizers catch any read past their end. The not-found lines are collected in *out.
inline void readText(const std::string& text, const char* path, bool fromFile,
                     zel::ReadOptions options, ReadOutcome* out) {
    options.warn = [out](const std::string& line) { out->warnings.push_back(line); };
    std::vector<char> bytes(text.begin(), text.end());
    out->status = fromFile
                      ? zel::readOBJFile(path, options, &out->model)
                      : zel::readOBJMemory(path, bytes.data(), bytes.size(), options, &out->model);
}

}  // namespace zeltest
