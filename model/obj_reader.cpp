// The OBJ reader's scans: a counting scan sizes every array exactly, a filling scan stores the
// data. Each runs over one byte range from a given state (obj_scan.h); obj_ranges.cpp puts ranges
// together, and one range over the whole input is the one-thread reader.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "obj_scan.h"
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

// Turns a face index into a 1-based array index: a negative one counts back from the latest
// element read before the face. Without the array (`checked` false) the index is kept as written,
// and a relative one, which then names nothing, as 0.
bool resolve(int index, uint32_t readSoFar, uint32_t count, bool checked, uint32_t* out) {
    int64_t resolved = index < 0 ? int64_t{readSoFar} + 1 + index : index;
    if (!checked) {
        *out = resolved > 0 ? static_cast<uint32_t>(resolved) : 0;
        return true;
    }
    *out = static_cast<uint32_t>(resolved);
    return resolved >= 1 && resolved <= int64_t{count};
}

// A group's part of a range: the slots of its triangle list the range may use, and where it began.
struct LocalSlots {
    uint32_t first = 0, next = 0, limit = 0;
};

// Both scans over one range of the input.
class RangeScan {
public:
    explicit RangeScan(Scanner& in) : in_(in) {}

    void count(uint64_t stop, CountReport& out);
    void fill(const ModelIndex& index, uint64_t stop, const FillState& state,
              const FillLimits& limits, FillReport& out);

private:
    // Skips white space and reports where the next keyword starts; false when that is at or after
    // `stop` or the input ends there (`next` then says where).
    bool nextStatement(uint64_t stop, uint64_t* at, uint64_t* first, bool* started,
                       uint64_t* next);
    size_t readFace(bool values, Form* form);
    template <class Source>
    size_t readReferences(Source& in, Form form, Reference ref, bool values);
    size_t quickReferences(Window& in, Form form, Reference ref, bool values);
    bool storeFace(uint64_t at, FillReport& out);
    Status badIndex(uint64_t faceStart, Form form);
    LocalSlots* slotsOf(uint32_t group);

    Scanner& in_;
    char line_[kMaxToken + 1];
    std::vector<Reference> references_;  // of the face being read
    std::vector<Corner> corners_;        // the same, resolved

    // Filling scan.
    const ModelIndex* index_ = nullptr;
    const FillLimits* limits_ = nullptr;
    FillState state_;
    std::unordered_map<uint32_t, LocalSlots> slots_;  // by group id
    LocalSlots* current_ = nullptr;                   // the current group's, or null
};

bool RangeScan::nextStatement(uint64_t stop, uint64_t* at, uint64_t* first, bool* started,
                              uint64_t* next) {
    in_.skipSpace();
    *at = in_.offset();
    if (!*started) {
        *first = *at;
        *started = true;
    }
    if (*at >= stop || in_.peek() == EOF) {
        *next = *at;
        return false;
    }
    return true;
}

void RangeScan::count(uint64_t stop, CountReport& out) {
    std::unordered_map<std::string, uint32_t> entries;  // group name -> entry of out.groups
    out.groups.assign(1, {std::string(), 0});
    uint32_t current = 0;
    bool started = false;
    uint64_t at;
    while (nextStatement(stop, &at, &out.first, &started, &out.next)) {
        size_t length;
        const char* keyword = in_.word(&length);
        switch (keyword[0]) {
            case 'v':
                if (length == 1) {
                    out.vertices++;
                } else if (keyword[1] == 'n') {
                    out.normals++;
                } else if (keyword[1] == 't') {
                    out.texcoords++;
                } else {
                    out.failure = failure(Stream::Out, "zelFirstPass(): Unknown token \"%.*s\".\n",
                                          static_cast<int>(length), keyword);
                    out.failure.line = in_.lineAt(at);
                    out.next = at;
                    out.current = current;
                    return;
                }
                in_.skipLine();
                break;
            case 'f': {
                Form form;
                uint64_t triangles = readFace(false, &form) - 2;
                out.groups[current].second += triangles;
                out.triangles += triangles;
                break;
            }
            case 'g': {
                in_.readLine(line_);
                std::string name = groupName(line_);
                auto found = entries.emplace(name, static_cast<uint32_t>(out.groups.size()));
                if (found.second) out.groups.emplace_back(std::move(name), 0);
                current = found.first->second;
                break;
            }
            case 'm':
                in_.readLine(line_);
                out.libraries.push_back({statementName(line_), at});
                break;
            default:
                in_.skipLine();
                break;
        }
    }
    out.current = current;
    out.ioError = in_.failed();
}

