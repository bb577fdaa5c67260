// The OBJ reader's scans: a counting scan sizes every array exactly, a filling scan stores the
// data. Each runs over one byte range from a given state (obj_scan.h); obj_ranges.cpp puts ranges
// together. One range over the whole input is read by the filling scan alone, its arrays growing
// as it stores (Growth), unless it meets what only the counts decide; then both scans read it. The
// entry points that lead here are in obj_load.cpp.
//
// Every statement is read in one place (RangeScan::element, face, ...), which both scans share: it
// reads from a source (the bytes held, for statements written as exporters write them, or the
// scanner, for everything) and hands what it read to a sink (CountSink or FillSink).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hash_table.h"
#include "obj_scan.h"
#include "polygon.h"
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

// What the quick paths may read from a statement's keyword on, and the most references they take.
constexpr size_t kQuickBytes = 256;
constexpr size_t kQuickReferences = 32;

// What plainReference reads from its position on: its digit bits, or three plainInt numbers with a
// separator after each of the first two.
constexpr size_t kPlainReferenceBytes = 3 * kPlainIntBytes;
static_assert(kPlainReferenceBytes >= kDigitBitsBytes, "the digit bits are read within it");

// A reference as exporters write it: plainInt numbers in exactly the face's form ("1", "1/2",
// "1/2/3" or "1//2"). Returns the position after it, or null; stores into `ref` when kValue.
template <bool kValue, Form form>
ZEL_HOT const char* plainReference(const char* p, const char* end, Reference* ref) {
    ZEL_ASSERT(readable(p, end, kPlainReferenceBytes));
    if (form == Form::VertexTextureNormal) {
        // Unsigned numbers of up to eight digits, their ends found all at once.
        uint64_t others = ~uint64_t{digitBits(p, end)};  // bits from 32 on stand for what is beyond
        unsigned first = static_cast<unsigned>(__builtin_ctzll(others));
        others &= others - 1;
        unsigned second = static_cast<unsigned>(__builtin_ctzll(others));
        others &= others - 1;
        unsigned last = static_cast<unsigned>(__builtin_ctzll(others));
        if (first - 1 < 8 && second - first - 2 < 8 && last - second - 2 < 8 && p[first] == '/' &&
            p[second] == '/') {
            if (kValue) {
                ref->v = static_cast<int>(digitsAt(p, end, first));
                ref->t = static_cast<int>(digitsAt(p + first + 1, end, second - first - 1));
                ref->n = static_cast<int>(digitsAt(p + second + 1, end, last - second - 1));
            }
            return p + last;
        }
    }
    p = plainInt<kValue>(p, end, &ref->v);
    if (!p) return nullptr;
    switch (form) {
        case Form::Vertex:
            return p;
        case Form::VertexNormal:
            return p[0] == '/' && p[1] == '/' ? plainInt<kValue>(p + 2, end, &ref->n) : nullptr;
        case Form::VertexTexture:
            return *p == '/' ? plainInt<kValue>(p + 1, end, &ref->t) : nullptr;
        case Form::VertexTextureNormal:
            p = *p == '/' ? plainInt<kValue>(p + 1, end, &ref->t) : nullptr;
            return p && *p == '/' ? plainInt<kValue>(p + 1, end, &ref->n) : nullptr;
    }
    return nullptr;
}

// Blanks inside a line: white space other than the line feed. (Every white-space byte is at most
// ' ', which makes a cheap first test.)
ZEL_HOT bool isBlank(int c) {
    return c <= ' ' && c != '\n' && isSpace(c);
}

// Room kept after the last place a reference may start: the reference, then a blank and the byte
// after it, which tell whether another reference follows.
constexpr size_t kReferenceRoom = 48;
static_assert(kReferenceRoom >= kPlainReferenceBytes + 1, "a reference and the byte after it");

