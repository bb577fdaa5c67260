// The OBJ reader's scans: a counting scan sizes every array exactly, a filling scan stores the
// data. Each runs over one byte range from a given state (obj_scan.h); obj_ranges.cpp puts ranges
// together, and one range over the whole input is the one-thread reader.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "obj_scan.h"
#include "scanner.h"
#include "zel_internal.h"

namespace zel {

namespace {

// The four forms a face reference can take; the first reference of a face decides it for all.
enum class Form { Vertex, VertexTexture, VertexTextureNormal, VertexNormal };

// The integers that hold the reference being read. A failed read leaves them as they were. (Not
// zeroed by default, so that arrays of them cost nothing to set up.)
struct Reference {
    int v, t, n;
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

// What the quick paths may read ahead of a statement, and the most references they take.
constexpr size_t kQuickBytes = 256;
constexpr size_t kQuickReferences = 32;

// A number as exporters write it in a reference: an optional sign and one to nine digits. Returns
// the position after it, or null for anything else; stores the value when kValue. Needs 16
// readable bytes at p.
template <bool kValue>
ZEL_HOT const char* plainInt(const char* p, int* value) {
    bool negative = false;
    if (!isDigit(static_cast<unsigned char>(*p))) {
        if (*p != '-' && *p != '+') return nullptr;
        negative = *p++ == '-';
    }
    size_t run = leadingDigits(p);
    if (run == 8 && isDigit(static_cast<unsigned char>(p[8]))) {
        if (isDigit(static_cast<unsigned char>(p[9]))) return nullptr;
        run = 9;
    }
    if (run == 0) return nullptr;
    if (kValue) {
        uint32_t magnitude = static_cast<uint32_t>(eightDigits(p, run < 8 ? run : 8));
        if (run == 9) magnitude = magnitude * 10 + static_cast<uint32_t>(p[8] - '0');
        *value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    }
    return p + run;
}

// A reference as exporters write it: plainInt numbers in exactly the face's form ("1", "1/2",
// "1/2/3" or "1//2"). Returns the position after it, or null; stores into `ref` when kValue.
// Needs 16 readable bytes after the reference.
template <bool kValue>
ZEL_HOT const char* plainReference(const char* p, Form form, Reference* ref) {
    if (form == Form::VertexTextureNormal) {
        // Unsigned numbers of up to eight digits, their ends found all at once.
        uint64_t others = ~uint64_t{digitBits(p)};  // bits from 32 on stand for what is beyond
        unsigned first = static_cast<unsigned>(__builtin_ctzll(others));
        others &= others - 1;
        unsigned second = static_cast<unsigned>(__builtin_ctzll(others));
        others &= others - 1;
        unsigned end = static_cast<unsigned>(__builtin_ctzll(others));
        if (first - 1 < 8 && second - first - 2 < 8 && end - second - 2 < 8 && p[first] == '/' &&
            p[second] == '/') {
            if (kValue) {
                ref->v = static_cast<int>(digitsAt(p, first));
                ref->t = static_cast<int>(digitsAt(p + first + 1, second - first - 1));
                ref->n = static_cast<int>(digitsAt(p + second + 1, end - second - 1));
            }
            return p + end;
        }
    }
    p = plainInt<kValue>(p, &ref->v);
    if (!p) return nullptr;
    switch (form) {
        case Form::Vertex:
            return p;
        case Form::VertexNormal:
            return p[0] == '/' && p[1] == '/' ? plainInt<kValue>(p + 2, &ref->n) : nullptr;
        case Form::VertexTexture:
            return *p == '/' ? plainInt<kValue>(p + 1, &ref->t) : nullptr;
        case Form::VertexTextureNormal:
            p = *p == '/' ? plainInt<kValue>(p + 1, &ref->t) : nullptr;
            return p && *p == '/' ? plainInt<kValue>(p + 1, &ref->n) : nullptr;
    }
    return nullptr;
}

// Blanks inside a line: white space other than the line feed. (Every white-space byte is at most
// ' ', which makes a cheap first test.)
ZEL_HOT bool isBlank(int c) {
    return c <= ' ' && c != '\n' && isSpace(c);
}

// The common face as exporters write it, read in one sweep from the end of its keyword at p
// (kQuickBytes readable from the keyword on): a first reference that is a plain one of some form
// and a word of its own, then plain references of that form, the face ending with its line and
// the next line starting a statement (not a number, a sign or white space). The general reading
// would take exactly these references, in the form that faceForm finds in the first word: each
// read of the face's format takes a whole plain reference, and the read after the last fails on
// the next line without consuming anything. Stores them when kValues (at most kQuickReferences,
// the last repeated up to three) and returns the start of the next line with their count, or null
// for any other face.
template <bool kValues>
ZEL_HOT const char* quickFace(const char* p, Form* form, Reference* refs, size_t* count) {
    const char* const window = p - 1 + kQuickBytes - 48;  // room for the reads of one reference
    p += *p == ' ';
    while (p <= window && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p > window) return nullptr;
    Reference ref{};
    p = plainInt<kValues>(p, &ref.v);
    if (!p) return nullptr;
    *form = Form::Vertex;
    if (p[0] == '/' && p[1] == '/') {
        *form = Form::VertexNormal;
        p = plainInt<kValues>(p + 2, &ref.n);
    } else if (*p == '/') {
        *form = Form::VertexTexture;
        p = plainInt<kValues>(p + 1, &ref.t);
        if (p && *p == '/') {
            *form = Form::VertexTextureNormal;
            p = plainInt<kValues>(p + 1, &ref.n);
        }
    }
    if (!p || !isSpace(static_cast<unsigned char>(*p))) return nullptr;
    size_t n = 0;
    for (;;) {
        if (kValues) {
            if (n == kQuickReferences) return nullptr;
            refs[n] = ref;
        }
        n++;
        if (p[0] == ' ' && isDigit(static_cast<unsigned char>(p[1]))) {
            ++p;
        } else {
            while (p <= window && isBlank(static_cast<unsigned char>(*p))) ++p;
            if (p <= window && *p == '\n') break;
        }
        if (p > window) return nullptr;
        p = plainReference<kValues>(p, *form, &ref);
        if (!p) return nullptr;
    }
    int next = static_cast<unsigned char>(p[1]);
    if (isSpace(next) || isDigit(next) || next == '-' || next == '+') return nullptr;
    // The two references every face reads keep the last values when they are missing.
    for (; n < 3; n++)
        if (kValues) refs[n] = ref;
    *count = n;
    return p + 1;
}

// How a statement of the filling scan went: stored, not the kind the quick path takes, beyond the
// range's window, or a failure that ends the read.
enum class Step { Done, General, Overflow, Failed };

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
    bool nextStatement(uint64_t stop, uint64_t* at, uint64_t* first, bool* started, uint64_t* next);
    size_t readFace(bool values, Form* form);
    template <class Source>
    size_t readReferences(Source& in, Form form, Reference ref, bool values);
    Step fillStatement(uint64_t at, FillReport& out);
    bool quickCounts(uint64_t stop, CountReport& out, uint32_t current);
    Step quickFills(uint64_t stop, FillReport& out, uint64_t* at, bool* took);
    Step storeElement(float* array, uint32_t& next, uint32_t end, int n, const float* values,
                      int parsed);
    Step storeReferences(const Reference* refs, size_t count, Form form, uint64_t at,
                         FillReport& out);
    template <bool kTexture, bool kNormal>
    bool storePlain(const Reference* refs, size_t count);
    bool storePlain(const Reference* refs, size_t count, Form form);
    Status badIndex(uint64_t faceStart, Form form, const Reference* refs, size_t count);
    LocalSlots* slotsOf(uint32_t group);