LocalSlots* RangeScan::slotsOf(uint32_t group) {
    auto found = slots_.try_emplace(group);
    LocalSlots& slots = found.first->second;
    if (found.second) {
        if (limits_->guess) {
            auto window = limits_->groups->find(group);
            if (window != limits_->groups->end())
                slots = {window->second.next, window->second.next, window->second.limit};
        } else {
            uint32_t stored = (*limits_->stored)[group];
            slots = {stored, stored, index_->capacity[group]};
        }
    }
    return &slots;
}

void RangeScan::fill(const ModelIndex& index, uint64_t stop, const FillState& state,
                     const FillLimits& limits, FillReport& out) {
    index_ = &index;
    limits_ = &limits;
    state_ = state;
    current_ = state.group == kNoGroup ? nullptr : slotsOf(state.group);
    ZelModel* m = index.model;
    uint32_t material = kInherited;
    float discard[3];
    bool started = false;
    uint64_t at;
    // Reads n floats into the next slot of an array holding `count` of them, or into `discard`
    // when the slot lies beyond the window (and, when guessing, ends the range). Components that
    // do not parse are zero, as in a fresh array.
    auto element = [&](float* array, uint32_t& next, uint32_t end, int n) {
        if (next < end) {
            float* slot = &array[size_t{next} * n];
            for (int i = in_.readFloats(slot, n); i < n; i++) slot[i] = 0;
            next++;
            return true;
        }
        if (limits.guess) return false;
        in_.readFloats(discard, n);
        return true;
    };
    while (nextStatement(stop, &at, &out.first, &started, &out.next)) {
        size_t length;
        const char* keyword = in_.word(&length);
        bool room = true;
        switch (keyword[0]) {
            case 'v':
                // A statement the counting scan did not see (a keyword left on a vertex line) has
                // no slot of its own: its values are read and dropped.
                if (length == 1)
                    room = element(m->vertices, state_.vertex, limits.end.vertex, 3);
                else if (keyword[1] == 'n')
                    room = element(m->normals, state_.normal, limits.end.normal, 3);
                else if (keyword[1] == 't')
                    room = element(m->texcoords, state_.texcoord, limits.end.texcoord, 2);
                else
                    in_.skipLine();
                break;
            case 'f':
                room = storeFace(at, out);
                if (!out.failure.ok) {
                    out.next = at;
                    out.end = state_;
                    return;
                }
                break;
            case 'g': {
                in_.readLine(line_);
                auto group = index.groupIds.find(groupName(line_));
                if (group == index.groupIds.end()) {
                    state_.group = kNoGroup;  // a group the counting scan never saw holds nothing
                    current_ = nullptr;
                } else {
                    state_.group = group->second;
                    current_ = slotsOf(group->second);
                    out.materials.emplace_back(group->second, material);
                }
                break;
            }
            case 'u': {
                in_.readLine(line_);
                std::string name = statementName(line_);
                auto found = index.materials.find(name);
                if (found != index.materials.end()) {
                    material = found->second;
                } else {
                    out.warnings.push_back(materialNotFound(name.c_str()));
                    material = 0;
                }
                if (state_.group != kNoGroup) out.materials.emplace_back(state_.group, material);
                break;
            }
            default:
                in_.skipLine();
                break;
        }
        if (!room) {
            out.overflow = true;
            out.next = at;
            break;
        }
    }
    out.end = state_;
    out.material = material;
    for (const auto& entry : slots_)
        if (entry.second.next != entry.second.first)
            out.stored.emplace_back(entry.first, entry.second.next - entry.second.first);
    out.ioError = in_.failed();
}

