// Builds models for tests from OBJ text held in memory, through the library's own reader.
#pragma once

#include <map>
#include <string>

#include "zel_internal.h"

namespace zeltest {

// Reads `obj` as if it were the file `path`; `mtl` maps full library paths to their text. Fails the
// calling test (ADD_FAILURE) and returns null when the reader reports a failure.
ZelModel* modelFromObj(const std::string& obj, const std::map<std::string, std::string>& mtl = {},
                       const char* path = "test.obj");

// Runs the in-memory reader and returns its status; *model receives the model on success.
zel::Status readObjText(const std::string& obj, const std::map<std::string, std::string>& mtl,
                        ZelModel** model, const char* path = "test.obj");

}  // namespace zeltest
