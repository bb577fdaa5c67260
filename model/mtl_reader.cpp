// The MTL reader: a counting scan sizes the material array, a filling scan stores the materials.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A material array under construction, released unless it is taken.
struct MaterialArray {
    ZelMaterial* materials = nullptr;
    uint32_t count = 0;
    ~MaterialArray() { freeMaterials(materials, count); }
};

// The words of a line, each with where it starts.
struct Words {
    std::vector<std::pair<size_t, std::string>> words;
    explicit Words(const std::string& line) {
        for (size_t at = 0; at < line.size();) {
            while (at < line.size() && isSpace(static_cast<unsigned char>(line[at]))) ++at;
            size_t start = at;
            while (at < line.size() && !isSpace(static_cast<unsigned char>(line[at]))) ++at;
            if (at > start) words.emplace_back(start, line.substr(start, at - start));
        }
    }
};

// The word as a "%f" number read whole.
bool wordNumber(const std::string& word, float* value) {
    return wholeNumber(word.data(), word.size(), value);
}

// How a texture-map option's arguments are read.
enum class Arguments {
    None,     // no option: the word begins the file name
    Switch,   // on or off (the blend and clamp switches, colour correction)
    Words,    // a fixed number of words
    Numbers,  // one to three numbers (-o, -s, -t)
};

struct Option {
    Arguments arguments;
    size_t words;  // for Arguments::Words
};

Option optionOf(const std::string& word) {
    static const struct {
        const char* name;
        Option option;
    } kOptions[] = {
        {"-blendu", {Arguments::Switch, 1}}, {"-blendv", {Arguments::Switch, 1}},
        {"-cc", {Arguments::Switch, 1}},     {"-clamp", {Arguments::Switch, 1}},
        {"-bm", {Arguments::Words, 1}},      {"-boost", {Arguments::Words, 1}},
        {"-texres", {Arguments::Words, 1}},  {"-imfchan", {Arguments::Words, 1}},
        {"-type", {Arguments::Words, 1}},    {"-mm", {Arguments::Words, 2}},
        {"-o", {Arguments::Numbers, 3}},     {"-s", {Arguments::Numbers, 3}},
        {"-t", {Arguments::Numbers, 3}},
    };
    for (const auto& entry : kOptions)
        if (word == entry.name) return entry.option;
    return {Arguments::None, 0};
}

// The map a texture-map keyword sets, or null for any other keyword.
ZelTextureMap* mapOf(ZelMaterial& material, const char* keyword) {
    auto is = [keyword](const char* name) { return name && std::strcmp(keyword, name) == 0; };
    for (const MapField& map : kMapFields)
        if (is(map.keyword) || is(map.alias[0]) || is(map.alias[1])) return &(material.*map.field);
    return nullptr;
}

// The file a map names: the name with '/' for '\', behind the MTL file's directory unless it is
// absolute ("/..." or a drive letter, "C:/...").
std::string mapPath(const std::string& directory, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool absolute =
        name[0] == '/' || (name.size() > 2 && std::isalpha(static_cast<unsigned char>(name[0])) &&
                           name[1] == ':' && name[2] == '/');
    return absolute ? name : directory + name;
}

// A texture-map line after its keyword: its options, then the file name, the rest of the line with
// its inner blanks. A line with no name leaves the map as it was.
void readMap(std::string line, const std::string& directory, ZelTextureMap* map) {
    // A NUL ends the line, as it ends every string a model holds (the name among them).
    line.resize(std::strlen(line.c_str()));
    ZelTextureMap read = kNoTextureMap;
    Words words(line);
    size_t i = 0;
    while (i < words.words.size()) {
        const std::string& name = words.words[i].second;
        const Option option = optionOf(name);
        if (option.arguments == Arguments::None) break;
        i++;
        if (option.arguments == Arguments::Numbers) {
            float values[3];
            size_t n = 0;
            while (n < option.words && i < words.words.size() &&
                   wordNumber(words.words[i].second, &values[n]))
                n++, i++;
            float* into = name == "-o" ? read.offset : name == "-s" ? read.scale : nullptr;
            for (size_t k = 0; into && k < n; k++) into[k] = values[k];
        } else if (option.arguments == Arguments::Switch) {
            if (i < words.words.size() &&
                (words.words[i].second == "on" || words.words[i].second == "off")) {
                if (name == "-clamp") read.clamp = words.words[i].second == "on";
                i++;
            }
        } else {
            float value;
            if (name == "-bm" && i < words.words.size() &&
                wordNumber(words.words[i].second, &value))
                read.bumpmultiplier = value;
            i = std::min(i + option.words, words.words.size());
        }
    }
    if (i >= words.words.size()) return;
    std::string name = line.substr(words.words[i].first);
    while (isSpace(static_cast<unsigned char>(name.back()))) name.pop_back();
    read.name = copyString(name.c_str());
    try {
        read.path = copyString(mapPath(directory, name).c_str());
    } catch (...) {
        std::free(read.name);
        throw;
    }
    freeTextureMap(map);
    *map = read;
}