// Reads the references of a face after its first: two more whatever they hold (a failed read
// leaves the last values), then as many as assign at least one integer. Without `values` they are
// only counted; with it the list is rebuilt from the start on every call, so a read can be
// repeated. Returns the number of references, the first included.
template <class Source>
size_t RangeScan::readReferences(Source& in, Form form, Reference ref, bool values) {
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
size_t RangeScan::quickReferences(Window& in, Form form, Reference ref, bool values) {
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

// Reads a face's references after its keyword and returns how many there are (at least 3). With
// `values` they are left in references_; otherwise only counted.
size_t RangeScan::readFace(bool values, Form* form) {
    Reference first;
    Window window = in_.window();
    if (quickFirstReference(window, form, values ? &first : nullptr)) {
        in_.commit(window);
    } else {
        first = Reference{};
        size_t length;
        const char* word = in_.word(&length);
        *form = faceForm(word, word + length, first);
    }
    return in_.scan([&](auto& in) { return readReferences(in, *form, first, values); });
}

// Reads a face, checks and resolves every index and stores the fan r1 r2 r3, r1 r3 r4, ...,
// r1 rN-1 rN. An index that names nothing sets out.failure. Returns false when a triangle falls
// outside a guessed window.
bool RangeScan::storeFace(uint64_t at, FillReport& out) {
    Form form;
    readFace(true, &form);
    const ZelModel* m = index_->model;
    corners_.resize(references_.size());
    for (size_t i = 0; i < references_.size(); i++) {
        const Reference& ref = references_[i];
        Corner& corner = corners_[i];
        bool good = resolve(ref.v, state_.vertex - 1, m->vertexcount, true, &corner.v);
        if (hasTexture(form))
            good &= resolve(ref.t, state_.texcoord - 1, m->texcoordcount, m->texcoords != nullptr,
                            &corner.t);
        if (hasNormal(form))
            good &= resolve(ref.n, state_.normal - 1, m->normalcount, m->normals != nullptr,
                            &corner.n);
        if (!good) {
            out.failure = badIndex(at, form);
            return true;
        }
    }
    if (!current_) return true;  // a group the counting scan never saw: the triangles are dropped
    ZelGroup* group = index_->groups[state_.group];
    for (size_t i = 2; i < corners_.size(); i++) {
        // Never more than the counting scan made room for.
        if (current_->next >= current_->limit || state_.triangle >= limits_->end.triangle) {
            if (limits_->guess) return false;
            continue;
        }
        ZelTriangle& triangle = index_->model->triangles[state_.triangle];
        triangle = ZelTriangle{};
        const Corner* corners[] = {&corners_[0], &corners_[i - 1], &corners_[i]};
        for (int k = 0; k < 3; k++) {
            triangle.vertexidx[k] = corners[k]->v;
            if (hasTexture(form)) triangle.texcoordidx[k] = corners[k]->t;
            if (hasNormal(form)) triangle.normalidx[k] = corners[k]->n;
        }
        group->triangleidx[current_->next++] = state_.triangle++;
    }
    return true;
}

// The failure for a face with an index that names no element of an array the file has: every later
// operation would read outside the array. It names the file, the face's line and the first bad
// index.
Status RangeScan::badIndex(uint64_t faceStart, Form form) {
    const ZelModel* m = index_->model;
    struct Kind {
        const char* what;
        const char* plural;
        uint32_t readSoFar, count;
        bool present;
    };
    const Kind kinds[] = {
        {"vertex", "vertices", state_.vertex - 1, m->vertexcount, true},
        {"texture coordinate", "texture coordinates", state_.texcoord - 1, m->texcoordcount,
         hasTexture(form) && m->texcoords},
        {"normal", "normals", state_.normal - 1, m->normalcount, hasNormal(form) && m->normals},
    };
    uint32_t line = in_.lineAt(faceStart);
    Status status;
    for (const Reference& ref : references_) {
        const int indices[] = {ref.v, ref.t, ref.n};
        for (int k = 0; k < 3 && status.ok; k++) {
            uint32_t ignored;
            if (!kinds[k].present ||
                resolve(indices[k], kinds[k].readSoFar, kinds[k].count, true, &ignored))
                continue;
            status = failure(Stream::Err,
                             "zelReadOBJ() failed: \"%s\" line %u: %s index %d does not name one "
                             "of the file's %u %s.\n",
                             m->path, line, kinds[k].what, indices[k], kinds[k].count,
                             kinds[k].plural);
        }
        if (!status.ok) break;
    }
    if (status.ok)
        status = failure(Stream::Err, "zelReadOBJ() failed: \"%s\" line %u: bad face index.\n",
                         m->path, line);
    status.line = line;
    return status;
}

}  // namespace

void countRange(const Input& input, std::vector<char>* buffer, uint64_t start, uint64_t stop,
                CountReport* out) {
    if (buffer) {
        Scanner in(input, start, *buffer);
        RangeScan(in).count(stop, *out);
    } else {
        Scanner in(input.data, input.size, start);
        RangeScan(in).count(stop, *out);
    }
}

void fillRange(const Input& input, std::vector<char>* buffer, const ModelIndex& index,
               uint64_t start, uint64_t stop, const FillState& state, const FillLimits& limits,
               FillReport* out) {
    if (buffer) {
        Scanner in(input, start, *buffer);
        RangeScan(in).fill(index, stop, state, limits, *out);
    } else {
        Scanner in(input.data, input.size, start);
        RangeScan(in).fill(index, stop, state, limits, *out);
    }
}

uint32_t lineOf(const Input& input, uint64_t offset) {
    if (input.fd < 0) return Scanner(input.data, input.size).lineAt(offset);
    std::vector<char> buffer(kDefaultBufferSize);
    return Scanner(input, 0, buffer).lineAt(offset);
}

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
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJFile(path, &model);
    if (!status.ok) zel::exitWith(status);
    return model;
}
