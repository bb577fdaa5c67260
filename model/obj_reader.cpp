// The OBJ reader: a counting scan sizes every array exactly, a filling scan stores the data.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "scanner.h"
#include "zel_internal.h"

namespace zel {

namespace {

// The four forms a face reference can take; the first reference of a face decides it for all.
enum class Form { Vertex, VertexTexture, VertexTextureNormal, VertexNormal };

// The integers that hold the reference being read. A failed read leaves them as they were.
struct Reference {
    int v = 0, t = 0, n = 0;
};

// Reads one reference in `form` with the scanf rules of "%d", "%d/%d", "%d/%d/%d" or "%d//%d".
// Returns how many integers were read, or EOF when the input ended before the first. With `ref`
// null the reference is only consumed.
template <class Source>
int scanReference(Source& in, Form form, Reference* ref) {
    int* v = ref ? &ref->v : nullptr;
    int* t = ref ? &ref->t : nullptr;
    int* n = ref ? &ref->n : nullptr;
    int got = in.readInt(v);
    if (got != 1) return got;
    switch (form) {
        case Form::Vertex:
            return 1;
        case Form::VertexNormal:
            if (!in.literal('/') || !in.literal('/')) return 1;
            return in.readInt(n) == 1 ? 2 : 1;
        case Form::VertexTexture:
            if (!in.literal('/')) return 1;
            return in.readInt(t) == 1 ? 2 : 1;
        case Form::VertexTextureNormal:
            if (!in.literal('/') || in.readInt(t) != 1) return 1;
            if (!in.literal('/')) return 2;
            return in.readInt(n) == 1 ? 3 : 2;
    }
    return 1;
}

// Finds the form of a face from its first reference, the word [word, end), and stores that
// reference's integers. The forms are tried in the order "//", three integers, two, one; since each
// later form is a prefix of "%d/%d/%d", one scan of that format tells all three apart, and leaves
// the integers as the later attempts would.
Form faceForm(const char* word, const char* end, Reference& ref) {
    for (const char* p = word; p + 1 < end; ++p) {
        if (p[0] == '/' && p[1] == '/') {
            Window in{word, end, true};
            scanReference(in, Form::VertexNormal, &ref);
            return Form::VertexNormal;
        }
    }
    Window in{word, end, true};
    int got = scanReference(in, Form::VertexTextureNormal, &ref);
    return got == 3 ? Form::VertexTextureNormal : got == 2 ? Form::VertexTexture : Form::Vertex;
}

bool hasTexture(Form form) {
    return form == Form::VertexTexture || form == Form::VertexTextureNormal;
}
bool hasNormal(Form form) {
    return form == Form::VertexNormal || form == Form::VertexTextureNormal;
}

// One corner of a triangle as stored.
struct Corner {
    uint32_t v = 0, t = 0, n = 0;
};

struct GroupSlot {
    ZelGroup* group;
    uint32_t capacity;  // triangles counted for it
};

// What both scans share: the model, the input and the lookup tables.
class ObjReader {
public:
    ObjReader(ZelModel* model, Scanner& in, const TextProvider* mtl)
        : model_(model), in_(in), mtl_(mtl) {}

    Status firstPass();
    void allocate();
    Status fillPass();

private:
    ZelGroup* addGroup(const char* name);
    uint32_t findMaterial(const char* name);
    template <class Source>
    size_t readReferences(Source& in, Form form, Reference ref, bool values);
    size_t quickReferences(Window& in, Form form, Reference ref, bool values);
    bool readFace(bool store);
    bool resolve(int index, uint32_t readSoFar, uint32_t count, bool checked, uint32_t* out);
    Status badIndex(uint64_t faceStart, Form form);
    void storeTriangle(const Corner& a, const Corner& b, const Corner& c, Form form);

    ZelModel* model_;
    Scanner& in_;
    const TextProvider* mtl_;
    std::unordered_map<std::string, GroupSlot> groups_;
    std::unordered_map<std::string, uint32_t> materials_;  // name -> lowest index
    char line_[kMaxToken + 1];
    std::vector<Reference> references_;  // of the face being read
    std::vector<Corner> corners_;        // the same, resolved
    Status failure_;                     // why readFace returned false

    // Counting scan: counts before they are stored in the model.
    uint64_t vertices_ = 0, normals_ = 0, texcoords_ = 0, triangles_ = 0;

