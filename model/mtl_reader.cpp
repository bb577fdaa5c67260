// The MTL reader: a counting scan sizes the material array, a filling scan stores the materials.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
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
    std::string type;
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
            if (name == "-type" && i < words.words.size()) type = words.words[i].second;
            i = std::min(i + option.words, words.words.size());
        }
    }
    if (i >= words.words.size()) return;
    std::string name = line.substr(words.words[i].first);
    while (isSpace(static_cast<unsigned char>(name.back()))) name.pop_back();
    try {
        read.name = copyString(name.c_str());
        read.path = copyString(mapPath(directory, name).c_str());
        if (!type.empty()) read.type = copyString(type.c_str());
    } catch (...) {
        freeTextureMap(&read);
        throw;
    }
    freeTextureMap(map);
    *map = read;
}

// A number that is the whole of the first word of `text`.
bool firstNumber(const std::string& text, float* value) {
    return wholeNumbers(text.data(), text.size(), value, 1) == 1;
}

// An integer that is the whole of the first word of `text` and fits 32 bits.
bool firstInteger(const std::string& text, int32_t* value) {
    Words words(text);
    if (words.words.empty()) return false;
    const std::string& word = words.words[0].second;
    size_t at = word[0] == '-' || word[0] == '+';
    if (at == word.size() || word.size() - at > 10) return false;
    int64_t magnitude = 0;
    for (; at < word.size(); at++) {
        if (!isDigit(static_cast<unsigned char>(word[at]))) return false;
        magnitude = magnitude * 10 + (word[at] - '0');
    }
    const int64_t number = word[0] == '-' ? -magnitude : magnitude;
    if (number < INT32_MIN || number > INT32_MAX) return false;
    *value = static_cast<int32_t>(number);
    return true;
}

// A line without its line end: cut at a NUL, as every string a model holds ends there, and
// without the carriage returns before the line feed (so that it reads back as it is written).
void trimLine(std::string* line) {
    line->resize(std::strlen(line->c_str()));
    while (!line->empty() && line->back() == '\r') line->pop_back();
}

// The start values of every material.
void startMaterial(ZelMaterial* material) {
    setColor(material->diffuse, 0.8f, 0.8f, 0.8f);
    setColor(material->ambient, 0.2f, 0.2f, 0.2f);
    setColor(material->specular, 0.0f, 0.0f, 0.0f);
    material->shininess = 65.0f;
    material->dissolve = 1.0f;
    for (ZelTextureMap* map : textureMaps(*material)) *map = kNoTextureMap;
    material->ior = 1.0f;
    material->illum = -1;
    for (float& c : material->transmission) c = 1.0f;
}

// Scales a shininess from the file's 0..1000 range onto OpenGL's 0..128.
void scaleShininess(float* shininess) {
    *shininess = static_cast<float>(*shininess / 1000.0);
    *shininess = static_cast<float>(*shininess * 128.0);
}

// Fills the materials of a library, in either dialect: what each statement sets, and the
// statements kept as they stand.
class MaterialFiller {
public:
    MaterialFiller(MaterialArray* out, const std::string& directory, bool whole)
        : out_(out), directory_(directory), whole_(whole), dissolveGiven_(out->count, false) {}

    ZelMaterial& current() { return out_->materials[current_]; }

    // Opens the next material under `name`; one the counting scan did not see is left out.
    void open(const std::string& name) {
        if (current_ + 1 >= out_->count) return;
        current_++;
        current().name = copyString(name.c_str());
    }

    // A statement read as its keyword (as many bytes as it has) and the rest of its line (without
    // the line end), other than "newmtl" and, in the first-letter dialect, the statements decided
    // by first letters.
    void statement(const std::string& word, const std::string& wordRest) {
        const char* keyword = word.c_str();
        // A comment, or a line that a NUL ends before its keyword, is not kept.
        if (keyword[0] == '#' || keyword[0] == '\0') return;
        // A NUL inside the keyword ends the line there: nothing after it is read or kept.
        static const std::string kNothing;
        const std::string& line = std::strlen(keyword) < word.size() ? kNothing : wordRest;
        ZelMaterial& material = current();
        auto is = [keyword](const char* name) { return std::strcmp(keyword, name) == 0; };
        if (ZelTextureMap* map = mapOf(material, keyword)) {
            readMap(line, directory_, map);
            return;
        }
        if (is("d") || is("Tr")) {
            readDissolve(is("d"), line);
            return;
        }
        // The rest of the statements are read as they are kept: up to a NUL, as every string a
        // model holds ends there, so that what is kept reads back the same.
        const std::string rest(line.c_str());
        if (whole_ && is("Ns")) {
            if (!firstNumber(rest, &material.shininess)) return keep(keyword, rest);
            scaleShininess(&material.shininess);
            return;
        }
        float* color = is("Ke")   ? material.emission
                       : is("Tf") ? material.transmission
                       : !whole_  ? nullptr
                       : is("Ka") ? material.ambient
                       : is("Kd") ? material.diffuse
                       : is("Ks") ? material.specular
                                  : nullptr;
        if (color) {
            float values[3];
            const int n = wholeNumbers(rest.data(), rest.size(), values, 3);
            if (n == 0) return keep(keyword, rest);  // "Kd spectral ...", "Kd xyz ...": kept
            for (int k = 0; k < 3; k++)
                if (n == 1 || k < n) color[k] = values[n == 1 ? 0 : k];
            return;
        }
        if (is("illum")) {
            if (!firstInteger(rest, &material.illum)) keep(keyword, rest);
            return;
        }
        // "Ni" is read here in the whole-keyword dialect; the first-letter dialect reads it with
        // the shininess.
        if (is("Ni") && whole_) {
            if (!firstNumber(rest, &material.ior)) keep(keyword, rest);
            return;
        }
        for (const NumberField& number : kPbrFields)
            if (is(number.keyword)) {
                if (!firstNumber(rest, &(material.*number.field))) keep(keyword, rest);
                return;
            }
        keep(keyword, rest);
    }

