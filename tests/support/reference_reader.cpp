// The plain stdio reference reader: every statement is read with the stdio call the reading rules
// name, nothing is buffered or parsed by hand.
#include "reference_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "polygon.h"

namespace zeltest {
namespace {

// The rest of the current line, line end included, at most 127 characters; "" at the end of file.
void readRest(FILE* file, char* buf) {
    buf[0] = '\0';
    if (!std::fgets(buf, 128, file)) buf[0] = '\0';
}

// Library and material names: the second word of the rest of the line when it has two, else the
// first, else the rest of the line as read.
void takeName(const char* rest, char* name) {
    char first[128], second[128];
    int words = std::sscanf(rest, "%127s %127s", first, second);
    if (words == 2)
        std::strcpy(name, second);
    else if (words == 1)
        std::strcpy(name, first);
    else
        std::strcpy(name, rest);
}

// Group names: the rest of the line without its last character (the line end); a CR before that LF
// goes too.
void takeGroupName(char* rest) {
    size_t length = std::strlen(rest);
    if (length == 0) return;
    bool lineFeed = rest[length - 1] == '\n';
    rest[--length] = '\0';
    if (lineFeed && length > 0 && rest[length - 1] == '\r') rest[--length] = '\0';
}

// The rest of the current line, whatever its length, without its line feed.
std::string wholeRest(FILE* file) {
    std::string rest;
    for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) rest += static_cast<char>(c);
    return rest;
}

// A name read by whole keywords: up to a NUL, without the white space around it.
std::string trimmed(const std::string& rest) {
    std::string name = rest.c_str();
    name.erase(0, name.find_first_not_of(" \t\v\f\r\n"));
    name.erase(name.find_last_not_of(" \t\v\f\r\n") + 1);
    return name;
}

// Reads the leading words of `text` that are whole "%f" numbers, up to n; returns how many.
int wholeNumbers(const std::string& text, float* values, int n) {
    const char* p = text.c_str();
    int got = 0;
    char word[4096];
    int used;
    while (got < n && std::sscanf(p, "%4095s%n", word, &used) == 1) {
        int end = 0;
        float value;
        if (std::sscanf(word, "%f%n", &value, &end) != 1 || word[end] != '\0') break;
        values[got++] = value;
        p += used;
    }
    return got;
}

ZelTextureMap* mapsOf(ZelMaterial& m) {
    return &m.ambientmap;  // the six maps follow each other
}

void freeMaterials(ZelModel* model) {
    for (uint32_t i = 0; i < model->materialcount; i++) {
        std::free(model->materials[i].name);
        for (int k = 0; k < 6; k++) {
            std::free(mapsOf(model->materials[i])[k].name);
            std::free(mapsOf(model->materials[i])[k].path);
        }
    }
    std::free(model->materials);
    model->materials = nullptr;
    model->materialcount = 0;
}

// The defaults of `count` materials, the first named "default".
ZelMaterial* startMaterials(uint32_t count) {
    ZelMaterial* materials = static_cast<ZelMaterial*>(std::calloc(count, sizeof(ZelMaterial)));
    for (uint32_t i = 0; i < count; i++) {
        ZelMaterial& m = materials[i];
        for (int c = 0; c < 3; c++) {
            m.diffuse[c] = 0.8f;
            m.ambient[c] = 0.2f;
            m.specular[c] = 0.0f;
        }
        m.diffuse[3] = m.ambient[3] = m.specular[3] = 1.0f;
        m.shininess = 65.0f;
        m.dissolve = 1.0f;
        for (int k = 0; k < 6; k++) {
            ZelTextureMap& map = mapsOf(m)[k];
            map.scale[0] = map.scale[1] = map.scale[2] = 1.0f;
            map.bumpmultiplier = 1.0f;
        }
    }
    materials[0].name = strdup("default");
    return materials;
}

// A map line's file name, when it has one (the reference reads maps without options).
void takeMap(ZelTextureMap& map, const std::string& rest, const std::string& directory) {
    std::string name = rest;
    name.erase(0, name.find_first_not_of(" \t\v\f\r\n"));
    name.erase(name.find_last_not_of(" \t\v\f\r\n") + 1);
    if (name.empty()) return;
    std::free(map.name);
    std::free(map.path);
    map.name = strdup(name.c_str());
    map.path = strdup((directory + name).c_str());
}

const char* const kMaps[] = {"map_Ka", "map_Kd", "map_Ks", "map_Ns", "map_d", "map_bump"};

// Reads a library by whole keywords, each line whole, and adds its materials after the model's:
// 1, or 0 when it cannot be opened.
int readMTLWhole(ZelModel* model, const char* name) {
    char* dir = zelDirName(model->path);
    std::string path = std::string(dir) + name;
    std::free(dir);
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return 0;
    const std::string directory = path.substr(0, path.rfind('/') + 1);
    std::vector<std::pair<std::string, std::string>> lines;  // keyword, rest
    for (int c; (c = std::fgetc(file)) != EOF;) {
        std::ungetc(c, file);
        std::string line = wholeRest(file);
        line.erase(0, line.find_first_not_of(" \t\v\f\r"));
        size_t end = line.find_first_of(" \t\v\f\r");
        if (end == std::string::npos) end = line.size();
        lines.emplace_back(line.substr(0, end), line.substr(end));
    }
    std::fclose(file);
    uint32_t count = 1;
    for (const auto& line : lines) count += line.first == "newmtl";
    ZelMaterial* read = startMaterials(count);
    std::vector<bool> dissolveGiven(count, false);
    uint32_t current = 0;
    for (const auto& [keyword, rest] : lines) {
        ZelMaterial& m = read[current];
        float values[3];
        if (keyword == "newmtl") {
            read[++current].name = strdup(trimmed(rest).c_str());
        } else if (keyword == "Ns") {
            if (wholeNumbers(rest, &m.shininess, 1) == 1) {
                m.shininess = m.shininess / 1000.0;
                m.shininess = m.shininess * 128.0;
            }
        } else if (keyword == "Ka" || keyword == "Kd" || keyword == "Ks") {
            float* color = keyword == "Ka" ? m.ambient : keyword == "Kd" ? m.diffuse : m.specular;
            int n = wholeNumbers(rest, values, 3);
            for (int k = 0; k < 3 && n; k++)
                if (n == 1 || k < n) color[k] = values[n == 1 ? 0 : k];
        } else if (keyword == "d" || keyword == "Tr") {
            if (wholeNumbers(rest, values, 1) == 1) {
                if (keyword == "d") {
                    m.dissolve = values[0];
                    dissolveGiven[current] = true;
                } else if (!dissolveGiven[current]) {
                    m.dissolve = 1.0 - values[0];
                }
            }
        } else {
            for (int k = 0; k < 6; k++)
                if (keyword == kMaps[k] || (k == 5 && (keyword == "map_Bump" || keyword == "bump")))
                    takeMap(mapsOf(m)[k], rest.c_str(), directory);
        }
    }
    if (!model->materials) {
        model->materials = read;
        model->materialcount = count;
        return 1;
    }
    ZelMaterial* joined = static_cast<ZelMaterial*>(
        std::calloc(model->materialcount + count - 1, sizeof(ZelMaterial)));
    std::memcpy(joined, model->materials, model->materialcount * sizeof(ZelMaterial));
    std::memcpy(joined + model->materialcount, read + 1, (count - 1) * sizeof(ZelMaterial));
    // The library's own "default" goes, with what its lines before the first "newmtl" set.
    std::free(read[0].name);
    for (int k = 0; k < 6; k++) {
        std::free(mapsOf(read[0])[k].name);
        std::free(mapsOf(read[0])[k].path);
    }
    std::free(read);
    std::free(model->materials);
    model->materials = joined;
    model->materialcount += count - 1;
    return 1;
}

// Reads a library: 1, or 0 when it cannot be opened, or -1 when its two scans disagree.
int readMTL(ZelModel* model, const char* name) {
    char* dir = zelDirName(model->path);
    std::string path = std::string(dir) + name;
    std::free(dir);
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return 0;

    char buf[128];
    uint32_t count = 1;
    while (std::fscanf(file, "%127s", buf) != EOF) {
        if (buf[0] == 'n') count++;
        readRest(file, buf);
    }
    std::rewind(file);

    freeMaterials(model);
    model->materials = startMaterials(count);
    model->materialcount = count;
    const std::string directory = path.substr(0, path.rfind('/') + 1);

    bool ok = true;
    uint32_t current = 0;
    std::vector<bool> dissolveGiven(count, false);
    while (ok && std::fscanf(file, "%127s", buf) != EOF) {
        ZelMaterial& m = model->materials[current];
        int read = 0;
        // Dissolve and transparency: one number that is its whole word.
        if (std::strcmp(buf, "d") == 0 || std::strcmp(buf, "Tr") == 0) {
            char rest[128];
            readRest(file, rest);
            float value;
            int used = 0;
            char word[128];
            if (std::sscanf(rest, "%127s", word) == 1 &&
                std::sscanf(word, "%f%n", &value, &used) == 1 && word[used] == '\0') {
                if (buf[0] == 'd') {
                    m.dissolve = value;
                    dissolveGiven[current] = true;
                } else if (!dissolveGiven[current]) {
                    m.dissolve = 1.0 - value;
                }
            }
            continue;
        }
        int mapIndex = -1;
        for (int k = 0; k < 6; k++)
            if (std::strcmp(buf, kMaps[k]) == 0) mapIndex = k;
        if (mapIndex >= 0) {
            char rest[128];
            readRest(file, rest);
            takeMap(mapsOf(m)[mapIndex], rest, directory);
            continue;
        }
        switch (buf[0]) {
            case 'n': {
                char rest[128], materialName[128];
                readRest(file, rest);
                takeName(rest, materialName);
                if (++current >= count) {
                    ok = false;
                    break;
                }
                model->materials[current].name = strdup(materialName);
                break;
            }
            case 'N':
                read = std::fscanf(file, "%f", &m.shininess);
                m.shininess = m.shininess / 1000.0;
                m.shininess = m.shininess * 128.0;
                break;
            case 'K':
                switch (buf[1]) {
                    case 'd':
                        read = std::fscanf(file, "%f %f %f", &m.diffuse[0], &m.diffuse[1],
                                           &m.diffuse[2]);
                        break;
                    case 'a':
                        read = std::fscanf(file, "%f %f %f", &m.ambient[0], &m.ambient[1],
                                           &m.ambient[2]);
                        break;
                    case 's':
                        read = std::fscanf(file, "%f %f %f", &m.specular[0], &m.specular[1],
                                           &m.specular[2]);
                        break;
                    default:
                        readRest(file, buf);
                        break;
                }
                break;
            default:
                readRest(file, buf);
                break;
        }
        (void)read;
    }
    std::fclose(file);
    return ok && current + 1 == count ? 1 : -1;  // otherwise the scans saw different statements
}

// The four forms of a face reference, in the order they are tested.
enum class Form { VertexNormal, VertexTexNormal, VertexTex, Vertex };

// Reads the face's first reference from its word and returns the face's form.
Form firstReference(const char* word, int* v, int* t, int* n) {
    if (std::strstr(word, "//")) {
        std::sscanf(word, "%d//%d", v, n);
        return Form::VertexNormal;
    }
    if (std::sscanf(word, "%d/%d/%d", v, t, n) == 3) return Form::VertexTexNormal;
    if (std::sscanf(word, "%d/%d", v, t) == 2) return Form::VertexTex;
    std::sscanf(word, "%d", v);
    return Form::Vertex;
}

// Reads one further reference in the face's form; returns fscanf's result.
int nextReference(FILE* file, Form form, int* v, int* t, int* n) {
    switch (form) {
        case Form::VertexNormal:
            return std::fscanf(file, "%d//%d", v, n);
        case Form::VertexTexNormal:
            return std::fscanf(file, "%d/%d/%d", v, t, n);
        case Form::VertexTex:
            return std::fscanf(file, "%d/%d", v, t);
        case Form::Vertex:
            break;
    }
    return std::fscanf(file, "%d", v);
}

// Writes corner `k` of a triangle: the index triples the form supplies, and only those.
void setCorner(ZelTriangle& tri, int k, Form form, uint32_t v, uint32_t t, uint32_t n) {
    tri.vertexidx[k] = v;
    if (form == Form::VertexTexNormal || form == Form::VertexTex) tri.texcoordidx[k] = t;
    if (form == Form::VertexTexNormal || form == Form::VertexNormal) tri.normalidx[k] = n;
}

// What a group keeps beside its triangles, gathered by the filling scan.
struct Shapes {
    std::vector<uint32_t> polygonStart{0}, polygonTriangle, lineStart{0}, points;
    std::vector<ZelCorner> polygonCorners, lineCorners;
};

struct Reader {
    ZelModel* model = nullptr;
    FILE* file = nullptr;
    uint32_t flags = 0;
    std::unordered_map<ZelGroup*, uint32_t> capacity;  // counted triangles of each group
    bool colors = false;
    bool smoothing = false;                           // an "s" line
    std::unordered_map<ZelGroup*, Shapes> shapes;     // by group
    std::vector<uint32_t> smoothingGroups;            // by triangle
    std::vector<std::pair<uint32_t, uint32_t>> cuts;  // faces of four corners or more: first
                                                      // triangle, corners
};

// A word that is a whole int: sign and digits.
bool wholeInt(const std::string& word, int* value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed > INT32_MAX || parsed < -INT32_MAX ||
        !(std::isdigit(static_cast<unsigned char>(word.back()))) ||
        std::isspace(static_cast<unsigned char>(word[0])))
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

// An index of a shape statement resolved against the `read` elements so far of `count`: 0 when
// it names none.
uint32_t resolved(int index, uint32_t read, uint32_t count) {
    const long long at = index < 0 ? static_cast<long long>(read) + 1 + index : index;
    return at >= 1 && at <= count ? static_cast<uint32_t>(at) : 0;
}

// The corners of an "l" (`line`) or "p" statement, or false when it is dropped: a word that is no
// index (or, on an "l" line, "v/t", "v/t/n" or "v//n"), an index naming nothing.
bool shapeCorners(const std::string& rest, bool line, const ZelModel* m, uint32_t vertices,
                  uint32_t texcoords, std::vector<ZelCorner>* corners) {
    corners->clear();
    char word[4096];
    int used;
    const std::string text = rest.c_str();
    for (const char* p = text.c_str(); std::sscanf(p, "%4095s%n", word, &used) == 1; p += used) {
        std::string w = word;
        size_t slash = w.find('/');
        int v = 0, t = 0;
        if (!wholeInt(w.substr(0, slash), &v)) return false;
        ZelCorner corner{resolved(v, vertices, m->vertexcount), 0, 0};
        if (!corner.vertexidx) return false;
        if (slash != std::string::npos) {
            if (!line) return false;
            std::string second = w.substr(slash + 1);
            second = second.substr(0, second.find('/'));
            if (!second.empty()) {
                if (!wholeInt(second, &t) || !m->texcoords) return false;
                corner.texcoordidx = resolved(t, texcoords, m->texcoordcount);
                if (!corner.texcoordidx) return false;
            }
        }
        corners->push_back(corner);
    }
    return true;
}

// The 1-based line of the file that holds byte `offset`.
uint32_t lineAt(const char* path, long offset) {
    FILE* file = std::fopen(path, "r");
    uint32_t line = 1;
    for (long i = 0; i < offset; i++) line += std::fgetc(file) == '\n';
    std::fclose(file);
    return line;
}

// Whether the first six words of `rest` (a vertex line after its keyword) are numbers that "%f"
// reads whole: the position and a colour, stored into `color`.
bool colorOf(const char* rest, float* color) {
    char words[6][128];
    int got = std::sscanf(rest, "%127s %127s %127s %127s %127s %127s", words[0], words[1], words[2],
                          words[3], words[4], words[5]);
    if (got < 6) return false;
    float values[6];
    for (int i = 0; i < 6; i++) {
        int used = 0;
        if (std::sscanf(words[i], "%f%n", &values[i], &used) != 1 || words[i][used] != '\0')
            return false;
    }
    std::memcpy(color, values + 3, 3 * sizeof(float));
    return true;
}

// The statement a keyword starts, as one letter: 'v', 'n' (vn), 't' (vt), 'V' (another keyword
// starting with "v"), 'f', 'g' (also "o" under ZEL_LOAD_OBJECTS), 'u', 'm', 'L' (l), 'P' (p), 'S'
// (s), or 0 for a line that is skipped. By first letters, or under ZEL_LOAD_WHOLE_KEYWORDS by the
// whole keyword; l, p and s whole in both.
char kindOf(const char* keyword, uint32_t flags) {
    const bool objects = flags & ZEL_LOAD_OBJECTS;
    if (std::strcmp(keyword, "l") == 0) return 'L';
    if (std::strcmp(keyword, "p") == 0) return 'P';
    if (std::strcmp(keyword, "s") == 0) return 'S';
    if (!(flags & ZEL_LOAD_WHOLE_KEYWORDS)) {
        switch (keyword[0]) {
            case 'v':
                return keyword[1] == '\0'  ? 'v'
                       : keyword[1] == 'n' ? 'n'
                       : keyword[1] == 't' ? 't'
                                           : 'V';
            case 'o':
                return objects ? 'g' : 0;
            case 'f':
            case 'g':
            case 'u':
            case 'm':
                return keyword[0];
            default:
                return 0;
        }
    }
    static const struct {
        const char* keyword;
        char kind;
    } kKeywords[] = {{"v", 'v'}, {"vn", 'n'}, {"vt", 't'},     {"f", 'f'},
                     {"g", 'g'}, {"o", 'o'},  {"usemtl", 'u'}, {"mtllib", 'm'}};
    for (const auto& entry : kKeywords)
        if (std::strcmp(keyword, entry.keyword) == 0)
            return entry.kind == 'o' ? (objects ? 'g' : 0) : entry.kind;
    return keyword[0] == 'v' ? 'V' : 0;
}

// The rest of the line: at most 127 characters by first letters, whole by whole keywords.
std::string restOf(const Reader& r) {
    if (r.flags & ZEL_LOAD_WHOLE_KEYWORDS) return wholeRest(r.file);
    char buf[128];
    readRest(r.file, buf);
    return buf;
}

// The name of a "g", "usemtl" or "mtllib" line.
std::string nameOf(const Reader& r, char kind) {
    if (r.flags & ZEL_LOAD_WHOLE_KEYWORDS) return trimmed(wholeRest(r.file));
    char buf[128], name[128];
    readRest(r.file, buf);
    if (kind == 'g') {
        takeGroupName(buf);
        return buf;
    }
    takeName(buf, name);
    return name;
}

// The libraries an "mtllib" line names: one by first letters; by whole keywords every word, or the
// whole name when a file of that name is there.
std::vector<std::string> libraryNames(const Reader& r, const std::string& name) {
    if (!(r.flags & ZEL_LOAD_WHOLE_KEYWORDS)) return {name};
    char* dir = zelDirName(r.model->path);
    FILE* whole = std::fopen((std::string(dir) + name).c_str(), "r");
    std::free(dir);
    if (whole) {
        std::fclose(whole);
        return {name};
    }
    std::vector<std::string> names;
    char word[4096];
    int used;
    for (const char* p = name.c_str(); std::sscanf(p, "%4095s%n", word, &used) == 1; p += used)
        names.push_back(word);
    return names;
}

// The counting scan.
bool firstPass(Reader& r) {
    ZelModel* model = r.model;
    ZelGroup* group = zelAddGroupNamed(model, "default");
    uint32_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
    char buf[128];
    std::vector<std::string> unknown;
    while (std::fscanf(r.file, "%127s", buf) != EOF) {
        switch (kindOf(buf, r.flags)) {
            case 'v': {
                vertices++;
                float color[3];
                r.colors |= colorOf(restOf(r).c_str(), color);
                continue;
            }
            case 'n':
                normals++;
                break;
            case 't':
                texcoords++;
                break;
            case 'V':
                if (!(r.flags & ZEL_LOAD_UNKNOWN_KEYWORDS)) return false;
                if (std::find(unknown.begin(), unknown.end(), buf) == unknown.end()) {
                    unknown.push_back(buf);
                    std::printf(
                        "zelReadOBJ() warning: \"%s\" line %u: unknown keyword "
                        "\"%s\", lines starting with it skipped.\n",
                        model->path, lineAt(model->path, std::ftell(r.file) - std::strlen(buf)),
                        buf);
                }
                break;
            case 'f': {
                int v = 0, t = 0, n = 0;
                if (std::fscanf(r.file, "%127s", buf) == EOF) buf[0] = '\0';
                Form form = firstReference(buf, &v, &t, &n);
                nextReference(r.file, form, &v, &t, &n);
                nextReference(r.file, form, &v, &t, &n);
                triangles++;
                group->trianglecount++;
                while (nextReference(r.file, form, &v, &t, &n) > 0) {
                    triangles++;
                    group->trianglecount++;
                }
                continue;
            }
            case 'g':
                group = zelAddGroupNamed(model, nameOf(r, 'g').c_str());
                continue;
            case 'S':
                r.smoothing = true;
                break;
            case 'm': {
                const bool whole = r.flags & ZEL_LOAD_WHOLE_KEYWORDS;
                for (const std::string& name : libraryNames(r, nameOf(r, 'm'))) {
                    std::free(model->mtllib);
                    model->mtllib = strdup(name.c_str());
                    int read =
                        whole ? readMTLWhole(model, name.c_str()) : readMTL(model, name.c_str());
                    if (read == 1) continue;
                    if (read < 0 || !(r.flags & ZEL_LOAD_MISSING_LIBRARIES)) return false;
                    std::string dir =
                        std::string(model->path).substr(0, std::string(model->path).rfind('/') + 1);
                    std::printf(
                        "zelReadMTL() warning: can't open material file \"%s%s\", going "
                        "on without it.\n",
                        dir.c_str(), name.c_str());
                }
                continue;
            }
            default:
                break;
        }
        restOf(r);
    }
    model->vertexcount = vertices;
    model->normalcount = normals;
    model->texcoordcount = texcoords;
    model->trianglecount = triangles;
    for (ZelGroup* g = model->groups; g; g = g->next) {
        r.capacity[g] = g->trianglecount;
        g->triangleidx =
            static_cast<uint32_t*>(std::calloc(g->trianglecount + 1, sizeof(uint32_t)));
        g->trianglecount = 0;
    }
    return true;
}

// The filling scan.
bool fillPass(Reader& r) {
    ZelModel* model = r.model;
    uint32_t vertex = 1, normal = 1, texcoord = 1, triangle = 0, material = 0, smoothing = 0;
    ZelGroup* group = zelGroupByName(model, "default");
    char buf[128];
    std::vector<ZelCorner> corners;

    // Stores the triangle `triangle` into the current group; false when more than was counted.
    auto close = [&]() {
        if (triangle >= model->trianglecount || group->trianglecount >= r.capacity[group])
            return false;
        group->triangleidx[group->trianglecount++] = triangle;
        triangle++;
        if (r.smoothing) r.smoothingGroups.push_back(smoothing);
        return true;
    };
    // The corner a reference read in `form` makes.
    auto cornerOf = [](Form form, int v, int t, int n) {
        ZelTriangle corner{};
        setCorner(corner, 0, form, v, t, n);
        return ZelCorner{corner.vertexidx[0], corner.texcoordidx[0], corner.normalidx[0]};
    };

    while (std::fscanf(r.file, "%127s", buf) != EOF) {
        int read = 0;
        const char kind = kindOf(buf, r.flags);
        switch (kind) {
            case 'v': {
                if (vertex > model->vertexcount) return false;
                // The line as it stands, for its colour, before the position is read.
                bool colored = false;
                float* color = model->colors ? &model->colors[3 * vertex] : nullptr;
                if (color) {
                    long at = std::ftell(r.file);
                    color[0] = color[1] = color[2] = 1.0f;
                    colored = colorOf(restOf(r).c_str(), color);
                    std::fseek(r.file, at, SEEK_SET);
                }
                read =
                    std::fscanf(r.file, "%f %f %f", &model->vertices[3 * vertex],
                                &model->vertices[3 * vertex + 1], &model->vertices[3 * vertex + 2]);
                // The word after the position begins a number: its line is skipped.
                if (colored) restOf(r);
                vertex++;
                break;
            }
            case 'n':
                if (normal > model->normalcount) return false;
                read =
                    std::fscanf(r.file, "%f %f %f", &model->normals[3 * normal],
                                &model->normals[3 * normal + 1], &model->normals[3 * normal + 2]);
                normal++;
                break;
            case 't':
                if (texcoord > model->texcoordcount) return false;
                read = std::fscanf(r.file, "%f %f", &model->texcoords[2 * texcoord],
                                   &model->texcoords[2 * texcoord + 1]);
                texcoord++;
                break;
            case 'V':
                if (!(r.flags & ZEL_LOAD_UNKNOWN_KEYWORDS)) return false;
                restOf(r);
                break;
            case 'f': {
                int v = 0, t = 0, n = 0;
                if (std::fscanf(r.file, "%127s", buf) == EOF) buf[0] = '\0';
                Form form = firstReference(buf, &v, &t, &n);
                if (triangle >= model->trianglecount) return false;
                const uint32_t first = triangle, listed = group->trianglecount;
                corners.assign(1, cornerOf(form, v, t, n));
                ZelTriangle* tri = &model->triangles[triangle];
                setCorner(*tri, 0, form, v, t, n);
                nextReference(r.file, form, &v, &t, &n);
                setCorner(*tri, 1, form, v, t, n);
                corners.push_back(cornerOf(form, v, t, n));
                nextReference(r.file, form, &v, &t, &n);
                setCorner(*tri, 2, form, v, t, n);
                corners.push_back(cornerOf(form, v, t, n));
                if (!close()) return false;
                while (nextReference(r.file, form, &v, &t, &n) > 0) {
                    corners.push_back(cornerOf(form, v, t, n));
                    if (triangle >= model->trianglecount) return false;
                    ZelTriangle* prev = tri;
                    tri = &model->triangles[triangle];
                    setCorner(*tri, 0, form, prev->vertexidx[0], prev->texcoordidx[0],
                              prev->normalidx[0]);
                    setCorner(*tri, 1, form, prev->vertexidx[2], prev->texcoordidx[2],
                              prev->normalidx[2]);
                    setCorner(*tri, 2, form, v, t, n);
                    if (!close()) return false;
                }
                if (r.flags & ZEL_LOAD_POLYGONS) {
                    Shapes& shapes = r.shapes[group];
                    shapes.polygonTriangle.push_back(listed);
                    shapes.polygonCorners.insert(shapes.polygonCorners.end(), corners.begin(),
                                                 corners.end());
                    shapes.polygonStart.push_back(
                        static_cast<uint32_t>(shapes.polygonCorners.size()));
                }
                if (corners.size() > 3)
                    r.cuts.emplace_back(first, static_cast<uint32_t>(corners.size()));
                break;
            }
            case 'S': {
                int value;
                char word[4096];
                const std::string rest = restOf(r);
                smoothing = std::sscanf(rest.c_str(), "%4095s", word) == 1 &&
                                    wholeInt(word, &value) && value > 0
                                ? static_cast<uint32_t>(value)
                                : 0;
                break;
            }
            case 'L':
            case 'P': {
                const bool line = kind == 'L';
                const std::string rest = restOf(r);
                if (!shapeCorners(rest, line, model, vertex - 1, texcoord - 1, &corners) ||
                    (line && corners.size() < 2))
                    break;
                Shapes& shapes = r.shapes[group];
                if (line) {
                    shapes.lineCorners.insert(shapes.lineCorners.end(), corners.begin(),
                                              corners.end());
                    shapes.lineStart.push_back(static_cast<uint32_t>(shapes.lineCorners.size()));
                } else {
                    for (const ZelCorner& corner : corners)
                        shapes.points.push_back(corner.vertexidx);
                }
                break;
            }
            case 'g':
                group = zelGroupByName(model, nameOf(r, 'g').c_str());
                if (!group) return false;
                group->material = material;
                break;
            case 'u':
                material = zelFindMaterial(model, nameOf(r, 'u').c_str());
                group->material = material;
                break;
            default:
                restOf(r);
                break;
        }
        (void)read;
    }
    // Anything counted but not filled means the scans saw different statements.
    for (ZelGroup* g = model->groups; g; g = g->next)
        if (g->trianglecount != r.capacity[g]) return false;
    return vertex == model->vertexcount + 1 && normal == model->normalcount + 1 &&
           texcoord == model->texcoordcount + 1 && triangle == model->trianglecount;
}

// A copy of `values` the model owns.
template <class T>
T* owned(const std::vector<T>& values) {
    T* copy = static_cast<T*>(std::malloc(values.empty() ? 1 : values.size() * sizeof(T)));
    if (!values.empty()) std::memcpy(copy, values.data(), values.size() * sizeof(T));
    return copy;
}

// Hands what the filling scan gathered to the model, and cuts the faces of four corners or more
// under ZEL_LOAD_CONCAVE_POLYGONS.
void keepShapes(Reader& r) {
    ZelModel* model = r.model;
    if (r.smoothing) model->smoothinggroups = owned(r.smoothingGroups);
    for (auto& [group, shapes] : r.shapes) {
        if (shapes.polygonTriangle.size()) {
            group->polygoncount = static_cast<uint32_t>(shapes.polygonTriangle.size());
            group->polygonstart = owned(shapes.polygonStart);
            group->polygoncorners = owned(shapes.polygonCorners);
            group->polygontriangle = owned(shapes.polygonTriangle);
        }
        if (shapes.lineStart.size() > 1) {
            group->linecount = static_cast<uint32_t>(shapes.lineStart.size() - 1);
            group->linestart = owned(shapes.lineStart);
            group->linecorners = owned(shapes.lineCorners);
        }
        if (!shapes.points.empty()) {
            group->pointcount = static_cast<uint32_t>(shapes.points.size());
            group->pointidx = owned(shapes.points);
        }
    }
    if (r.flags & ZEL_LOAD_CONCAVE_POLYGONS) {
        zel::PolygonCutter cutter;
        for (const auto& [first, corners] : r.cuts) cutter.cutRun(model, first, corners);
    }
}

}  // namespace