    Scanner& in_;
    char line_[kMaxToken + 1];
    std::vector<Reference> references_;  // of the face being read

    // Filling scan.
    const ModelIndex* index_ = nullptr;
    const FillLimits* limits_ = nullptr;
    FillState state_;
    uint32_t material_ = kInherited;
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
        if (quickCounts(stop, out, current)) continue;
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
    bool started = false;
    uint64_t at;
    while (nextStatement(stop, &at, &out.first, &started, &out.next)) {
        bool took;
        Step step = quickFills(stop, out, &at, &took);
        if (step == Step::General) {
            if (took) continue;
            step = fillStatement(at, out);
        }
        if (step == Step::Done) continue;
        out.overflow = step == Step::Overflow;
        out.next = at;
        break;
    }
    out.end = state_;
    out.material = material_;
    for (const auto& entry : slots_)
        if (entry.second.next != entry.second.first)
            out.stored.emplace_back(entry.first, entry.second.next - entry.second.first);
    out.ioError = in_.failed();
}

// One statement of the filling scan, read in the general way.
Step RangeScan::fillStatement(uint64_t at, FillReport& out) {
    ZelModel* m = index_->model;
    const FillState& end = limits_->end;
    size_t length;
    const char* keyword = in_.word(&length);
    float values[3];
    switch (keyword[0]) {
        case 'v':
            // A statement the counting scan did not see (a keyword left on a vertex line) has no
            // slot of its own: its values are read and dropped.
            if (length == 1)
                return storeElement(m->vertices, state_.vertex, end.vertex, 3, values,
                                    in_.readFloats(values, 3));
            if (keyword[1] == 'n')
                return storeElement(m->normals, state_.normal, end.normal, 3, values,
                                    in_.readFloats(values, 3));
            if (keyword[1] == 't')
                return storeElement(m->texcoords, state_.texcoord, end.texcoord, 2, values,
                                    in_.readFloats(values, 2));
            in_.skipLine();
            return Step::Done;
        case 'f': {
            Form form;
            size_t count = readFace(true, &form);
            return storeReferences(references_.data(), count, form, at, out);
        }
        case 'g': {
            in_.readLine(line_);
            auto group = index_->groupIds.find(groupName(line_));
            if (group == index_->groupIds.end()) {
                state_.group = kNoGroup;  // a group the counting scan never saw holds nothing
                current_ = nullptr;
            } else {
                state_.group = group->second;
                current_ = slotsOf(group->second);
                out.materials.emplace_back(group->second, material_);
            }
            return Step::Done;
        }
        case 'u': {
            in_.readLine(line_);
            std::string name = statementName(line_);
            auto found = index_->materials.find(name);
            if (found != index_->materials.end()) {
                material_ = found->second;
            } else {
                out.warnings.push_back(materialNotFound(name.c_str()));
                material_ = 0;
            }
            if (state_.group != kNoGroup) out.materials.emplace_back(state_.group, material_);
            return Step::Done;
        }
        default:
            in_.skipLine();
            return Step::Done;
    }
}

// Stores the `parsed` values (the rest zero, as in a fresh array) into the next slot of an array
// of n-float elements, when that slot lies before `end`. Beyond it the values are dropped, or,
// when guessing, the range ends.
Step RangeScan::storeElement(float* array, uint32_t& next, uint32_t end, int n, const float* values,
                             int parsed) {
    if (next >= end) return limits_->guess ? Step::Overflow : Step::Done;
    float* slot = &array[size_t{next} * n];
    for (int i = 0; i < n; i++) slot[i] = i < parsed ? values[i] : 0.0f;
    next++;
    return Step::Done;
}

// The kind of a "v", "vn" or "vt" keyword at p followed by a blank: 1, 2 or 3 (0 for others).
ZEL_HOT int elementKind(const char* p) {
    if (isBlank(static_cast<unsigned char>(p[1]))) return 1;
    if (!isBlank(static_cast<unsigned char>(p[2]))) return 0;
    return p[1] == 'n' ? 2 : p[1] == 't' ? 3 : 0;
}

// Takes statements as exporters write them, one after another, straight from the bytes held: "v",
// "vn" and "vt" lines of plainly written numbers and the common face, each with kQuickBytes
// readable from its keyword. Stops before any other statement, at the range's stop and before the
// last kQuickBytes held, leaving the rest to the general reading. Returns whether it took any.
bool RangeScan::quickCounts(uint64_t stop, CountReport& out, uint32_t current) {
    const char* p = in_.ahead(kQuickBytes);
    if (!p) return false;
    const char* const start = p;
    const char* const limit = std::min(in_.heldEnd() - kQuickBytes, in_.heldAt(stop));
    uint64_t elements[4] = {}, triangles = 0;
    while (p < limit) {
        if (p[0] == 'v') {
            int kind = elementKind(p);
            const char* newline = findNewline(p, p + kQuickBytes);
            if (!kind || !newline) break;
            elements[kind]++;
            p = newline + 1;
        } else if (p[0] == 'f' && isBlank(static_cast<unsigned char>(p[1]))) {
            Form form;
            size_t count;
            const char* next = quickFace<false>(p + 1, &form, nullptr, &count);
            if (!next) break;
            triangles += count - 2;
            p = next;
        } else {
            break;
        }
        while (isSpace(static_cast<unsigned char>(*p)) && p < limit) ++p;
    }
    in_.advanceTo(p);
    out.vertices += elements[1];
    out.normals += elements[2];
    out.texcoords += elements[3];
    out.triangles += triangles;
    out.groups[current].second += triangles;
    return p != start;
}

// The filling scan's share of the same. Returns Step::General when it stopped before a statement
// for the general reading (*took tells whether it took any before), or the step that ended the
// range with *at the offset of its statement.
Step RangeScan::quickFills(uint64_t stop, FillReport& out, uint64_t* at, bool* took) {
    const char* p = in_.ahead(kQuickBytes);
    *took = false;
    if (!p) return Step::General;
    const char* const start = p;
    const char* const limit = std::min(in_.heldEnd() - kQuickBytes, in_.heldAt(stop));
    ZelModel* m = index_->model;
    const FillState& end = limits_->end;
    float* const arrays[4] = {nullptr, m->vertices, m->normals, m->texcoords};
    uint32_t* const next[4] = {nullptr, &state_.vertex, &state_.normal, &state_.texcoord};
    const uint32_t last[4] = {0, end.vertex, end.normal, end.texcoord};
    Step step = Step::General;
    while (p < limit) {
        const char* after;
        if (p[0] == 'v') {
            int kind = elementKind(p);
            if (!kind) break;
            const int n = kind == 3 ? 2 : 3;
            after = p + 1 + (kind > 1);
            const char* const window = p + kQuickBytes - 32;  // room for the reads of one number
            float values[3];
            bool plain = true;
            for (int i = 0; i < n && plain; i++) {
                after += *after == ' ';
                while (after < window && isBlank(static_cast<unsigned char>(*after))) ++after;
                plain = after < window && quickDecimal(after, &values[i]);
            }
            if (!plain) break;
            step = storeElement(arrays[kind], *next[kind], last[kind], n, values, n);
        } else if (p[0] == 'f' && isBlank(static_cast<unsigned char>(p[1]))) {
            Form form;
            size_t count;
            Reference refs[kQuickReferences];
            after = quickFace<true>(p + 1, &form, refs, &count);
            if (!after) break;
            step = storePlain(refs, count, form)
                       ? Step::Done
                       : storeReferences(refs, count, form, in_.offsetOf(p), out);
        } else {
            break;
        }
        if (step != Step::Done) {
            *at = in_.offsetOf(p);
            return step;
        }
        p = after;
        while (isSpace(static_cast<unsigned char>(*p)) && p < limit) ++p;
    }
    in_.advanceTo(p);
    *took = p != start;
    return Step::General;
}

// Reads the references of a face after its first: two more whatever they hold (a failed read
// leaves the last values), then as many as assign at least one integer. Without `values` they are
// only counted; with it the list is rebuilt from the start on every call, so a read can be
// repeated. Returns the number of references, the first included.
template <class Source>
size_t RangeScan::readReferences(Source& in, Form form, Reference ref, bool values) {
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

// Reads a face's references after its keyword and returns how many there are (at least 3). With
// `values` they are left in references_; otherwise only counted.
size_t RangeScan::readFace(bool values, Form* form) {
    Reference first{};
    size_t length;
    const char* word = in_.word(&length);
    *form = faceForm(word, word + length, first);
    return in_.scan([&](auto& in) { return readReferences(in, *form, first, values); });
}

// Stores a face whose indices all stand as written, as storeReferences would: every one positive
// and within its array (or, for an array the file lacks, positive), with room for its triangles.
// Returns false, storing nothing, for any other.
template <bool kTexture, bool kNormal>
ZEL_HOT bool RangeScan::storePlain(const Reference* refs, size_t count) {
    const ZelModel* m = index_->model;
    const uint64_t triangles = count - 2;
    if (!current_ || current_->next + triangles > current_->limit ||
        state_.triangle + triangles > limits_->end.triangle)
        return false;
    const uint32_t vertices = m->vertexcount;
    const uint32_t texcoords = m->texcoords ? m->texcoordcount : INT32_MAX;
    const uint32_t normals = m->normals ? m->normalcount : INT32_MAX;
    bool plain = true;
    for (size_t i = 0; i < count; i++) {
        plain &= static_cast<uint32_t>(refs[i].v) - 1 < vertices;
        if (kTexture) plain &= static_cast<uint32_t>(refs[i].t) - 1 < texcoords;
        if (kNormal) plain &= static_cast<uint32_t>(refs[i].n) - 1 < normals;
    }
    if (!plain) return false;
    ZelTriangle* triangle = &m->triangles[state_.triangle];
    uint32_t* slot = &index_->groups[state_.group]->triangleidx[current_->next];
    for (size_t i = 2; i < count; i++, triangle++) {
        const Reference* corners[] = {&refs[0], &refs[i - 1], &refs[i]};
        for (int k = 0; k < 3; k++) {
            triangle->vertexidx[k] = static_cast<uint32_t>(corners[k]->v);
            triangle->texcoordidx[k] = kTexture ? static_cast<uint32_t>(corners[k]->t) : 0;
            triangle->normalidx[k] = kNormal ? static_cast<uint32_t>(corners[k]->n) : 0;
        }
        triangle->facetidx = 0;
        *slot++ = state_.triangle++;
    }
    current_->next += static_cast<uint32_t>(triangles);
    return true;
}

ZEL_HOT bool RangeScan::storePlain(const Reference* refs, size_t count, Form form) {
    switch (form) {
        case Form::Vertex:
            return storePlain<false, false>(refs, count);
        case Form::VertexTexture:
            return storePlain<true, false>(refs, count);
        case Form::VertexTextureNormal:
            return storePlain<true, true>(refs, count);
        case Form::VertexNormal:
            return storePlain<false, true>(refs, count);
    }
    return false;
}

// Checks and resolves every index of a face's references and stores the fan r1 r2 r3, r1 r3 r4,
// ..., r1 rN-1 rN. An index that names nothing sets out.failure (Step::Failed); a triangle outside
// a guessed window ends the range (Step::Overflow).
Step RangeScan::storeReferences(const Reference* refs, size_t count, Form form, uint64_t at,
                                FillReport& out) {
    const ZelModel* m = index_->model;
    const bool texture = hasTexture(form), normal = hasNormal(form);
    auto corner = [&](const Reference& ref, Corner* c) {
        bool good = resolve(ref.v, state_.vertex - 1, m->vertexcount, true, &c->v);
        if (texture)
            good &= resolve(ref.t, state_.texcoord - 1, m->texcoordcount, m->texcoords != nullptr,
                            &c->t);
        if (normal)
            good &= resolve(ref.n, state_.normal - 1, m->normalcount, m->normals != nullptr, &c->n);
        return good;
    };
    Corner first, previous, next;
    bool good = corner(refs[0], &first) && corner(refs[1], &previous);
    for (size_t i = 2; good && i < count; i++, previous = next) {
        if (!(good = corner(refs[i], &next))) break;
        if (!current_) continue;  // a group the counting scan never saw: the triangles are dropped
        // Never more than the counting scan made room for.
        if (current_->next >= current_->limit || state_.triangle >= limits_->end.triangle) {
            if (limits_->guess) return Step::Overflow;
            continue;
        }
        ZelTriangle& triangle = index_->model->triangles[state_.triangle];
        triangle = ZelTriangle{};
        const Corner* corners[] = {&first, &previous, &next};
        for (int k = 0; k < 3; k++) {
            triangle.vertexidx[k] = corners[k]->v;
            if (texture) triangle.texcoordidx[k] = corners[k]->t;
            if (normal) triangle.normalidx[k] = corners[k]->n;
        }
        index_->groups[state_.group]->triangleidx[current_->next++] = state_.triangle++;
    }
    if (good) return Step::Done;
    out.failure = badIndex(at, form, refs, count);
    return Step::Failed;
}

// The failure for a face with an index that names no element of an array the file has: every later
// operation would read outside the array. It names the file, the face's line and the first bad
// index.
Status RangeScan::badIndex(uint64_t faceStart, Form form, const Reference* refs, size_t count) {
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
    for (size_t i = 0; i < count; i++) {
        const int indices[] = {refs[i].v, refs[i].t, refs[i].n};
        for (int k = 0; k < 3 && status.ok; k++) {
            uint32_t ignored;
            if (!kinds[k].present ||
                resolve(indices[k], kinds[k].readSoFar, kinds[k].count, true, &ignored))
                continue;
            status =
                failure(Stream::Err,
                        "zelReadOBJ() failed: \"%s\" line %u: %s index %d does not name one "
                        "of the file's %u %s.\n",
                        m->path, line, kinds[k].what, indices[k], kinds[k].count, kinds[k].plural);
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
    ZEL_REQUIRE(path);
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJFile(path, &model);
    if (!status.ok) zel::exitWith(status);
    return model;
}

namespace {

// The reader's options from the caller's. The library callback's bytes are copied, so they need
// stay valid only for the call. Not-found lines for standard output are held in `held`, to be
// printed once the load has succeeded: a load that fails prints nothing.
zel::ReadOptions readOptions(const ZelLoadOptions* options, zel::TextProvider* libraries,
                             std::vector<std::string>* held) {
    zel::ReadOptions read;
    read.warn = [held](const std::string& line) { held->push_back(line); };
    if (!options) return read;
    read.threads = options->threads;
    if (options->library) {
        *libraries = [options](const std::string& path, std::string& text) {
            const char* data = nullptr;
            size_t size = 0;
            if (!options->library(options->user, path.c_str(), &data, &size)) return false;
            text.assign(data ? data : "", data ? size : 0);
            return true;
        };
        read.libraries = libraries;
    }
    if (options->warning) {
        read.warn = [options](const std::string& line) {
            std::string message = line;
            if (!message.empty() && message.back() == '\n') message.pop_back();
            options->warning(options->user, message.c_str());
        };
    } else if (options->quiet) {
        read.warn = [](const std::string&) {};
    }
    return read;
}

// Reports a load's outcome: the failure into `error`, or the held not-found lines printed.
ZelModel* finishLoad(const zel::Status& status, ZelModel* model,
                     const std::vector<std::string>& held, ZelError* error) {
    if (!status.ok) {
        zel::fillError(status, error);
        return nullptr;
    }
    for (const std::string& line : held) std::fputs(line.c_str(), stdout);
    return model;
}

}  // namespace

ZelModel* zelLoadOBJ(const char* path, const ZelLoadOptions* options, ZelError* error) {
    ZEL_REQUIRE(path);
    zel::TextProvider libraries;
    std::vector<std::string> held;
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJFile(path, readOptions(options, &libraries, &held), &model);
    return finishLoad(status, model, held, error);
}

ZelModel* zelLoadOBJMemory(const char* path, const char* data, size_t size,
                           const ZelLoadOptions* options, ZelError* error) {
    ZEL_REQUIRE(path);
    ZEL_REQUIRE(data || size == 0);
    zel::TextProvider libraries;
    std::vector<std::string> held;
    ZelModel* model = nullptr;
    zel::Status status = zel::readOBJMemory(path, data ? data : "", size,
                                            readOptions(options, &libraries, &held), &model);
    return finishLoad(status, model, held, error);
}