    // Moves the kept statements into their materials, and names the entries whose "newmtl" the
    // filling scan read differently, so that every material has a name.
    void finish() {
        for (uint32_t i = 0; i < out_->count; i++) {
            ZelMaterial& material = out_->materials[i];
            if (!material.name) material.name = copyString("");
            auto found = kept_.find(i);
            if (found == kept_.end()) continue;
            const std::vector<std::string>& lines = found->second;
            material.statements = static_cast<char**>(allocateZeroed(lines.size(), sizeof(char*)));
            material.statementcount = static_cast<uint32_t>(lines.size());
            for (size_t k = 0; k < lines.size(); k++)
                material.statements[k] = copyString(lines[k].c_str());
        }
    }

private:
    // "d" wins over "Tr" within a material, whichever comes first.
    void readDissolve(bool dissolve, const std::string& rest) {
        Words words(rest);
        size_t first = !words.words.empty() && words.words[0].second == "-halo";
        float value;
        if (first >= words.words.size() || !wordNumber(words.words[first].second, &value)) return;
        if (dissolve) {
            current().dissolve = value;
            dissolveGiven_[current_] = true;
        } else if (!dissolveGiven_[current_]) {
            current().dissolve = static_cast<float>(1.0 - value);
        }
    }

    // Keeps a statement as it stands; a line read whole has been trimmed already.
    void keep(const char* keyword, const std::string& rest) {
        std::string line = keyword + rest;
        if (!whole_) trimLine(&line);
        kept_[current_].push_back(std::move(line));
    }

    MaterialArray* out_;
    const std::string& directory_;
    const bool whole_;
    std::vector<bool> dissolveGiven_;
    std::map<uint32_t, std::vector<std::string>> kept_;
    uint32_t current_ = 0;
};

// Allocates `count` materials with their start values and names material 0.
void startMaterials(uint64_t count, MaterialArray* out) {
    if (count > UINT32_MAX) count = UINT32_MAX;  // the filling scan stores no more than this
    out->materials = static_cast<ZelMaterial*>(allocateZeroed(count, sizeof(ZelMaterial)));
    out->count = static_cast<uint32_t>(count);
    for (uint32_t i = 0; i < out->count; i++) startMaterial(&out->materials[i]);
    out->materials[0].name = copyString("default");
}

// Reads the library's materials into `out` by first letters, the documented dialect. `directory`
// is the library's own, for the paths of its texture maps.
void scanMaterials(Scanner& in, const std::string& directory, MaterialArray* out) {
    char word[kMaxToken + 1];
    char line[kMaxToken + 1];

    uint64_t count = 1;  // the built-in "default"
    while (in.readWord(word)) {
        if (word[0] == 'n') count++;
        in.skipLine();
    }
    in.seek(0);
    startMaterials(count, out);

    MaterialFiller filler(out, directory, false);
    std::string rest;
    while (size_t length = in.readWord(word)) {
        ZelMaterial& material = filler.current();
        switch (word[0]) {
            case 'n':
                in.readLine(line);
                filler.open(statementName(line));
                continue;
            case 'N': {
                float value;
                if (in.readFloat(&value) == 1) {
                    material.shininess = value;
                    if (std::strcmp(word, "Ni") == 0) material.ior = value;
                }
                // Applied even when no number was read.
                scaleShininess(&material.shininess);
                continue;
            }
            case 'K':
                if (word[1] == 'd') {
                    in.readFloats(material.diffuse, 3);
                    continue;
                }
                if (word[1] == 'a') {
                    in.readFloats(material.ambient, 3);
                    continue;
                }
                if (word[1] == 's') {
                    in.readFloats(material.specular, 3);
                    continue;
                }
                break;
            case '#':
                in.skipLine();
                continue;
            default:
                break;
        }
        // Every other statement reads its whole line, as a skipped one would be.
        in.readRestOfLine(&rest);
        filler.statement(std::string(word, length), rest);
    }
    filler.finish();
}