// The rest of quickFace (below) once its first reference, `ref`, is read, from the blank after it.
template <bool kValues, Form form>
ZEL_HOT const char* quickReferences(const char* p, const char* end, Reference ref, Reference* refs,
                                    size_t* count) {
    const char* const window = end - kReferenceRoom;
    size_t n = 0;
    for (;;) {
        if (kValues) {
            if (n == kQuickReferences) return nullptr;
            refs[n] = ref;
        }
        n++;
        ZEL_ASSERT(readable(p, end, 2));
        if (p[0] == ' ' && isDigit(static_cast<unsigned char>(p[1]))) {
            ++p;
        } else {
            while (p <= window && isBlank(static_cast<unsigned char>(*p))) ++p;
            if (p <= window && *p == '\n') break;
        }
        if (p > window) return nullptr;
        p = plainReference<kValues, form>(p, end, &ref);
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

// The common face as exporters write it, read in one sweep from the end of its keyword at p up to
// `end` (the keyword's kQuickBytes): a first reference that is a plain one of some form
// and a word of its own, then plain references of that form, the face ending with its line and
// the next line starting a statement (not a number, a sign or white space). The general reading
// would take exactly these references, in the form that faceForm finds in the first word: each
// read of the face's format takes a whole plain reference, and the read after the last fails on
// the next line without consuming anything. Stores them when kValues (at most kQuickReferences,
// the last repeated up to three) and returns the start of the next line with their count, or null
// for any other face.
template <bool kValues>
ZEL_HOT const char* quickFace(const char* p, const char* end, Form* form, Reference* refs,
                              size_t* count) {
    const char* const window = end - kReferenceRoom;  // where the last reference may start
    p += *p == ' ';
    while (p <= window && isBlank(static_cast<unsigned char>(*p))) ++p;
    if (p > window) return nullptr;
    Reference ref{};
    p = plainInt<kValues>(p, end, &ref.v);
    if (!p) return nullptr;
    *form = Form::Vertex;
    if (p[0] == '/' && p[1] == '/') {
        *form = Form::VertexNormal;
        p = plainInt<kValues>(p + 2, end, &ref.n);
    } else if (*p == '/') {
        *form = Form::VertexTexture;
        p = plainInt<kValues>(p + 1, end, &ref.t);
        if (p && *p == '/') {
            *form = Form::VertexTextureNormal;
            p = plainInt<kValues>(p + 1, end, &ref.n);
        }
    }
    if (!p || !isSpace(static_cast<unsigned char>(*p))) return nullptr;
    // The form is known from here on: each loop reads its own.
    switch (*form) {
        case Form::Vertex:
            return quickReferences<kValues, Form::Vertex>(p, end, ref, refs, count);
        case Form::VertexTexture:
            return quickReferences<kValues, Form::VertexTexture>(p, end, ref, refs, count);
        case Form::VertexTextureNormal:
            return quickReferences<kValues, Form::VertexTextureNormal>(p, end, ref, refs, count);
        case Form::VertexNormal:
            return quickReferences<kValues, Form::VertexNormal>(p, end, ref, refs, count);
    }
    return nullptr;
}

// How a statement went: taken; left to the general reading (only from the quick path, before
// anything of it was stored); beyond a guessed range's window; or a failure that ends the read.
enum class Step { Done, General, Overflow, Failed };

// ---- What a statement is ------------------------------------------------------------------------

enum class Keyword {
    Vertex,
    Normal,
    TexCoord,
    OtherV,
    Face,
    Group,
    Object,
    UseMaterial,
    Library,
    Line,
    Point,
    Smoothing,
    Other
};

// The keywords of elements index the counting scan's element counts.
constexpr size_t kElementKinds = 3;
static_assert(static_cast<size_t>(Keyword::Vertex) < kElementKinds &&
                  static_cast<size_t>(Keyword::Normal) < kElementKinds &&
                  static_cast<size_t>(Keyword::TexCoord) < kElementKinds,
              "Vertex, Normal and TexCoord come first");

// "l", "p" and "s", matched whole in both dialects: the documented one skips their lines, and
// reading them keeps new fields without changing what it reads.
Keyword shapeKeywordOf(const char* word, size_t length) {
    if (length != 1) return Keyword::Other;
    return word[0] == 'l'   ? Keyword::Line
           : word[0] == 'p' ? Keyword::Point
           : word[0] == 's' ? Keyword::Smoothing
                            : Keyword::Other;
}

// The statement a keyword starts, in the documented dialect: decided by its first character, and
// for "v" by its second too; the rest of the keyword is not looked at.
Keyword keywordOf(const char* word, size_t length) {
    switch (word[0]) {
        case 'v':
            if (length == 1) return Keyword::Vertex;
            if (word[1] == 'n') return Keyword::Normal;
            if (word[1] == 't') return Keyword::TexCoord;
            return Keyword::OtherV;
        case 'f':
            return Keyword::Face;
        case 'g':
            return Keyword::Group;
        case 'o':
            return Keyword::Object;
        case 'u':
            return Keyword::UseMaterial;
        case 'm':
            return Keyword::Library;
        default:
            return shapeKeywordOf(word, length);
    }
}

// The statement a keyword starts under whole keywords: the keyword as the convention writes it,
// whole. A keyword starting with "v" that is none of v, vn and vt is still OtherV, so that
// ZEL_LOAD_UNKNOWN_KEYWORDS decides about it as in the documented dialect. Only statements that
// the quick path leaves come here, so the comparisons cost nothing on vertex and face lines.
Keyword wholeKeywordOf(const char* word, size_t length) {
    auto is = [&](const char* keyword) {
        return std::strlen(keyword) == length && std::memcmp(word, keyword, length) == 0;
    };
    switch (word[0]) {
        case 'v':
            return is("v")    ? Keyword::Vertex
                   : is("vn") ? Keyword::Normal
                   : is("vt") ? Keyword::TexCoord
                              : Keyword::OtherV;
        case 'f':
            return is("f") ? Keyword::Face : Keyword::Other;
        case 'g':
            return is("g") ? Keyword::Group : Keyword::Other;
        case 'o':
            return is("o") ? Keyword::Object : Keyword::Other;
        case 'u':
            return is("usemtl") ? Keyword::UseMaterial : Keyword::Other;
        case 'm':
            return is("mtllib") ? Keyword::Library : Keyword::Other;
        default:
            return shapeKeywordOf(word, length);
    }
}

// The statement at p when the quick path may take it: the keyword "v", "vn", "vt" or "f" followed
// by a blank. Other for anything else.
ZEL_HOT Keyword quickKeyword(const char* p) {
    if (p[0] == 'f')
        return isBlank(static_cast<unsigned char>(p[1])) ? Keyword::Face : Keyword::Other;
    if (p[0] != 'v') return Keyword::Other;
    if (isBlank(static_cast<unsigned char>(p[1]))) return Keyword::Vertex;
    if (!isBlank(static_cast<unsigned char>(p[2]))) return Keyword::Other;
    return p[1] == 'n' ? Keyword::Normal : p[1] == 't' ? Keyword::TexCoord : Keyword::Other;
}

// A byte that can begin a "%f" number. A word that begins with one is no statement: the reader
// skips its line.
bool startsNumber(int c) {
    return isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'i' || c == 'I' || c == 'n' ||
           c == 'N';
}

// ---- Where a statement is read from ------------------------------------------------------------
//
// Each statement is read by one function (RangeScan::element, face, ...) over either source. The
// general source is the scanner, which knows every reading rule and refills as it goes. The quick
// source reads the bytes held in the buffer without end checks, and only what is written the plain
// way exporters write it; at anything else its `plain` turns false, and the statement, of which
// nothing has been stored, is read again through the general source.

// Room kept after the last place a number may start.
constexpr size_t kNumberRoom = 32;
static_assert(kNumberRoom >= kQuickDecimalBytes, "a number's bytes");

class QuickSource {
public:
    static constexpr bool kQuick = true;

    // The statement's keyword is at `keyword`, with kQuickBytes readable from it.
    QuickSource(const char* keyword, size_t length)
        : p(keyword + length),
          lineBound_(keyword + kQuickBytes),
          numberBound_(keyword + kQuickBytes - kNumberRoom) {}

    const char* p;
    bool plain = true;

    // Up to n numbers of this line, each after blanks only, as quickDecimal reads them (each a
    // whole word). Returns how many, with *ended set when the line ended first.
    ZEL_HOT int floatsInLine(float* values, int n, bool* ended, bool* = nullptr) {
        *ended = false;
        for (int i = 0; i < n; i++) {
            p += *p == ' ';
            while (p < numberBound_ && isBlank(static_cast<unsigned char>(*p))) ++p;
            if (p >= numberBound_) return notPlain(i);
            if (*p == '\n') {
                *ended = true;
                return i;
            }
            if (!quickDecimal(p, lineBound_, &values[i])) return notPlain(i);
        }
        return n;
    }
    // Numbers beyond the line are the general reading's.
    int floats(float*, int) { return notPlain(0); }
    ZEL_HOT int peekInLine() {
        while (p < numberBound_ && isBlank(static_cast<unsigned char>(*p))) ++p;
        if (p >= numberBound_) return notPlain(EOF);
        return static_cast<unsigned char>(*p);
    }
    ZEL_HOT bool lineMayHoldWords(unsigned n) {
        bool atLeast;
        if (readable(p, lineBound_, kShortLineBytes) &&
            (lineEnd_ = shortLineEnd(p, lineBound_, n, &atLeast)))
            return atLeast;
        unsigned words;
        lineEnd_ = lineEndAndWords(p, lineBound_, &words);
        if (!lineEnd_) return notPlain(false);
        return words >= n;
    }
    // Up to n words of this line that are numbers, as floatsInLine reads them; then the line is
    // skipped.
    ZEL_HOT int numbersSkippingLine(float* values, int n) {
        bool ended;
        int got = floatsInLine(values, n, &ended);
        skipLine();
        return got;
    }
    ZEL_HOT void skipLine() {
        const char* end = lineEnd_ ? lineEnd_ : findNewline(p, lineBound_);
        if (!end) {
            plain = false;
            return;
        }
        p = end + 1;
    }
    // A face's references (see quickFace), into `storage` when kValues.
    template <bool kValues>
    ZEL_HOT const Reference* references(Form* form, size_t* count, Reference* storage) {
        const char* next = quickFace<kValues>(p, lineBound_, form, storage, count);
        if (!next) return notPlain(nullptr);
        p = next;
        return storage;
    }

private:
    template <class T>
    T notPlain(T result) {
        plain = false;
        return result;
    }

    const char* lineEnd_ = nullptr;  // the line's end, once lineMayHoldWords found it
    const char* const lineBound_;    // the end of the bytes readable: a line must end before it
    const char* const numberBound_;  // numbers must start before it (room for one's bytes)
};

class GeneralSource {
public:
    static constexpr bool kQuick = false;
    static constexpr bool plain = true;

    GeneralSource(Scanner& in, std::vector<Reference>& references, std::string& line)
        : in_(in), references_(references), line_(line) {}

    int floatsInLine(float* values, int n, bool* ended, bool* whole) {
        return in_.readFloatsInLine(values, n, ended, whole);
    }
    int floats(float* values, int n) { return in_.readFloats(values, n); }
    int peekInLine() { return in_.peekInLine(); }
    bool lineMayHoldWords(unsigned n) { return in_.lineMayHoldWords(n); }
    void skipLine() { in_.skipLine(); }
    // The leading words of the rest of this line, up to n, that are numbers read whole; then the
    // line is skipped.
    int numbersSkippingLine(float* values, int n) {
        in_.readRestOfLine(&line_);
        return wholeNumbers(line_.data(), line_.size(), values, n);
    }

    // A face's references after its keyword: the form found from the first word, then two more
    // references whatever they hold (a failed read leaves the last values), then as many as
    // assign at least one integer. Values are kept in the scan's list when kValues; otherwise
    // they are only counted. Returns the list (null without values) and their number in *count.
    template <bool kValues>
    const Reference* references(Form* form, size_t* count, Reference*) {
        Reference first{};
        size_t length;
        const char* word = in_.word(&length);
        *form = faceForm(word, word + length, first);
        *count = in_.scan([&](auto& in) { return readReferences<kValues>(in, *form, first); });
        return kValues ? references_.data() : nullptr;
    }

private:
    // The list is rebuilt from the start on every call, so that a read can be repeated.
    template <bool kValues, class Source>
    size_t readReferences(Source& in, Form form, Reference ref) {
        if (!kValues) {
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

    Scanner& in_;
    std::vector<Reference>& references_;
    std::string& line_;
};

// An integer word of a shape statement: an optional sign and digits that fit an int.
bool shapeIndex(const char* p, const char* end, int* value) {
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return false;
    int64_t magnitude = 0;
    for (; p < end; ++p) {
        if (!isDigit(static_cast<unsigned char>(*p))) return false;
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > INT32_MAX) return false;
    }
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

// The references of an "l" or "p" line: each word a vertex index, or, on an "l" line, "v/t" (the
// vertex and texture-coordinate index; "v/t/n" and "v//n" give their vertex and texture index).
// t is 0 where the word gives none. False when a word is none of these: the statement is dropped.
bool shapeReferences(const std::string& rest, bool texture, std::vector<Reference>* refs) {
    refs->clear();
    const char* p = rest.c_str();  // a NUL ends the line, as it ends every string a model holds
    for (;;) {
        while (*p && isSpace(static_cast<unsigned char>(*p))) ++p;
        if (!*p) return true;
        const char* word = p;
        while (*p && !isSpace(static_cast<unsigned char>(*p))) ++p;
        const char* slash = std::find(word, p, '/');
        Reference ref{0, 0, 0};
        if (!shapeIndex(word, slash, &ref.v)) return false;
        if (slash != p) {
            if (!texture) return false;
            const char* second = slash + 1;
            const char* end = std::find(second, p, '/');
            if (second != end && !shapeIndex(second, end, &ref.t)) return false;
        }
        refs->push_back(ref);
    }
}

// The smoothing group of an "s" line: a number, or 0 for "off" or anything else.
uint32_t smoothingOf(const std::string& rest) {
    const char* p = rest.c_str();
    while (*p && isSpace(static_cast<unsigned char>(*p))) ++p;
    const char* end = p;
    while (*end && !isSpace(static_cast<unsigned char>(*end))) ++end;
    int value;
    return shapeIndex(p, end, &value) && value > 0 ? static_cast<uint32_t>(value) : 0;
}

// ---- What the two scans do with a statement
// ------------------------------------------------------

// The counting scan's: element and triangle counts, the groups in order of first appearance with
// their triangles, the libraries, whether a vertex gives a colour, and the unknown keywords.
class CountSink {
public:
    static constexpr bool kValues = false;

    CountSink(CountReport& out, bool polygons) : out_(out), polygons_(polygons) {
        out_.groups.assign(1, {std::string(), 0});
    }

    bool colorFound() const { return colors_; }
    ZEL_HOT Step element(Keyword kind, bool color) {
        ZEL_ASSERT(kind == Keyword::Vertex || kind == Keyword::Normal || kind == Keyword::TexCoord);
        elements_[static_cast<int>(kind)]++;
        colors_ |= color;
        return Step::Done;
    }
    template <class At>
    ZEL_HOT Step face(const Reference*, size_t count, Form, At) {
        triangles_ += count - 2;
        if (polygons_) {
            ShapeCounts& shapes = shapesOfCurrent();
            shapes.polygons++;
            shapes.polygonCorners += count;
        }
        return Step::Done;
    }
    Step shape(Keyword kind, const std::vector<Reference>& refs, uint64_t) {
        ShapeCounts& shapes = shapesOfCurrent();
        if (kind == Keyword::Point) {
            shapes.points += refs.size();
        } else if (refs.size() >= 2) {
            shapes.lines++;
            shapes.lineCorners += refs.size();
        }
        return Step::Done;
    }
    Step smoothing(uint32_t) {
        out_.smoothing = true;
        return Step::Done;
    }
    Step group(std::string name) {
        takeTriangles();
        auto found = entries_.emplace(name, static_cast<uint32_t>(out_.groups.size()));
        if (found.second) out_.groups.emplace_back(std::move(name), 0);
        current_ = found.first->second;
        return Step::Done;
    }
    Step useMaterial(const std::string&) { return Step::Done; }
    Step library(std::string name, bool whole, uint64_t at) {
        out_.libraries.push_back({std::move(name), at, whole});
        return Step::Done;
    }
    void unknown(std::string keyword, uint64_t at) {
        if (unknown_.insert(keyword).second) out_.unknown.push_back({std::move(keyword), at});
    }
    bool counts() const { return true; }
    // The read's failure, made by `make`.
    template <class Failure>
    Step fail(Failure&& make) {
        out_.failure = make();
        return Step::Failed;
    }
    void finish() {
        takeTriangles();
        out_.vertices = elements_[static_cast<int>(Keyword::Vertex)];
        out_.normals = elements_[static_cast<int>(Keyword::Normal)];
        out_.texcoords = elements_[static_cast<int>(Keyword::TexCoord)];
        out_.current = current_;
        out_.colors = colors_;
    }

private:
    // The triangles counted since the current group last changed go to it.
    void takeTriangles() {
        out_.groups[current_].second += triangles_;
        out_.triangles += triangles_;
        triangles_ = 0;
    }

    ShapeCounts& shapesOfCurrent() {
        if (out_.shapes.size() < out_.groups.size()) out_.shapes.resize(out_.groups.size());
        return out_.shapes[current_];
    }

    CountReport& out_;
    const bool polygons_;                    // faces are counted as polygons too
    uint64_t elements_[kElementKinds] = {};  // by Keyword
    uint64_t triangles_ = 0;
    bool colors_ = false;
    uint32_t current_ = 0;                    // the entry of out_.groups
    HashMap<std::string, uint32_t> entries_;  // group name -> entry of out_.groups
    HashSet<std::string> unknown_;
};

// The filling scan's: it stores elements and triangles into the slots its limits allow, and
// collects group materials and not-found lines for the caller to apply in file order.
class FillSink {
public:
    static constexpr bool kValues = true;

    FillSink(Scanner& in, const ModelIndex& index, const FillState& state, const FillLimits& limits,
             FillReport& out)
        : in_(in),
          index_(index),
          limits_(limits),
          out_(out),
          state_(state),
          growth_(limits.growth),
          end_(limits.end),
          colors_(index.model->colors),
          smoothings_(index.model->smoothinggroups),
          faceStarts_(index.faceStarts),
          faceExtras_(faceStarts_ || index.shapes),
          firstVertex_(state.vertex) {
        ZEL_ASSERT(limits.wellMade());
        if (growth_) faceExtras_ = growth_->faceStarts;
        current_ = state.group == kNoGroup ? nullptr : slotsOf(state.group);
        out_.firstSmoothing = state.triangle;
        if (index.shapes) shapes_.resize(index.groups.size());
    }

    // Colours are read when a vertex of the input gives one (and, growing, always).
    bool wantsColors() const { return colors_ || growth_; }
    ZEL_HOT Step element(Keyword kind, const float* values, int parsed, const float* color);
    // `at()` gives the offset of the face's statement, wanted only for a failure.
    template <class At>
    ZEL_HOT Step face(const Reference* refs, size_t count, Form form, At at) {
        if (growth_) noteUnchecked(form);
        if (storePlain(refs, count, form)) return Step::Done;
        Step step = storeReferences(refs, count, form);
        if (step == Step::Failed) {
            if (growth_) return Step::Overflow;  // the counts might name it: read again
            out_.failure = badIndex(at(), form, refs, count);
        }
        return step;
    }
    Step group(const std::string& name);
    Step useMaterial(const std::string& name);
    Step library(const std::string& name, bool whole, uint64_t at) {
        return !growth_ || growth_->library(name, whole, at) ? Step::Done : Step::Overflow;
    }
    Step shape(Keyword kind, const std::vector<Reference>& refs, uint64_t at);
    Step smoothing(uint32_t group);
    // Whether the scan does the counting scan's part too (keywords, libraries): when it grows.
    bool counts() const { return growth_ != nullptr; }
    void unknown(std::string keyword, uint64_t at) { growth_->unknown(std::move(keyword), at); }
    template <class Failure>
    Step fail(Failure&&) {
        return Step::Overflow;  // growing: the reading by both scans fails it
    }
    void finish();

private:
    ZEL_HOT Step store(float* array, uint32_t& next, uint32_t end, int n, const float* values,
                       int parsed);
    Step storeReferences(const Reference* refs, size_t count, Form form);
    template <bool kTexture, bool kNormal>
    bool storePlain(const Reference* refs, size_t count);
    bool storePlain(const Reference* refs, size_t count, Form form);
    Status badIndex(uint64_t faceStart, Form form, const Reference* refs, size_t count);
    LocalSlots* slotsOf(uint32_t group);
    void faceStored(uint32_t first, uint32_t stored, uint32_t listed, const Reference* refs,
                    size_t count, Form form);
    static constexpr uint32_t kMostSettled = 8;  // corners of the largest face settled in the fill
    bool settleFace(uint32_t first, uint32_t stored);
    bool fanSettles(uint32_t first, uint32_t corners);
    bool cornerOf(const Reference& ref, bool texture, bool normal, ZelCorner* corner) const;
    // The elements a reference may name: all the counting scan counted, or, growing, those read.
    uint32_t known(uint32_t count, uint32_t next) const { return growth_ ? next - 1 : count; }

    // Growing (see Growth).
    void noteUnchecked(Form form) {
        const ZelModel* m = index_.model;
        growth_->uncheckedTexture |= hasTexture(form) && !m->texcoords;
        growth_->uncheckedNormal |= hasNormal(form) && !m->normals;
    }
    ZEL_HOT bool roomFor(Keyword kind, const float* color);
    bool growElements(Keyword kind, uint32_t next);
    bool startColors();
    bool growTriangles();
    bool growList();
    bool capacity(uint64_t count, uint64_t least, uint64_t bytesEach, uint64_t* to);
    template <class T>
    static void regrow(T*& array, uint64_t count) {
        array = static_cast<T*>(growArray(array, count * sizeof(T)));
    }

    Scanner& in_;  // for the line number of a failure
    const ModelIndex& index_;
    const FillLimits& limits_;
    FillReport& out_;
    FillState state_;
    Growth* const growth_;
    FillState end_;  // the limits' end, moved on as the arrays grow
    float* colors_;
    uint32_t* smoothings_;        // the model's smoothing groups, when the file has "s" lines
    uint8_t* faceStarts_;         // the index's face starts, when faces are cut afterwards
    bool faceExtras_;             // face starts or shapes: a stored face is noted
    const uint32_t firstVertex_;  // the first vertex slot this scan stores
    uint32_t smoothing_ = kInheritedSmoothing;
    bool smoothingSeen_ = false;
    std::vector<ShapeCounts> shapes_;      // stored so far, by group id, when shapes are stored
    std::vector<ZelCorner> shapeCorners_;  // of the "l" or "p" statement being stored
    uint32_t material_ = kInherited;
    HashMap<uint32_t, LocalSlots> slots_;  // by group id
    LocalSlots* current_ = nullptr;        // the current group's, or null
};

LocalSlots* FillSink::slotsOf(uint32_t group) {
    auto found = slots_.try_emplace(group);
    LocalSlots& slots = found.first->second;
    if (found.second) {
        if (limits_.guess) {
            auto window = limits_.groups->find(group);
            if (window) slots = {window->second.next, window->second.next, window->second.limit};
        } else if (growth_) {
            slots = {0, 0, index_.capacity[group]};
        } else {
            uint32_t stored = (*limits_.stored)[group];
            slots = {stored, stored, index_.capacity[group]};
        }
    }
    return &slots;
}

ZEL_HOT Step FillSink::element(Keyword kind, const float* values, int parsed, const float* color) {
    ZelModel* m = index_.model;
    const FillState& end = end_;
    if (growth_ && !roomFor(kind, color)) return Step::Overflow;
    switch (kind) {
        case Keyword::Vertex: {
            const uint32_t slot = state_.vertex;
            Step step = store(m->vertices, state_.vertex, end.vertex, 3, values, parsed);
            if (colors_ && state_.vertex != slot) {
                static const float kWhite[3] = {1.0f, 1.0f, 1.0f};
                std::memcpy(&colors_[3 * size_t{slot}], color ? color : kWhite, sizeof kWhite);
            }
            return step;
        }
        case Keyword::Normal:
            return store(m->normals, state_.normal, end.normal, 3, values, parsed);
        default:
            return store(m->texcoords, state_.texcoord, end.texcoord, 2, values, parsed);
    }
}

// Stores the `parsed` values (the rest zero, as in a fresh array) into the next slot of an array
// of n-float elements, when that slot lies before `end`. Beyond it (a statement the counting scan
// did not see, such as a keyword left on a vertex line) the values are dropped, or, when guessing,
// the range ends.
ZEL_HOT Step FillSink::store(float* array, uint32_t& next, uint32_t end, int n, const float* values,
                             int parsed) {
    if (next >= end) return limits_.guess ? Step::Overflow : Step::Done;
    float* slot = &array[size_t{next} * n];
    for (int i = 0; i < n; i++) slot[i] = i < parsed ? values[i] : 0.0f;
    next++;
    return Step::Done;
}

Step FillSink::group(const std::string& name) {
    auto group = index_.groupIds.find(name);
    if (!group && growth_) {
        growth_->index->add(name);
        group = index_.groupIds.find(name);
    }
    if (!group) {
        state_.group = kNoGroup;  // a group the counting scan never saw holds nothing
        current_ = nullptr;
    } else {
        state_.group = group->second;
        current_ = slotsOf(group->second);
        out_.materials.emplace_back(group->second, material_);
    }
    return Step::Done;
}

Step FillSink::useMaterial(const std::string& name) {
    if (growth_) {
        // Resolved once every library is read, as the counting scan would have read them all.
        material_ = kPendingMaterial | static_cast<uint32_t>(growth_->materials.size());
        growth_->materials.push_back(name);
    } else if (auto found = index_.materials.find(name)) {
        material_ = found->second;
    } else {
        out_.warnings.push_back(materialNotFound(name.c_str()));
        material_ = 0;
    }
    if (state_.group != kNoGroup) out_.materials.emplace_back(state_.group, material_);
    return Step::Done;
}

Step FillSink::smoothing(uint32_t group) {
    if (!smoothingSeen_) out_.firstSmoothing = state_.triangle;
    smoothingSeen_ = true;
    smoothing_ = group;
    if (growth_ && !smoothings_ && end_.triangle) {
        // The triangles before the first "s" line are in smoothing group 0.
        uint64_t to = end_.triangle;
        if (!capacity(0, end_.triangle, sizeof(uint32_t), &to)) return Step::Overflow;
        regrow(smoothings_, end_.triangle);
        std::fill(smoothings_, smoothings_ + state_.triangle, 0u);
        index_.model->smoothinggroups = smoothings_;
    }
    return Step::Done;
}

// ---- Growing -----------------------------------------------------------------------------------

// How far an array of `count` elements of `bytesEach` bytes grows: to twice as many, at least
// kFirstCapacity, within the indices a model holds and the bytes Growth::maxBytes leaves; or, when
// *to is more than `count`, to exactly *to. False when that is fewer than `least` elements;
// otherwise the bytes are taken.
bool FillSink::capacity(uint64_t count, uint64_t least, uint64_t bytesEach, uint64_t* to) {
    constexpr uint64_t kFirstCapacity = 1024;
    uint64_t want = std::min<uint64_t>(std::max(2 * count, kFirstCapacity), UINT32_MAX - 1);
    if (*to > count) want = *to;
    if (growth_->maxBytes) {
        const uint64_t left = growth_->maxBytes - std::min(growth_->maxBytes, growth_->bytes);
        want = std::min(want, count + left / bytesEach);
    }
    if (want < least) return false;
    growth_->bytes += (want - count) * bytesEach;
    *to = want;
    return true;
}

// Room for the next element of `kind`, and for its colour when a vertex gives the input's first.
ZEL_HOT bool FillSink::roomFor(Keyword kind, const float* color) {
    const uint32_t next = kind == Keyword::Vertex   ? state_.vertex
                          : kind == Keyword::Normal ? state_.normal
                                                    : state_.texcoord;
    const uint32_t end = kind == Keyword::Vertex   ? end_.vertex
                         : kind == Keyword::Normal ? end_.normal
                                                   : end_.texcoord;
    if (next >= end && !growElements(kind, next)) return false;
    return !color || colors_ || startColors();
}

// Grows the array of `kind` (a vertex's colours with its position) to hold slot `next`, slot 0
// zeroed when it is new. An array that appears after a face kept indices into it as written must
// give up.
bool FillSink::growElements(Keyword kind, uint32_t next) {
    ZelModel* m = index_.model;
    const bool vertex = kind == Keyword::Vertex, normal = kind == Keyword::Normal;
    float*& array = vertex ? m->vertices : normal ? m->normals : m->texcoords;
    uint32_t& end = vertex ? end_.vertex : normal ? end_.normal : end_.texcoord;
    if (!array && (normal ? growth_->uncheckedNormal : !vertex && growth_->uncheckedTexture))
        return false;
    const int n = kind == Keyword::TexCoord ? 2 : 3;
    uint64_t to = end == 0 ? growth_->firstCapacity : 0;
    if (!capacity(end, uint64_t{next} + 1, n * sizeof(float) * (vertex && colors_ ? 2 : 1), &to))
        return false;
    regrow(array, to * n);
    if (end == 0) std::fill(array, array + n, 0.0f);
    if (vertex && colors_) {
        regrow(colors_, to * 3);
        m->colors = colors_;
    }
    end = static_cast<uint32_t>(to);
    return true;
}

// Colours for every vertex slot, once a vertex gives one: white for the vertices before it.
bool FillSink::startColors() {
    uint64_t to = end_.vertex;
    if (!capacity(0, end_.vertex, 3 * sizeof(float), &to)) return false;
    regrow(colors_, uint64_t{end_.vertex} * 3);
    std::fill(colors_, colors_ + 3, 0.0f);
    std::fill(colors_ + 3, colors_ + 3 * size_t{state_.vertex}, 1.0f);
    index_.model->colors = colors_;
    return true;
}

// Room for the next triangle, in the model and in the arrays kept beside its triangles.
bool FillSink::growTriangles() {
    if (state_.triangle < end_.triangle) return true;
    ZelModel* m = index_.model;
    const bool smoothing = smoothingSeen_, starts = growth_->faceStarts;
    uint64_t to = end_.triangle == 0 ? growth_->firstCapacity : 0;
    if (!capacity(end_.triangle, uint64_t{state_.triangle} + 1,
                  sizeof(ZelTriangle) + (smoothing ? sizeof(uint32_t) : 0) + starts, &to))
        return false;
    regrow(m->triangles, to);
    if (smoothing) {
        regrow(smoothings_, to);  // new, when the first "s" came before any triangle
        m->smoothinggroups = smoothings_;
    }
    if (starts) {
        regrow(faceStarts_, to);
        growth_->index->faceStarts = faceStarts_;
    }
    end_.triangle = static_cast<uint32_t>(to);
    return true;
}

// Room for the next entry of the current group's triangle list.
bool FillSink::growList() {
    if (current_->next < current_->limit) return true;
    uint64_t to = 0;
    if (!capacity(current_->limit, uint64_t{current_->next} + 1, sizeof(uint32_t), &to))
        return false;
    ZelGroup* group = index_.groups[state_.group];
    regrow(group->triangleidx, to);
    current_->limit = static_cast<uint32_t>(to);
    growth_->index->capacity[state_.group] = current_->limit;
    return true;
}

void FillSink::finish() {
    out_.end = state_;
    out_.material = material_;
    if (!smoothingSeen_) out_.firstSmoothing = state_.triangle;
    out_.smoothing = smoothing_;
    for (uint32_t id = 0; id < shapes_.size(); id++)
        if (shapes_[id].any()) out_.shapes.emplace_back(id, shapes_[id]);
    for (const auto& entry : slots_)
        if (entry.second.next != entry.second.first)
            out_.stored.emplace_back(entry.first, entry.second.next - entry.second.first);
}

// Stores a face whose indices all stand as written, as storeReferences would: every one positive
// and within its array (or, for an array the file lacks, positive), with room for its triangles.
// Returns false, storing nothing, for any other.
template <bool kTexture, bool kNormal>
ZEL_HOT bool FillSink::storePlain(const Reference* refs, size_t count) {
    const ZelModel* m = index_.model;
    const uint64_t triangles = count - 2;
    if (!current_ || current_->next + triangles > current_->limit ||
        state_.triangle + triangles > end_.triangle)
        return false;
    const uint32_t vertices = known(m->vertexcount, state_.vertex);
    const uint32_t texcoords = m->texcoords ? known(m->texcoordcount, state_.texcoord) : INT32_MAX;
    const uint32_t normals = m->normals ? known(m->normalcount, state_.normal) : INT32_MAX;
    bool plain = true;
    for (size_t i = 0; i < count; i++) {
        plain &= static_cast<uint32_t>(refs[i].v) - 1 < vertices;
        if (kTexture) plain &= static_cast<uint32_t>(refs[i].t) - 1 < texcoords;
        if (kNormal) plain &= static_cast<uint32_t>(refs[i].n) - 1 < normals;
    }
    if (!plain) return false;
    ZelTriangle* triangle = &m->triangles[state_.triangle];
    uint32_t* slot = &index_.groups[state_.group]->triangleidx[current_->next];
    for (size_t i = 2; i < count; i++, triangle++) {
        const Reference* corners[] = {&refs[0], &refs[i - 1], &refs[i]};
        for (int k = 0; k < 3; k++) {
            triangle->vertexidx[k] = static_cast<uint32_t>(corners[k]->v);
            triangle->texcoordidx[k] = kTexture ? static_cast<uint32_t>(corners[k]->t) : 0;
            triangle->normalidx[k] = kNormal ? static_cast<uint32_t>(corners[k]->n) : 0;
        }
        triangle->facetidx = 0;
        if (smoothings_) smoothings_[state_.triangle] = smoothing_;
        *slot++ = state_.triangle++;
    }
    if (faceExtras_) {
        const uint32_t stored = static_cast<uint32_t>(triangles);
        faceStored(state_.triangle - stored, stored, current_->next, refs, count,
                   kTexture ? (kNormal ? Form::VertexTextureNormal : Form::VertexTexture)
                            : (kNormal ? Form::VertexNormal : Form::Vertex));
    }
    current_->next += static_cast<uint32_t>(triangles);
    return true;
}

ZEL_HOT bool FillSink::storePlain(const Reference* refs, size_t count, Form form) {
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
// ..., r1 rN-1 rN. An index that names nothing fails the face (Step::Failed); a triangle outside
// a guessed window ends the range (Step::Overflow).
Step FillSink::storeReferences(const Reference* refs, size_t count, Form form) {
    const bool texture = hasTexture(form), normal = hasNormal(form);
    auto corner = [&](const Reference& ref, ZelCorner* c) {
        return cornerOf(ref, texture, normal, c);
    };
    ZelCorner first, previous, next;
    bool good = corner(refs[0], &first) && corner(refs[1], &previous);
    const uint32_t firstTriangle = state_.triangle;
    const uint32_t listed = current_ ? current_->next : 0;
    for (size_t i = 2; good && i < count; i++, previous = next) {
        if (!(good = corner(refs[i], &next))) break;
        if (!current_) continue;  // a group the counting scan never saw: the triangles are dropped
        // Never more than the counting scan made room for.
        if (current_->next >= current_->limit || state_.triangle >= end_.triangle) {
            if (growth_) {
                if (!growTriangles() || !growList()) return Step::Overflow;
            } else {
                if (limits_.guess) return Step::Overflow;
                continue;
            }
        }
        ZelTriangle& triangle = index_.model->triangles[state_.triangle];
        triangle = ZelTriangle{};
        const ZelCorner* corners[] = {&first, &previous, &next};
        for (int k = 0; k < 3; k++) {
            triangle.vertexidx[k] = corners[k]->vertexidx;
            triangle.texcoordidx[k] = corners[k]->texcoordidx;  // 0 where the form has none
            triangle.normalidx[k] = corners[k]->normalidx;
        }
        if (smoothings_) smoothings_[state_.triangle] = smoothing_;
        index_.groups[state_.group]->triangleidx[current_->next++] = state_.triangle++;
    }
    if (good && faceExtras_ && state_.triangle != firstTriangle)
        faceStored(firstTriangle, state_.triangle - firstTriangle, listed, refs, count, form);
    return good ? Step::Done : Step::Failed;
}

// A face's triangles [first, first + stored) are stored, from position `listed` of its group's
// list: where its triangles start (for the cut once every position is stored), and the face as
// written when polygons are kept and it was stored whole.
void FillSink::faceStored(uint32_t first, uint32_t stored, uint32_t listed, const Reference* refs,
                          size_t count, Form form) {
    if (faceStarts_) {
        faceStarts_[first] = settleFace(first, stored) ? kFaceSettled : kFaceToCut;
        for (uint32_t t = 1; t < stored; t++) faceStarts_[first + t] = 0;
    }
    if (!index_.shapes || stored != count - 2) return;
    ShapeCounts& kept = shapes_[state_.group];
    ZelGroup* group = index_.groups[state_.group];
    if (kept.polygons >= group->polygoncount ||
        kept.polygonCorners + count > group->polygonstart[group->polygoncount])
        return;  // more than the counting scan saw
    const bool texture = hasTexture(form), normal = hasNormal(form);
    ZelCorner* corners = group->polygoncorners + kept.polygonCorners;
    for (size_t i = 0; i < count; i++)
        if (!cornerOf(refs[i], texture, normal, &corners[i])) return;
    group->polygontriangle[kept.polygons] = listed;
    kept.polygonCorners += count;
    group->polygonstart[++kept.polygons] = static_cast<uint32_t>(kept.polygonCorners);
}

// Whether the face whose fan is the triangles [first, first + stored) needs no cut afterwards: a
// triangle, or a face of a few corners whose positions this scan stored itself (so they are
// there) and that is cut as the fan. Most faces of most files are settled here, while their
// positions are at hand.
bool FillSink::settleFace(uint32_t first, uint32_t stored) {
    if (stored == 1) return true;
    if (stored + 2 > kMostSettled) return false;
    // Quads, the usual faces, get the gathering unrolled.
    return stored == 2 ? fanSettles(first, 4) : fanSettles(first, stored + 2);
}

// settleFace's test on the face of `corners` corners whose fan starts at triangle `first`: corner
// i is the third of triangle first + i - 2, after the first triangle's three. The test reads the
// positions where they are.
ZEL_HOT bool FillSink::fanSettles(uint32_t first, uint32_t corners) {
    const ZelModel* m = index_.model;
    const float* at[kMostSettled];
#pragma GCC unroll 4
    for (uint32_t i = 0; i < corners; i++) {
        const ZelTriangle& t = m->triangles[first + (i < 3 ? 0 : i - 2)];
        const uint32_t v = t.vertexidx[i < 3 ? i : 2];
        if (v - firstVertex_ >= state_.vertex - firstVertex_) return false;
        at[i] = &m->vertices[3 * size_t{v}];
    }
    return cutsAsFan([&at](uint32_t i) { return at[i]; }, corners);
}

// A reference's indices resolved as a face's are; false when one names nothing.
bool FillSink::cornerOf(const Reference& ref, bool texture, bool normal, ZelCorner* corner) const {
    const ZelModel* m = index_.model;
    *corner = ZelCorner{0, 0, 0};
    bool good = resolve(ref.v, state_.vertex - 1, known(m->vertexcount, state_.vertex), true,
                        &corner->vertexidx);
    if (texture)
        good &= resolve(ref.t, state_.texcoord - 1, known(m->texcoordcount, state_.texcoord),
                        m->texcoords != nullptr, &corner->texcoordidx);
    if (normal)
        good &= resolve(ref.n, state_.normal - 1, known(m->normalcount, state_.normal),
                        m->normals != nullptr, &corner->normalidx);
    return good;
}

// An "l" line or "p" points, kept in the current group when shapes are stored and every index
// names an element; a statement with one that names nothing is dropped.
Step FillSink::shape(Keyword kind, const std::vector<Reference>& refs, uint64_t) {
    const bool line = kind == Keyword::Line;
    if (line && refs.size() < 2) return Step::Done;
    if (growth_) return refs.empty() ? Step::Done : Step::Overflow;  // shapes are counted first
    if (!index_.shapes || state_.group == kNoGroup) return Step::Done;
    ShapeCounts& kept = shapes_[state_.group];
    ZelGroup* group = index_.groups[state_.group];
    std::vector<ZelCorner>& corners = shapeCorners_;
    corners.resize(refs.size());
    for (size_t i = 0; i < refs.size(); i++) {
        // A texture index must name a coordinate the file has, even where faces keep theirs.
        const bool texture = line && refs[i].t != 0;
        if ((texture && !index_.model->texcoords) ||
            !cornerOf(refs[i], texture, false, &corners[i]))
            return Step::Done;
    }
    if (line) {
        if (kept.lines >= group->linecount ||
            kept.lineCorners + corners.size() > group->linestart[group->linecount])
            return Step::Done;
        std::copy(corners.begin(), corners.end(), group->linecorners + kept.lineCorners);
        kept.lineCorners += corners.size();
        group->linestart[++kept.lines] = static_cast<uint32_t>(kept.lineCorners);
    } else {
        if (kept.points + corners.size() > group->pointcount) return Step::Done;
        for (const ZelCorner& corner : corners) group->pointidx[kept.points++] = corner.vertexidx;
    }
    return Step::Done;
}

// The failure for a face with an index that names no element of an array the file has: every later
// operation would read outside the array. It names the file, the face's line and the first bad
// index.
Status FillSink::badIndex(uint64_t faceStart, Form form, const Reference* refs, size_t count) {
    const ZelModel* m = index_.model;
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

// ---- The scan ----------------------------------------------------------------------------------

// One scan over one range: the counting scan with a CountSink, the filling scan with a FillSink.
// Statements as exporters write them are taken in runs straight from the buffer (the quick
// source); anything else is read through the scanner (the general source), by the same readers.
template <class Sink>
class RangeScan {
public:
    // The sink is the scan's own, made from `sinkArguments`, so that its state is at hand.
    template <class... Arguments>
    RangeScan(Scanner& in, uint32_t flags, Arguments&&... sinkArguments)
        : in_(in), sink_(std::forward<Arguments>(sinkArguments)...), flags_(flags) {}

    Sink& sink() { return sink_; }

    // Reads statements up to the first keyword at or after `stop` or the end of the input, or
    // up to the statement that ended the range: returns that statement's step (Done otherwise).
    // *first and *next are as in the reports.
    Step run(uint64_t stop, uint64_t* first, uint64_t* next);

private:
    bool nextStatement(uint64_t stop, uint64_t* at, uint64_t* first, bool* started, uint64_t* next);
    Step quickRun(uint64_t stop, uint64_t* at, bool* took);
    Step general(uint64_t at);
    template <class Source>
    Step element(Source& in, Keyword kind);
    template <class Source, class At>
    Step face(Source& in, At at);
    Step otherV(const char* keyword, size_t length, uint64_t at);
    // The rest of the line, whatever its length, with the blanks around it removed.
    std::string wholeName() {
        in_.readRestOfLine(&rest_);
        return trimmedName(rest_);
    }

    Scanner& in_;
    Sink sink_;
    const uint32_t flags_;
    char line_[kMaxToken + 1];
    std::vector<Reference> references_;  // of a face read through the scanner
    std::string rest_;                   // a line read whole
    std::vector<Reference> shapeRefs_;   // of an "l" or "p" line
    Reference quick_[kQuickReferences];  // of a face read by the quick path
};

// Skips white space and reports where the next keyword starts; false when that is at or after
// `stop` or the input ends there (`next` then says where).
template <class Sink>
bool RangeScan<Sink>::nextStatement(uint64_t stop, uint64_t* at, uint64_t* first, bool* started,
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

template <class Sink>
Step RangeScan<Sink>::run(uint64_t stop, uint64_t* first, uint64_t* next) {
    bool started = false;
    uint64_t at;
    while (nextStatement(stop, &at, first, &started, next)) {
        bool took;
        Step step = quickRun(stop, &at, &took);
        if (step == Step::General) {
            if (took) continue;
            step = general(at);
        }
        if (step == Step::Done) continue;
        *next = at;
        return step;
    }
    return Step::Done;
}

// Takes statements one after another straight from the bytes held while the quick source can read
// them, each with kQuickBytes readable from its keyword: it stops before any other statement, at
// the range's stop and before the last kQuickBytes held. Returns Step::General when it stopped
// before a statement for the general reading (*took tells whether it took any before), or the
// step that ended the range with *at the offset of its statement.
template <class Sink>
Step RangeScan<Sink>::quickRun(uint64_t stop, uint64_t* at, bool* took) {
    const char* p = in_.ahead(kQuickBytes);
    *took = false;
    if (!p) return Step::General;
    const char* const start = p;
    const char* const limit = std::min(in_.heldEnd() - kQuickBytes, in_.heldAt(stop));
    while (p < limit) {
        ZEL_ASSERT(readable(p, in_.heldEnd(), kQuickBytes));
        const Keyword kind = quickKeyword(p);
        if (kind == Keyword::Other) break;
        QuickSource source(p, kind == Keyword::Vertex || kind == Keyword::Face ? 1 : 2);
        Step step = kind == Keyword::Face ? face(source, [this, p] { return in_.offsetOf(p); })
                                          : element(source, kind);
        if (step == Step::General) break;
        if (step != Step::Done) {
            *at = in_.offsetOf(p);
            return step;
        }
        p = source.p;
        ZEL_ASSERT(p < in_.heldEnd());  // within kQuickBytes of a keyword before the limit
        while (isSpace(static_cast<unsigned char>(*p)) && p < limit) ++p;
    }
    in_.advanceTo(p);
    *took = p != start;
    return Step::General;
}

// One statement read through the scanner.
template <class Sink>
Step RangeScan<Sink>::general(uint64_t at) {
    size_t length;
    const char* keyword = in_.word(&length);
    GeneralSource source(in_, references_, rest_);
    const bool whole = flags_ & ZEL_LOAD_WHOLE_KEYWORDS;
    switch (const Keyword kind =
                whole ? wholeKeywordOf(keyword, length) : keywordOf(keyword, length)) {
        case Keyword::Vertex:
        case Keyword::Normal:
        case Keyword::TexCoord:
            return element(source, kind);
        case Keyword::Face:
            return face(source, [at] { return at; });
        case Keyword::Object:
            if (!(flags_ & ZEL_LOAD_OBJECTS)) break;
            [[fallthrough]];
        case Keyword::Group:
            return sink_.group(whole ? wholeName() : (in_.readLine(line_), groupName(line_)));
        case Keyword::UseMaterial:
            return sink_.useMaterial(whole ? wholeName()
                                           : (in_.readLine(line_), statementName(line_)));
        case Keyword::Library:
            if (whole) return sink_.library(wholeName(), true, at);
            in_.readLine(line_);
            return sink_.library(statementName(line_), false, at);
        case Keyword::OtherV:
            return otherV(keyword, length, at);
        case Keyword::Line:
        case Keyword::Point:
            in_.readRestOfLine(&rest_);
            if (!shapeReferences(rest_, kind == Keyword::Line, &shapeRefs_)) return Step::Done;
            return sink_.shape(kind, shapeRefs_, at);
        case Keyword::Smoothing:
            in_.readRestOfLine(&rest_);
            return sink_.smoothing(smoothingOf(rest_));
        case Keyword::Other:
            break;
    }
    in_.skipLine();
    return Step::Done;
}

// "v", "vn" and "vt". The counting scan counts the element and skips its line; on a vertex line,
// until the range has found one, it also looks for a colour. The filling scan reads the values
// (the ones on the keyword's line, then, when the line ends too early, further ones as "%f" finds
// them) and leaves the rest of the line to be read as statements, as the reading rules have it.
// A vertex gives a colour when the first six words after its keyword, on its line, are numbers
// read whole: the position and r g b. (Words, not "%f" reads: "1-2" is one word, but two "%f"
// numbers.) The reader would take the fourth word as no statement and skip its line, so the
// filling scan reads the colour and skips the line itself, and ends where the reader ends.
template <class Sink>
template <class Source>
ZEL_HOT Step RangeScan<Sink>::element(Source& in, Keyword kind) {
    float values[6];
    bool ended, whole = true;
    if constexpr (!Sink::kValues) {
        // A line short of six words, as nearly every one is, costs only its line end's search;
        // the quick path leaves the others, until a colour is found, to the general reading.
        bool color = false;
        if (kind == Keyword::Vertex && !sink_.colorFound() && in.lineMayHoldWords(6)) {
            if (Source::kQuick) return Step::General;
            color = in.numbersSkippingLine(values, 6) == 6;
        } else {
            in.skipLine();
        }
        if (!in.plain) return Step::General;
        return sink_.element(kind, color);
    } else {
        const int n = kind == Keyword::TexCoord ? 2 : 3;
        int got = in.floatsInLine(values, n, &ended, &whole);
        const bool inLine = got == n;
        if (!inLine) {
            // Values beyond the line, or that are not plain, are the general reading's.
            if (Source::kQuick) return Step::General;
            if (ended) got += in.floats(values + got, n - got);
        }
        const float* color = nullptr;
        if (kind == Keyword::Vertex && inLine && whole && sink_.wantsColors() &&
            startsNumber(in.peekInLine()) && in.numbersSkippingLine(values + 3, 3) == 3)
            color = values + 3;
        // What is left of the line is read as statements, where the counting scan skipped the
        // line: without a counting scan, a statement there would be read differently.
        if (sink_.counts() && !color) {
            const int next = in.peekInLine();
            if (!in.plain) return Step::General;
            if (next != '\n' && next != EOF && next != '#' && !startsNumber(next))
                return Step::Overflow;
        }
        if (!in.plain) return Step::General;
        return sink_.element(kind, values, Source::kQuick ? n : got, color);
    }
}

// "f": its references, counted or stored.
template <class Sink>
template <class Source, class At>
ZEL_HOT Step RangeScan<Sink>::face(Source& in, At at) {
    Form form;
    size_t count;
    const Reference* refs = in.template references<Sink::kValues>(&form, &count, quick_);
    if (!in.plain) return Step::General;
    return sink_.face(refs, count, form, at);
}

// A keyword starting with "v" other than "v", "vn" and "vt". The counting scan fails the read on
// it, or, under ZEL_LOAD_UNKNOWN_KEYWORDS, notes it and skips its line; the filling scan skips
// the line.
template <class Sink>
Step RangeScan<Sink>::otherV(const char* keyword, size_t length, uint64_t at) {
    if (sink_.counts()) {
        if (!(flags_ & ZEL_LOAD_UNKNOWN_KEYWORDS))
            return sink_.fail([&] {
                Status status = failure(Stream::Out, "zelFirstPass(): Unknown token \"%.*s\".\n",
                                        static_cast<int>(length), keyword);
                status.line = in_.lineAt(at);
                return status;
            });
        sink_.unknown(std::string(keyword, length), at);
    }
    in_.skipLine();
    return Step::Done;
}

// Both scans over a range, with a scanner over the input through `buffer` or in place.
template <class Scan>
void overRange(const Input& input, std::vector<char>* buffer, uint64_t start, Scan&& scan) {
    if (buffer) {
        Scanner in(input, start, *buffer);
        scan(in);
    } else {
        Scanner in(input.data, input.size, start);
        scan(in);
    }
}

}  // namespace

void countRange(const Input& input, std::vector<char>* buffer, uint32_t flags, uint64_t start,
                uint64_t stop, CountReport* out) {
    overRange(input, buffer, start, [&](Scanner& in) {
        RangeScan<CountSink> scan(in, flags, *out, (flags & ZEL_LOAD_POLYGONS) != 0);
        scan.run(stop, &out->first, &out->next);
        scan.sink().finish();
        out->ioError = in.failed();
    });
}

void fillRange(const Input& input, std::vector<char>* buffer, uint32_t flags,
               const ModelIndex& index, uint64_t start, uint64_t stop, const FillState& state,
               const FillLimits& limits, FillReport* out) {
    overRange(input, buffer, start, [&](Scanner& in) {
        RangeScan<FillSink> scan(in, flags, in, index, state, limits, *out);
        Step step = scan.run(stop, &out->first, &out->next);
        out->overflow = step == Step::Overflow;
        scan.sink().finish();
        out->ioError = in.failed();
    });
}

uint32_t lineOf(const Input& input, uint64_t offset) {
    return linesOf(input, {offset})[0];
}

std::vector<uint32_t> linesOf(const Input& input, const std::vector<uint64_t>& offsets) {
    if (offsets.empty()) return {};
    std::vector<char> buffer(input.fd >= 0 ? kDefaultBufferSize : 0);
    std::vector<uint32_t> lines;
    lines.reserve(offsets.size());
    overRange(input, input.fd >= 0 ? &buffer : nullptr, 0, [&](Scanner& in) {
        uint64_t line = 1, at = 0;
        for (uint64_t offset : offsets) {
            line += in.linesUpTo(offset - at);
            at = offset;
            lines.push_back(line > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(line));
        }
    });
    return lines;
}

}  // namespace zel
