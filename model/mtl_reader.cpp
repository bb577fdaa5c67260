// The MTL reader: a counting scan sizes the material array, a filling scan stores the materials.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scanner.h"
#include "zel_internal.h"

namespace zel {

namespace {

void setColor(float* color, float r, float g, float b) {
    color[0] = r;
    color[1] = g;
    color[2] = b;
    color[3] = 1.0f;
}

void freeMaterials(ZelMaterial* materials, uint32_t count) {
    if (!materials) return;
    for (uint32_t i = 0; i < count; i++) std::free(materials[i].name);
    std::free(materials);
}

// Reads the library's materials; returns the new array and its size through the out-arguments.
void scanMaterials(Scanner& in, ZelMaterial** out, uint32_t* outCount) {
    char word[kMaxToken + 1];
    char line[kMaxToken + 1];

    uint64_t count = 1;  // the built-in "default"
    while (in.readWord(word)) {
        if (word[0] == 'n') count++;
        in.skipLine();
    }
    if (count > UINT32_MAX) count = UINT32_MAX;  // the filling scan stores no more than this
    in.seek(0);

    uint32_t materialcount = static_cast<uint32_t>(count);
    ZelMaterial* materials =
        static_cast<ZelMaterial*>(std::calloc(materialcount, sizeof(ZelMaterial)));
    for (uint32_t i = 0; i < materialcount; i++) {
        setColor(materials[i].diffuse, 0.8f, 0.8f, 0.8f);
        setColor(materials[i].ambient, 0.2f, 0.2f, 0.2f);
        setColor(materials[i].specular, 0.0f, 0.0f, 0.0f);
        materials[i].shininess = 65.0f;
    }
    materials[0].name = strdup("default");

    uint32_t current = 0;
    while (in.readWord(word)) {
        ZelMaterial& material = materials[current];
        switch (word[0]) {
            case 'n':
                in.readLine(line);
                // A material the counting scan did not see has no entry; it is left out.
                if (current + 1 < materialcount) {
                    current++;
                    materials[current].name = strdup(statementName(line).c_str());
                }
                break;
            case 'N':
                in.readFloat(&material.shininess);
                // From the file's 0..1000 range to OpenGL's 0..128, applied even when no number
                // was read.
                material.shininess = static_cast<float>(material.shininess / 1000.0);
                material.shininess = static_cast<float>(material.shininess * 128.0);
                break;
            case 'K':
                if (word[1] == 'd')
                    in.readFloats(material.diffuse, 3);
                else if (word[1] == 'a')
                    in.readFloats(material.ambient, 3);
                else if (word[1] == 's')
                    in.readFloats(material.specular, 3);
                else
                    in.skipLine();
                break;
            default:
                in.skipLine();
                break;
        }
    }
    // Entries whose "newmtl" the filling scan read differently get an empty name, so every
    // material has one.
    for (uint32_t i = 0; i < materialcount; i++)
        if (!materials[i].name) materials[i].name = strdup("");
    *out = materials;
    *outCount = materialcount;
}

}  // namespace

Status readMTL(ZelModel* model, const char* name, const TextProvider* mtl) {
    char* dir = zelDirName(model->path);
    std::string path = std::string(dir) + name;
    std::free(dir);

    ZelMaterial* materials = nullptr;
    uint32_t count = 0;
    bool failed = false;
    if (mtl) {
        std::string text;
        if (!(*mtl)(path, text)) {
            failed = true;
        } else {
            Scanner in(text.data(), text.size());
            scanMaterials(in, &materials, &count);
        }
    } else {
        Input input;
        if (!openForReading(path.c_str(), &input)) {
            failed = true;
        } else {
            std::vector<char> buffer(std::min<uint64_t>(kDefaultBufferSize, input.size + 1));
            Scanner in(input, 0, buffer);
            scanMaterials(in, &materials, &count);
            failed = in.failed();
            close(input.fd);
            if (failed) freeMaterials(materials, count);
        }
    }
    if (failed)
        return failure(Stream::Err, "zelReadMTL() failed: can't open material file \"%s\".\n",
                       path.c_str());
    freeMaterials(model->materials, model->materialcount);
    model->materials = materials;
    model->materialcount = count;
    return Status{};
}

}  // namespace zel

void zelReadMTL(ZelModel* model, const char* name) {
    ZEL_REQUIRE(model);
    zel::Status status = zel::readMTL(model, name, nullptr);
    if (!status.ok) zel::exitWith(status);
}