// Reads the library's materials into `out`. `directory` is the library's own, for the paths of
// its texture maps.
void scanMaterials(Scanner& in, const std::string& directory, MaterialArray* out) {
    char word[kMaxToken + 1];
    char line[kMaxToken + 1];

    uint64_t count = 1;  // the built-in "default"
    while (in.readWord(word)) {
        if (word[0] == 'n') count++;
        in.skipLine();
    }
    if (count > UINT32_MAX) count = UINT32_MAX;  // the filling scan stores no more than this
    in.seek(0);

    out->materials = static_cast<ZelMaterial*>(allocateZeroed(count, sizeof(ZelMaterial)));
    out->count = static_cast<uint32_t>(count);
    ZelMaterial* const materials = out->materials;
    for (uint32_t i = 0; i < out->count; i++) {
        setColor(materials[i].diffuse, 0.8f, 0.8f, 0.8f);
        setColor(materials[i].ambient, 0.2f, 0.2f, 0.2f);
        setColor(materials[i].specular, 0.0f, 0.0f, 0.0f);
        materials[i].shininess = 65.0f;
        materials[i].dissolve = 1.0f;
        for (ZelTextureMap* map : textureMaps(materials[i])) *map = kNoTextureMap;
    }
    materials[0].name = copyString("default");

    // "d" wins over "Tr" within a material, whichever comes first.
    std::vector<bool> dissolveGiven(out->count, false);
    uint32_t current = 0;
    std::string rest;
    while (in.readWord(word)) {
        ZelMaterial& material = materials[current];
        switch (word[0]) {
            case 'n':
                in.readLine(line);
                // A material the counting scan did not see has no entry; it is left out.
                if (current + 1 < out->count) {
                    current++;
                    materials[current].name = copyString(statementName(line).c_str());
                }
                continue;
            case 'N':
                in.readFloat(&material.shininess);
                // From the file's 0..1000 range to OpenGL's 0..128, applied even when no number
                // was read.
                material.shininess = static_cast<float>(material.shininess / 1000.0);
                material.shininess = static_cast<float>(material.shininess * 128.0);
                continue;
            case 'K':
                if (word[1] == 'd')
                    in.readFloats(material.diffuse, 3);
                else if (word[1] == 'a')
                    in.readFloats(material.ambient, 3);
                else if (word[1] == 's')
                    in.readFloats(material.specular, 3);
                else
                    in.skipLine();
                continue;
            default:
                break;
        }
        // Statements beyond the colours: each reads its whole line, as a skipped one would be.
        ZelTextureMap* map = mapOf(material, word);
        const bool dissolve = std::strcmp(word, "d") == 0;
        const bool transparency = std::strcmp(word, "Tr") == 0;
        if (!map && !dissolve && !transparency) {
            in.skipLine();
            continue;
        }
        in.readRestOfLine(&rest);
        if (map) {
            readMap(rest, directory, map);
            continue;
        }
        Words words(rest);
        size_t first = !words.words.empty() && words.words[0].second == "-halo";
        float value;
        if (first >= words.words.size() || !wordNumber(words.words[first].second, &value))
            continue;
        if (dissolve) {
            material.dissolve = value;
            dissolveGiven[current] = true;
        } else if (!dissolveGiven[current]) {
            material.dissolve = static_cast<float>(1.0 - value);
        }
    }
    // Entries whose "newmtl" the filling scan read differently get an empty name, so every
    // material has one.
    for (uint32_t i = 0; i < out->count; i++)
        if (!materials[i].name) materials[i].name = copyString("");
}

}  // namespace

std::string libraryPath(const ZelModel* model, const char* name) {
    return dirName(model->path) + name;
}

std::string missingLibraryWarning(const ZelModel* model, const std::string& name) {
    return "zelReadMTL() warning: can't open material file \"" +
           libraryPath(model, name.c_str()) + "\", going on without it.\n";
}

Status readMTL(ZelModel* model, const char* name, const TextProvider* mtl) {
    const std::string path = libraryPath(model, name);
    const std::string directory = dirName(path.c_str());

    MaterialArray read;
    bool failed = false;
    if (mtl) {
        std::string text;
        if (!(*mtl)(path, text)) {
            failed = true;
        } else {
            Scanner in(text.data(), text.size());
            scanMaterials(in, directory, &read);
        }
    } else {
        Input input;
        if (!openForReading(path.c_str(), &input)) {
            failed = true;
        } else {
            struct Closer {
                int fd;
                ~Closer() { close(fd); }
            } closer{input.fd};
            std::vector<char> buffer(std::min<uint64_t>(kDefaultBufferSize, input.size + 1));
            Scanner in(input, 0, buffer);
            scanMaterials(in, directory, &read);
            failed = in.failed();
        }
    }
    if (failed)
        return failure(Stream::Err, "zelReadMTL() failed: can't open material file \"%s\".\n",
                       path.c_str());
    freeMaterials(model->materials, model->materialcount);
    model->materials = read.materials;
    model->materialcount = read.count;
    read.materials = nullptr;
    read.count = 0;
    return Status{};
}

}  // namespace zel

void zelReadMTL(ZelModel* model, const char* name) {
    ZEL_REQUIRE(model);
    zel::Status status = zel::exitOnOutOfMemory(
        "zelReadMTL", [&] { return zel::readMTL(model, name, nullptr); });
    if (!status.ok) zel::exitWith(status);
}
