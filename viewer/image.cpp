// zelview's texture images: decoding image files, resampling them to sizes OpenGL 1.1 takes, the
// generated checkerboard, and which image each material is drawn with. No OpenGL here.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "viewer.h"
#include "zel.h"

// stb_image's implementation lives in this file alone. Only the formats zelview names are compiled
// in (binary PPM goes to the library's reader); failures read as short sentences.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_FAILURE_USERMSG
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace zelview {

Image checkerboard(int size, int squares) {
    static const unsigned char kLight[3] = {235, 235, 225};
    static const unsigned char kBlue[3] = {40, 90, 200};
    Image image;
    image.width = size;
    image.height = size;
    image.pixels.resize(size_t(size) * size * 3);
    const int side = std::max(1, size / squares);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            const unsigned char* colour = ((x / side + y / side) % 2 == 0) ? kLight : kBlue;
            std::memcpy(&image.pixels[(size_t(y) * size + x) * 3], colour, 3);
        }
    }
    return image;
}

namespace {

int powerOfTwoAtLeast(int size) {
    int p = 1;
    while (p < size && p < 1024) p *= 2;
    return p;
}

}  // namespace

Image textureImage(const unsigned char* pixels, int width, int height, int channels) {
    Image image;
    image.width = powerOfTwoAtLeast(width);
    image.height = powerOfTwoAtLeast(height);
    image.channels = channels;
    image.pixels.resize(size_t(image.width) * image.height * channels);
    for (int y = 0; y < image.height; y++) {
        // Row y of the texture counts from the bottom; the file's rows from the top.
        const int sy = height - 1 - int(int64_t(y) * height / image.height);
        for (int x = 0; x < image.width; x++) {
            const int sx = int(int64_t(x) * width / image.width);
            std::memcpy(&image.pixels[(size_t(y) * image.width + x) * channels],
                        &pixels[(size_t(sy) * width + sx) * channels], channels);
        }
    }
    return image;
}

namespace {

// The library's PPM reader, with its reason for a failure (without the path the viewer names
// itself) returned instead of printed, so that the viewer's warning stays one line of its own.
unsigned char* loadPPMQuietly(const std::string& path, int* width, int* height,
                              std::string* reason) {
    ZelError error;
    unsigned char* pixels = zelLoadPPMFile(path.c_str(), width, height, &error);
    if (!pixels)
        *reason =
            error.message[error.reason] ? error.message + error.reason : "not a binary PPM image";
    return pixels;
}

// stb_image's reason for its last failure.
std::string stbReason() {
    const char* reason = stbi_failure_reason();
    return reason ? reason : "not an image stb_image can read";
}

}  // namespace

bool readImage(const std::string& path, Image* image, std::string* reason) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *reason = std::strerror(errno);
        return false;
    }
    // The first bytes tell a binary PPM from the formats stb_image reads.
    char magic[2] = {0, 0};
    errno = 0;
    const size_t got = std::fread(magic, 1, 2, file);
    if (got < 2 && std::ferror(file)) {
        *reason = std::strerror(errno ? errno : EIO);
        std::fclose(file);
        return false;
    }
    if (got == 2 && magic[0] == 'P' && magic[1] == '6') {
        std::fclose(file);
        int width = 0;
        int height = 0;
        unsigned char* pixels = loadPPMQuietly(path, &width, &height, reason);
        if (!pixels) return false;
        *image = textureImage(pixels, width, height, 3);
        std::free(pixels);
        return true;
    }

    std::rewind(file);
    int width = 0;
    int height = 0;
    int fileChannels = 0;
    if (!stbi_info_from_file(file, &width, &height, &fileChannels)) {
        *reason = stbReason();
        std::fclose(file);
        return false;
    }
    // Grey with alpha and RGBA keep their alpha; everything else becomes RGB.
    const int channels = fileChannels == 2 || fileChannels == 4 ? 4 : 3;
    unsigned char* pixels = stbi_load_from_file(file, &width, &height, &fileChannels, channels);
    std::fclose(file);
    if (!pixels) {
        *reason = stbReason();
        return false;
    }
    *image = textureImage(pixels, width, height, channels);
    stbi_image_free(pixels);
    return true;
}

std::string textureWarning(const std::string& path, const std::string& reason) {
    return "zelview: can't read texture \"" + path + "\": " + reason + "\n";
}

TextureSet chooseTextures(const ZelModel& model, const Image* given) {
    TextureSet set;
    const uint32_t slots = model.materials ? model.materialcount : 1;
    bool anyMap = false;
    for (uint32_t m = 0; model.materials && m < model.materialcount; m++)
        anyMap = anyMap || model.materials[m].diffusemap.name != nullptr;

    if (given || !anyMap) {
        set.textures.push_back({given ? *given : checkerboard(), false});
        set.textureOf.assign(slots, 0);
        return set;
    }

    // Each file is read once, however many materials name it; a file that cannot be read is
    // reported once. The key holds the wrap mode too: it belongs to the texture object.
    std::map<std::pair<std::string, bool>, int> made;
    std::map<std::string, bool> unreadable;
    for (uint32_t m = 0; m < slots; m++) {
        const ZelTextureMap& map = model.materials[m].diffusemap;
        int texture = -1;
        if (map.name && !unreadable.count(map.path)) {
            const auto key = std::make_pair(std::string(map.path), map.clamp != 0);
            const auto found = made.find(key);
            if (found != made.end()) {
                texture = found->second;
            } else {
                Texture read;
                read.clamp = map.clamp != 0;
                std::string reason;
                if (readImage(map.path, &read.image, &reason)) {
                    texture = int(set.textures.size());
                    set.textures.push_back(std::move(read));
                    set.mapsRead++;
                    made[key] = texture;
                } else {
                    unreadable[map.path] = true;
                    set.warnings += textureWarning(map.path, reason);
                }
            }
        }
        set.textureOf.push_back(texture);
    }
    return set;
}

}  // namespace zelview