    // Filling scan.
    uint32_t nextVertex_ = 1, nextNormal_ = 1, nextTexcoord_ = 1, nextTriangle_ = 0;
    uint32_t material_ = 0;
    ZelGroup* current_ = nullptr;
    GroupSlot* currentSlot_ = nullptr;
};

ZelGroup* ObjReader::addGroup(const char* name) {
    auto found = groups_.find(name);
    if (found != groups_.end()) return found->second.group;
    ZelGroup* group = newGroup(model_, name);
    groups_.emplace(name, GroupSlot{group, 0});
    return group;
}

uint32_t ObjReader::findMaterial(const char* name) {
    auto found = materials_.find(name);
    if (found != materials_.end()) return found->second;
    return zelFindMaterial(model_, name);  // prints that the name is missing, gives 0
}

Status ObjReader::firstPass() {
    current_ = addGroup("default");
    size_t length;
    while (const char* keyword = in_.word(&length)) {
        if (length == 0) break;
        switch (keyword[0]) {
            case 'v':
                if (length == 1) {
                    vertices_++;
                } else if (keyword[1] == 'n') {
                    normals_++;
                } else if (keyword[1] == 't') {
                    texcoords_++;
                } else {
                    return failure(Stream::Out, "zelFirstPass(): Unknown token \"%.*s\".\n",
                                   static_cast<int>(length), keyword);
                }
                in_.skipLine();
                break;
            case 'f': {
                if (!readFace(false)) return failure_;
                break;
            }
            case 'g':
                in_.readLine(line_);
                current_ = addGroup(groupName(line_).c_str());
                break;
            case 'm': {
                in_.readLine(line_);
                std::string name = statementName(line_);
                std::free(model_->mtllib);
                model_->mtllib = strdup(name.c_str());
                Status status = readMTL(model_, model_->mtllib, mtl_);
                if (!status.ok) return status;
                break;
            }
            default:
                in_.skipLine();
                break;
        }
    }
    if (in_.failed())
        return failure(Stream::Err, "zelReadOBJ() failed: error reading \"%s\".\n", model_->path);
    if (vertices_ >= UINT32_MAX || normals_ >= UINT32_MAX || texcoords_ >= UINT32_MAX ||
        triangles_ >= UINT32_MAX)
        return failure(Stream::Err, "zelReadOBJ() failed: \"%s\" holds too many elements.\n",
                       model_->path);
    model_->vertexcount = static_cast<uint32_t>(vertices_);
    model_->normalcount = static_cast<uint32_t>(normals_);
    model_->texcoordcount = static_cast<uint32_t>(texcoords_);
    model_->trianglecount = static_cast<uint32_t>(triangles_);
    for (auto& entry : groups_) {
        GroupSlot& slot = entry.second;
        slot.capacity = slot.group->trianglecount;
        slot.group->triangleidx = static_cast<uint32_t*>(
            std::calloc(slot.capacity ? slot.capacity : 1, sizeof(uint32_t)));
        slot.group->trianglecount = 0;
    }
    for (uint32_t i = 0; i < model_->materialcount; i++)
        materials_.emplace(model_->materials[i].name, i);  // keeps the first of equal names
    return Status{};
}

void ObjReader::allocate() {
    ZelModel* m = model_;
    m->vertices = static_cast<float*>(std::calloc(3 * (size_t{m->vertexcount} + 1), sizeof(float)));
    m->triangles = static_cast<ZelTriangle*>(
        std::calloc(m->trianglecount ? m->trianglecount : 1, sizeof(ZelTriangle)));
    if (m->normalcount)
        m->normals = static_cast<float*>(std::calloc(3 * (size_t{m->normalcount} + 1), sizeof(float)));
    if (m->texcoordcount)
        m->texcoords =
            static_cast<float*>(std::calloc(2 * (size_t{m->texcoordcount} + 1), sizeof(float)));
}

Status ObjReader::fillPass() {
    auto found = groups_.find("default");
    current_ = found->second.group;
    currentSlot_ = &found->second;
    float discard[3];
    size_t length;
    while (const char* keyword = in_.word(&length)) {
        if (length == 0) break;
        switch (keyword[0]) {
            case 'v':
                // A statement the counting scan did not see (a keyword left on a vertex line) has
                // no slot of its own: its values are read and dropped.
                if (length == 1) {
                    bool room = nextVertex_ <= model_->vertexcount;
                    in_.readFloats(room ? &model_->vertices[3 * size_t{nextVertex_}] : discard, 3);
                    nextVertex_ += room;
                } else if (keyword[1] == 'n') {
                    bool room = nextNormal_ <= model_->normalcount;
                    in_.readFloats(room ? &model_->normals[3 * size_t{nextNormal_}] : discard, 3);
                    nextNormal_ += room;
                } else if (keyword[1] == 't') {
                    bool room = nextTexcoord_ <= model_->texcoordcount;
                    in_.readFloats(room ? &model_->texcoords[2 * size_t{nextTexcoord_}] : discard,
                                   2);
                    nextTexcoord_ += room;
                } else {
                    in_.skipLine();
                }
                break;
            case 'f': {
                if (!readFace(true)) return failure_;
                break;
            }
            case 'g': {
                in_.readLine(line_);
                auto group = groups_.find(groupName(line_));
                if (group == groups_.end()) {
                    current_ = nullptr;  // a group the counting scan never saw holds nothing
                    currentSlot_ = nullptr;
                } else {
                    current_ = group->second.group;
                    currentSlot_ = &group->second;
                    current_->material = material_;
                }
                break;
            }
            case 'u':
                in_.readLine(line_);
                material_ = findMaterial(statementName(line_).c_str());
                if (current_) current_->material = material_;
                break;
            default:
                in_.skipLine();
                break;
        }
    }
    if (in_.failed())
        return failure(Stream::Err, "zelReadOBJ() failed: error reading \"%s\".\n", model_->path);
    // Triangles that had no room in their group were dropped, so the count is what was stored.
    model_->trianglecount = nextTriangle_;
    return Status{};
}

// Reads the references of a face after its first: two more whatever they hold (a failed read
// leaves the last values), then as many as assign at least one integer. Without `values` they are
// only counted; with it the list is rebuilt from the start on every call, so a read can be
// repeated. Returns the number of references, the first included.
template <class Source>
size_t ObjReader::readReferences(Source& in, Form form, Reference ref, bool values) {
    if constexpr (std::is_same_v<Source, Window>) {
        if (size_t count = quickReferences(in, form, ref, values)) return count;
    }
    if (!values) {
        size_t count = 3;
        scanReference(in, form, nullptr);
        scanReference(in, form, nullptr);
        while (scanReference(in, form, nullptr) > 0) count++;
        return count;
    }
    references_.clear();
    references_.push_back(ref);
    for (int i = 0; i < 2; i++) {
        scanReference(in, form, &ref);
        references_.push_back(ref);
    }
    while (scanReference(in, form, &ref) > 0) references_.push_back(ref);
    return references_.size();
}

// A number as exporters write it in a reference: an optional sign and one to nine digits. Returns
// the position after it, or null for anything else; stores the value unless `value` is null. Needs
// 16 readable bytes at p.
ZEL_HOT const char* strictInt(const char* p, int* value) {
    bool negative = *p == '-';
    p += negative || *p == '+';
    size_t run = leadingDigits(p);
    if (run == 0) return nullptr;
    if (run == 8) {
        size_t more = leadingDigits(p + 8);
        if (more > 1) return nullptr;
        run += more;
    }
    if (value) {
        uint32_t magnitude = static_cast<uint32_t>(eightDigits(p, run < 8 ? run : 8));
        if (run == 9) magnitude = magnitude * 10 + static_cast<uint32_t>(p[8] - '0');
        *value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    }
    return p + run;
}

// A reference as exporters write it: strictInt numbers in exactly the face's form ("1", "1/2",
// "1/2/3" or "1//2"). Returns the position after it, or null; stores into `ref` unless it is null.
// Needs 16 readable bytes after the reference.
ZEL_HOT const char* strictReference(const char* p, Form form, Reference* ref) {
    p = strictInt(p, ref ? &ref->v : nullptr);
    if (!p) return nullptr;
    switch (form) {
        case Form::Vertex:
            return p;
        case Form::VertexNormal:
            return p[0] == '/' && p[1] == '/' ? strictInt(p + 2, ref ? &ref->n : nullptr) : nullptr;
        case Form::VertexTexture:
            return *p == '/' ? strictInt(p + 1, ref ? &ref->t : nullptr) : nullptr;
        case Form::VertexTextureNormal:
            p = *p == '/' ? strictInt(p + 1, ref ? &ref->t : nullptr) : nullptr;
            return p && *p == '/' ? strictInt(p + 1, ref ? &ref->n : nullptr) : nullptr;
    }
    return nullptr;
}

// The first reference of a face when it is a strict reference of some form standing alone before
// white space, read straight from the window: its form and integers (stored unless `ref` is null)
// are then the ones faceForm finds in the word. Returns false, consuming nothing, for anything else.
bool quickFirstReference(Window& in, Form* form, Reference* ref) {
    const char* start = in.p;
    while (start < in.end && isSpace(static_cast<unsigned char>(*start))) ++start;
    if (in.end - start < static_cast<ptrdiff_t>(kMaxToken + 16)) return false;
    const char* p = strictInt(start, ref ? &ref->v : nullptr);
    if (!p) return false;
    *form = Form::Vertex;
    if (p[0] == '/' && p[1] == '/') {
        *form = Form::VertexNormal;
        p = strictInt(p + 2, ref ? &ref->n : nullptr);
    } else if (*p == '/') {
        *form = Form::VertexTexture;
        p = strictInt(p + 1, ref ? &ref->t : nullptr);
        if (p && *p == '/') {
            *form = Form::VertexTextureNormal;
            p = strictInt(p + 1, ref ? &ref->n : nullptr);
        }
    }
    if (!p || !isSpace(static_cast<unsigned char>(*p))) return false;
    in.p = p;
    return true;
}

// The common face: every reference after the first is a strict reference of the face's form that
// stands alone between white space, and the face ends with its line, the next line starting a
// statement. The general reading would then take exactly these references, which are read here in
// one sweep. Returns 0, consuming nothing, for any other face.
size_t ObjReader::quickReferences(Window& in, Form form, Reference ref, bool values) {
    const char* p = in.p;
    const void* newline = std::memchr(p, '\n', static_cast<size_t>(in.end - p));
    if (!newline) return 0;
    const char* lineEnd = static_cast<const char*>(newline);
    const char* next = lineEnd + 1;
    while (next < in.end && isSpace(static_cast<unsigned char>(*next))) ++next;
    if (in.end - next < 16) return 0;  // also leaves room for 8-byte loads on the line
    if (isDigit(static_cast<unsigned char>(*next)) || *next == '-' || *next == '+') return 0;

    if (values) {
        references_.clear();
        references_.push_back(ref);
    }
    size_t count = 1;
    for (;;) {
        while (p < lineEnd && isSpace(static_cast<unsigned char>(*p))) ++p;
        if (p == lineEnd) break;
        p = strictReference(p, form, values ? &ref : nullptr);
        if (!p || !isSpace(static_cast<unsigned char>(*p))) return 0;
        count++;
        if (values) references_.push_back(ref);
    }
    // The two references every face reads keep the last values when they are missing.
    for (; count < 3; count++)
        if (values) references_.push_back(ref);
    in.p = next;
    return count;
}

// Turns a face index into a 1-based array index: a negative one counts back from the latest
// element read before the face. Without the array (`checked` false) the index is kept as written,
// and a relative one, which then names nothing, as 0.
bool ObjReader::resolve(int index, uint32_t readSoFar, uint32_t count, bool checked,
                        uint32_t* out) {
    int64_t resolved = index < 0 ? int64_t{readSoFar} + 1 + index : index;
    if (!checked) {
        *out = resolved > 0 ? static_cast<uint32_t>(resolved) : 0;
        return true;
    }
    *out = static_cast<uint32_t>(resolved);
    return resolved >= 1 && resolved <= int64_t{count};
}

// Reads one face. The counting scan (store false) counts its triangles; the filling scan checks
// and resolves every index and stores the fan r1 r2 r3, r1 r3 r4, ..., r1 rN-1 rN. Returns false,
// with the reason in failure_, on an index that names nothing.
bool ObjReader::readFace(bool store) {
    uint64_t faceStart = in_.offset();
    Reference first;
    Form form;
    Window window = in_.window();
    if (quickFirstReference(window, &form, store ? &first : nullptr)) {
        in_.commit(window);
    } else {
        first = Reference{};
        size_t length;
        const char* word = in_.word(&length);
        form = faceForm(word, word + length, first);
    }
    size_t references =
        in_.scan([&](auto& in) { return readReferences(in, form, first, store); });
    size_t triangles = references - 2;
    if (!store) {
        if (current_) current_->trianglecount += static_cast<uint32_t>(triangles);
        triangles_ += triangles;
        return true;
    }
    corners_.resize(references_.size());
    for (size_t i = 0; i < references_.size(); i++) {
        const Reference& ref = references_[i];
        Corner& corner = corners_[i];
        bool good = resolve(ref.v, nextVertex_ - 1, model_->vertexcount, true, &corner.v);
        if (hasTexture(form))
            good &= resolve(ref.t, nextTexcoord_ - 1, model_->texcoordcount,
                            model_->texcoords != nullptr, &corner.t);
        if (hasNormal(form))
            good &= resolve(ref.n, nextNormal_ - 1, model_->normalcount,
                            model_->normals != nullptr, &corner.n);
        if (!good) {
            failure_ = badIndex(faceStart, form);
            return false;
        }
    }
    for (size_t i = 2; i < corners_.size(); i++)
        storeTriangle(corners_[0], corners_[i - 1], corners_[i], form);
    return true;
}

// The failure for a face with an index that names no element of an array the file has: every later
// operation would read outside the array. It names the file, the face's line and the first bad
// index.
Status ObjReader::badIndex(uint64_t faceStart, Form form) {
    struct Kind {
        const char* what;
        const char* plural;
        uint32_t readSoFar, count;
        bool present;
    };
    const Kind kinds[] = {
        {"vertex", "vertices", nextVertex_ - 1, model_->vertexcount, true},
        {"texture coordinate", "texture coordinates", nextTexcoord_ - 1, model_->texcoordcount,
         hasTexture(form) && model_->texcoords},
        {"normal", "normals", nextNormal_ - 1, model_->normalcount,
         hasNormal(form) && model_->normals},
    };
    uint32_t line = in_.lineAt(faceStart);
    for (const Reference& ref : references_) {
        const int indices[] = {ref.v, ref.t, ref.n};
        for (int k = 0; k < 3; k++) {
            uint32_t ignored;
            if (!kinds[k].present ||
                resolve(indices[k], kinds[k].readSoFar, kinds[k].count, true, &ignored))
                continue;
            return failure(Stream::Err,
                           "zelReadOBJ() failed: \"%s\" line %u: %s index %d does not name one of "
                           "the file's %u %s.\n",
                           model_->path, line, kinds[k].what, indices[k], kinds[k].count,
                           kinds[k].plural);
        }
    }
    return failure(Stream::Err, "zelReadOBJ() failed: \"%s\" line %u: bad face index.\n",
                   model_->path, line);
}

void ObjReader::storeTriangle(const Corner& a, const Corner& b, const Corner& c, Form form) {
    // The filling scan never stores more than the counting scan made room for.
    if (!currentSlot_ || current_->trianglecount >= currentSlot_->capacity ||
        nextTriangle_ >= model_->trianglecount)
        return;
    ZelTriangle& triangle = model_->triangles[nextTriangle_];
    const Corner* corners[] = {&a, &b, &c};
    for (int i = 0; i < 3; i++) {
        triangle.vertexidx[i] = corners[i]->v;
        if (hasTexture(form)) triangle.texcoordidx[i] = corners[i]->t;
        if (hasNormal(form)) triangle.normalidx[i] = corners[i]->n;
    }
    current_->triangleidx[current_->trianglecount++] = nextTriangle_++;
}

ZelModel* newModel(const char* path) {
    ZelModel* model = static_cast<ZelModel*>(std::calloc(1, sizeof(ZelModel)));
    model->path = strdup(path);
    return model;
}

Status readOBJ(const char* path, Scanner& in, const TextProvider* mtl, ZelModel** out) {
    *out = nullptr;
    ZelModel* model = newModel(path);
    ObjReader reader(model, in, mtl);
    Status status = reader.firstPass();
    if (status.ok) {
        reader.allocate();
        in.rewind();
        status = reader.fillPass();
    }
    if (!status.ok) {
        zelFreeModel(model);
        return status;
    }
    *out = model;
    return status;
}

}  // namespace

Status readOBJFile(const char* path, ZelModel** out) {
    *out = nullptr;
    FILE* file = openForReading(path);
    if (!file)
        return failure(Stream::Err, "zelReadOBJ() failed: can't open data file \"%s\".\n", path);
    Scanner in(file);
    Status status = readOBJ(path, in, nullptr, out);
    std::fclose(file);
    return status;
}

Status readOBJMemory(const char* path, const char* data, size_t size, const TextProvider& mtl,
                     ZelModel** out) {
    Scanner in(data, size);
    return readOBJ(path, in, &mtl, out);
}

}  // namespace zel

ZelModel* zelReadOBJ(const char* path) {
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJFile(path, &model);
    if (!status.ok) zel::exitWith(status);
    return model;
}