// Splits a line read whole into its keyword and the rest (which keeps its leading blanks).
void splitStatement(const std::string& line, std::string* keyword, std::string* rest) {
    size_t end = 0;
    while (end < line.size() && !isSpace(static_cast<unsigned char>(line[end]))) ++end;
    keyword->assign(line, 0, end);
    rest->assign(line, end, std::string::npos);
}

// Reads the library's materials by whole keywords, each line read whole whatever its length.
void scanMaterialsWhole(Scanner& in, const std::string& directory, MaterialArray* out) {
    std::string line, keyword, rest;
    auto next = [&]() {
        in.skipSpace();
        if (in.peek() == EOF) return false;
        in.readRestOfLine(&line);
        trimLine(&line);
        splitStatement(line, &keyword, &rest);
        return true;
    };
    uint64_t count = 1;
    while (next()) count += keyword == "newmtl";
    in.seek(0);
    startMaterials(count, out);

    MaterialFiller filler(out, directory, true);
    while (next()) {
        if (keyword == "newmtl")
            filler.open(trimmedName(rest));
        else
            filler.statement(keyword, rest);
    }
    filler.finish();
}

}  // namespace

bool pathInside(const std::string& folder, const std::string& path) {
    if (path.compare(0, folder.size(), folder) != 0) return false;
    const std::string name = path.substr(folder.size());
    const bool drive = name.size() > 2 && std::isalpha(static_cast<unsigned char>(name[0])) &&
                       name[1] == ':' && name[2] == '/';
    if (name.empty() || name[0] == '/' || drive) return false;
    // By its names: ".." may not climb above the folder.
    size_t depth = 0;
    for (size_t at = 0; at <= name.size();) {
        size_t end = name.find('/', at);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(at, end - at);
        if (part == "..") {
            if (depth == 0) return false;
            depth--;
        } else if (!part.empty() && part != ".") {
            depth++;
        }
        at = end + 1;
    }
    // By what it is: when it exists, with its links resolved, it must still be inside.
    char* root = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    char* target = root ? realpath(path.c_str(), nullptr) : nullptr;
    bool inside = true;
    if (target) {
        const size_t length = std::strlen(root);
        inside = std::strncmp(target, root, length) == 0 &&
                 (target[length] == '/' || (length == 1 && root[0] == '/'));
    }
    std::free(root);
    std::free(target);
    return inside;
}

std::string libraryPath(const ZelModel* model, const char* name) {
    return dirName(model->path) + name;
}

std::string missingLibraryWarning(const ZelModel* model, const std::string& name) {
    return "zelReadMTL() warning: can't open material file \"" + libraryPath(model, name.c_str()) +
           "\", going on without it.\n";
}

Status outsideLibrary(const ZelModel* model, const std::string& name, std::string* warning) {
    const std::string path = libraryPath(model, name.c_str());
    if (warning)
        *warning = "zelReadMTL() warning: material file \"" + path +
                   "\" is outside the model's folder, going on without it.\n";
    return failure(Stream::Err,
                   "zelReadMTL() failed: material file \"%s\" is outside the model's folder.\n",
                   path.c_str());
}

Status readMTL(ZelModel* model, const char* name, const TextProvider* mtl, uint32_t flags) {
    const auto scan = flags & ZEL_LOAD_WHOLE_KEYWORDS ? scanMaterialsWhole : scanMaterials;
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
            scan(in, directory, &read);
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
            scan(in, directory, &read);
            failed = in.failed();
        }
    }
    if (failed)
        return failure(Stream::Err, "zelReadMTL() failed: can't open material file \"%s\".\n",
                       path.c_str());
    const std::string folder = dirName(model->path);
    for (uint32_t i = 1; i < read.count; i++)
        for (ZelTextureMap* map : textureMaps(read.materials[i]))
            if (map->path) map->inside = pathInside(folder, map->path);
    if ((flags & ZEL_LOAD_WHOLE_KEYWORDS) && model->materials) {
        // Every library adds its materials after those read before (its "default" is dropped).
        const uint64_t count = uint64_t{model->materialcount} + read.count - 1;
        if (count > UINT32_MAX) throw std::bad_alloc();
        auto* joined = static_cast<ZelMaterial*>(allocate(count * sizeof(ZelMaterial)));
        std::memcpy(joined, model->materials, model->materialcount * sizeof(ZelMaterial));
        std::memcpy(joined + model->materialcount, read.materials + 1,
                    (read.count - 1) * sizeof(ZelMaterial));
        std::free(model->materials);
        model->materials = joined;
        model->materialcount = static_cast<uint32_t>(count);
        read.count = 1;  // only its "default" is left to free
        return Status{};
    }
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
    zel::Status status =
        zel::exitOnOutOfMemory("zelReadMTL", [&] { return zel::readMTL(model, name, nullptr); });
    if (!status.ok) zel::exitWith(status);
}
