#include "test_models.h"

#include <gtest/gtest.h>

namespace zeltest {

zel::Status readObjText(const std::string& obj, const std::map<std::string, std::string>& mtl,
                        ZelModel** model, const char* path) {
    zel::TextProvider provider = [&mtl](const std::string& name, std::string& text) {
        auto found = mtl.find(name);
        if (found == mtl.end()) return false;
        text = found->second;
        return true;
    };
    return zel::readOBJMemory(path, obj.data(), obj.size(), provider, model);
}

ZelModel* modelFromObj(const std::string& obj, const std::map<std::string, std::string>& mtl,
                       const char* path) {
    ZelModel* model = nullptr;
    zel::Status status = readObjText(obj, mtl, &model, path);
    if (!status.ok) ADD_FAILURE() << "reading the test model failed: " << status.message;
    return model;
}

}  // namespace zeltest