ZelModel* referenceReadOBJ(const char* path, uint32_t flags) {
    FILE* file = std::fopen(path, "r");
    if (!file) return nullptr;
    ZelModel* model = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
    model->path = strdup(path);
    Reader r;
    r.model = model;
    r.file = file;
    r.flags = flags;
    bool ok = firstPass(r);
    if (ok) {
        model->vertices =
            static_cast<float*>(std::calloc(3 * (model->vertexcount + 1), sizeof(float)));
        if (r.colors)
            model->colors =
                static_cast<float*>(std::calloc(3 * (model->vertexcount + 1), sizeof(float)));
        model->triangles =
            static_cast<ZelTriangle*>(std::calloc(model->trianglecount + 1, sizeof(ZelTriangle)));
        if (model->normalcount)
            model->normals =
                static_cast<float*>(std::calloc(3 * (model->normalcount + 1), sizeof(float)));
        if (model->texcoordcount)
            model->texcoords =
                static_cast<float*>(std::calloc(2 * (model->texcoordcount + 1), sizeof(float)));
        std::rewind(file);
        ok = fillPass(r);
    }
    std::fclose(file);
    if (ok) keepShapes(r);
    if (!ok) {
        zelFreeModel(model);
        return nullptr;
    }
    return model;
}

}  // namespace zeltest
